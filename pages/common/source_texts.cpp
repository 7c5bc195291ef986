#include "source_texts.h"

#include <windows.h>

#include "resource.h"

namespace {

CString Text(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

// The system's own words for an error, on one line.
CString SystemText(DWORD error) {
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                 nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  CString text;
  if (n && buffer) text = buffer;
  if (buffer) LocalFree(buffer);
  text.TrimRight();
  return text;
}

bool IsAbsence(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_BAD_UNIT:
      return true;
    default:
      return false;
  }
}

CString Reason(DWORD error) {
  if (error == ERROR_ACCESS_DENIED) return Text(IDS_SOURCE_NEED_ADMIN);
  if (IsAbsence(error)) return Text(IDS_SOURCE_NOT_THERE);
  if (error == ERROR_HANDLE_EOF) return Text(IDS_SOURCE_NO_DATA);
  CString text;
  text.Format(Text(IDS_SOURCE_SYSTEM_ERROR).GetString(), static_cast<unsigned long>(error),
              SystemText(error).GetString());
  return text;
}

CString UnsupportedReason(const SourceReport& report) {
  CString text;
  switch (report.reason) {
    case Unsupported::kOtherSectorSize:
      text.Format(Text(IDS_FS_SECTOR_SIZE).GetString(), report.value);
      return text;
    case Unsupported::kOtherRecordSize:
      text.Format(Text(IDS_FS_RECORD_SIZE).GetString(), report.value);
      return text;
    case Unsupported::kDamagedBootSector:
      return Text(IDS_FS_DAMAGED_BOOT);
    case Unsupported::kUnknownFileSystem:
    case Unsupported::kNone:
      break;
  }
  return Text(IDS_FS_UNKNOWN);
}

}  // namespace

CString SourceName(const SourceReport& report) {
  CString name;
  if (report.disk >= 0)
    name.Format(Text(IDS_SOURCE_DISK).GetString(), report.disk);
  else if (report.driveIndex >= 0 && report.driveIndex <= 'Z' - 'C')
    name.Format(Text(IDS_SOURCE_DRIVE).GetString(), 'C' + report.driveIndex);
  else
    name.Format(Text(IDS_SOURCE_DRIVE).GetString(), '?');
  return name;
}

CString SourceFailureHeading(const SourceReport& report) {
  return Text(report.state == SourceState::kUnsupported ? IDS_SOURCE_UNSUPPORTED_HEADING : IDS_SOURCE_FAILED_HEADING);
}

CString DescribeSourceFailure(const SourceReport& report) {
  CString text;
  switch (report.state) {
    case SourceState::kScanned:
      return text;
    case SourceState::kCannotOpen:
    case SourceState::kCannotRead:
      text.Format(Text(report.state == SourceState::kCannotOpen ? IDS_SOURCE_CANNOT_OPEN : IDS_SOURCE_CANNOT_READ)
                      .GetString(),
                  SourceName(report).GetString());
      text += "\r\n";
      text += Reason(report.error);
      return text;
    case SourceState::kUnsupported:
      text.Format(Text(IDS_SOURCE_UNSUPPORTED).GetString(), SourceName(report).GetString());
      text += UnsupportedReason(report);
      return text;
  }
  return text;
}

CString DescribeSourceFailures(const std::vector<SourceReport>& reports) {
  CString text;
  for (const SourceReport& r : reports) {
    if (!r.Failed()) continue;
    if (!text.IsEmpty()) text += "\r\n";
    text += DescribeSourceFailure(r);
  }
  return text;
}

bool WorthReporting(const SourceReport& report) {
  if (!report.Failed()) return false;
  if (report.state == SourceState::kUnsupported) return true;
  // ERROR_BAD_DEV_TYPE: the name opens something that is no disk.
  return !IsAbsence(report.error) && report.error != ERROR_BAD_DEV_TYPE;
}
