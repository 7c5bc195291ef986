#include "filetype_filter.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "framework.h"
#include "resource.h"

uint8_t gCategoryFilterOn = 0;

namespace {

// The rows of the six tables, in table order (the video table holds ".mpeg"
// and ".mov" twice, and ".wma" is a video row).
const char* const kPictureRows[] = {".jpeg", ".jpg", ".bmp", ".gif", ".png", ".dib", ".jpe", ".ico",
                                    ".cur",  ".tiff", ".tif", ".psd", ".pdd", ".pcx", ".raw"};
const char* const kAudioRows[] = {".ac3", ".mp3", ".midi", ".ape", ".wav"};
const char* const kVideoRows[] = {".rmvb", ".rm",  ".avi", ".mpeg", ".mpg", ".wma", ".mov", ".asf",
                                  ".ram",  ".mpeg", ".mpe", ".swf", ".flv", ".mov", ".vob", ".ifo",
                                  ".wm",   ".mp4", ".m4p", ".m4b", ".m4v", ".wmp"};
const char* const kOfficeRows[] = {".doc", ".xls", ".ppt", ".vsd", ".dot", ".xlw", ".docx", ".xlsx", ".pptx", ".pdf"};
const char* const kZrtRows[] = {".zrt", ".zrc", ".zrp", ".zrq", ".uof"};
const char* const kWebRows[] = {".html", ".htm", ".htx", ".asp", ".stm", ".shtml", ".mht"};

template <size_t N>
int CountOf(const char* const (&)[N]) {
  return static_cast<int>(N);
}

}  // namespace

CExtensionTable::~CExtensionTable() { std::free(m_records); }

size_t CExtensionTable::ArraySize(size_t count) {
  if (count > std::numeric_limits<size_t>::max() / kRecordSize) return std::numeric_limits<size_t>::max();
  return count * kRecordSize;
}

bool CExtensionTable::Build(const char* const* rows, int count) {
  std::free(m_records);
  m_records = nullptr;
  m_count = 0;
  m_enabled = 0;
  if (count <= 0) return true;
  if (count > 255) count = 255;
  m_records = static_cast<char*>(std::calloc(1, ArraySize(static_cast<size_t>(count))));
  if (!m_records) {
    AfxMessageBox(IDS_OUT_OF_MEMORY);
    return false;
  }
  m_count = static_cast<uint8_t>(count);
  for (int i = 0; i < count; ++i) {
    // At most six characters and the NUL; the rest of the record stays zero.
    std::strncpy(m_records + i * kRecordSize, rows[i], kRecordSize - 1);
  }
  return true;
}

const char* CExtensionTable::Record(int i) const {
  if (!m_records || i < 0 || i >= m_count) return nullptr;
  return m_records + i * kRecordSize;
}

const char* CExtensionTable::Row(int i) const {
  const char* r = Record(i);
  return r ? r : "";
}

CFileTypeFilter::CFileTypeFilter() {
  std::memset(m_namePart, 0, sizeof m_namePart);
  m_tables[kPictures].Build(kPictureRows, CountOf(kPictureRows));
  m_tables[kAudio].Build(kAudioRows, CountOf(kAudioRows));
  m_tables[kVideo].Build(kVideoRows, CountOf(kVideoRows));
  m_tables[kOffice].Build(kOfficeRows, CountOf(kOfficeRows));
  m_tables[kZrtOffice].Build(kZrtRows, CountOf(kZrtRows));
  m_tables[kWebPages].Build(kWebRows, CountOf(kWebRows));
}
