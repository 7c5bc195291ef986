#include "destination_checks.h"

#include <shlwapi.h>

#include <cstring>

#include "copyout/output.h"
#include "disk/identity.h"
#include "recovery_totals.h"
#include "resource.h"
#include "state.h"
#include "version_checks.h"

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string Root(char letter) { return std::string(1, letter) + ":\\"; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool HoldsRecords(const DestinationRules& rules, char letter) {
  letter = Upper(letter);
  return IsLetter(letter) && (rules.drivesWithRecords >> (letter - 'A') & 1u);
}

// The scanned volume's letter (0 for a whole-disk scan or no target).
char ScannedLetter(const DestinationRules& rules) {
  if (ScannedDiskNumber(rules.scanTarget) >= 0) return 0;
  return rules.scanTarget ? Upper(rules.scanTarget[0]) : 0;
}

// On the disk a whole-disk scan reads, or on an unknown disk: either way a
// copy-out must not go there.
bool OnScannedDisk(const DestinationRules& rules, DriveFacts& facts, char letter) {
  int disk = ScannedDiskNumber(rules.scanTarget);
  if (disk < 0) return false;
  int n = facts.DiskNumber(letter);
  return n < 0 || n == disk;
}

// Without trailing backslashes, but a drive root keeps its own.
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

bool CopyOutKeepsDestination(const char* text) {
  const std::string typed(text, strnlen(text, 512));
  // What the copy-out does to the folder before it writes (engine/copyout).
  std::string made = typed;
  if (!made.empty()) SanitizeFileName(&made[0]);
  if (made != typed) return false;
  char full[1024];
  const DWORD n = GetFullPathNameA(made.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return false;
  // Letter case does not choose another folder; anything else would.
  return lstrcmpiA(WithoutTrailingSeparators(full).c_str(), WithoutTrailingSeparators(typed).c_str()) == 0;
}

std::string DriveFacts::DriveRoots() {
  DWORD need = GetLogicalDriveStringsA(0, nullptr);
  if (need == 0) return std::string();
  std::string buffer(need + 2, '\0');
  DWORD got = GetLogicalDriveStringsA(need, &buffer[0]);
  if (got == 0 || got > need) return std::string();
  buffer.resize(got);
  return buffer;
}

UINT DriveFacts::DriveType(char letter) { return GetDriveTypeA(Root(letter).c_str()); }

bool DriveFacts::DriveExists(char letter) { return PathFileExistsA(Root(letter).c_str()) != FALSE; }

bool DriveFacts::FreeBytes(char letter, uint64_t* bytes) { return DriveFreeBytes(letter, bytes); }

int DriveFacts::DiskNumber(char letter) { return GetDiskNumberOfDrive(letter); }

uint32_t DrivesHoldingDeletedFiles() {
  uint32_t mask = 0;
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  for (const DeletedFileRecord& r : gDeletedFiles) {
    unsigned letter = 'C' + r.driveIndex;
    if (letter <= 'Z') mask |= 1u << (letter - 'A');
  }
  return mask;
}

int ScannedDiskNumber(const char* target) {
  if (!target || std::strncmp(target, "Disk", 4) != 0) return -1;
  return (target[4] >= '0' && target[4] <= '9') ? target[4] - '0' : -1;
}

UINT CheckDestination(const char* text, const DestinationRules& rules, DriveFacts& facts) {
  // Read as the edit box gives it, at most 512 characters.
  const size_t length = strnlen(text, 512);
  if (length >= MAX_PATH) return IDS_DEST_TOO_LONG;
  if (length == 0) return IDS_DEST_EMPTY;
  if (length < 3 || text[1] != ':' || text[2] != '\\' || !IsLetter(text[0])) return IDS_DEST_WRONG;
  if (!IsValidPathName(text)) return IDS_DEST_BAD_CHARS;
  // The report must name the folder the files went to: a text the copy-out
  // would write somewhere else ('"' made '_', "a." made "a", "x\..\y") is
  // refused as one with characters a path must not hold.
  if (!CopyOutKeepsDestination(text)) return IDS_DEST_BAD_CHARS;
  const char letter = Upper(text[0]);
  if (rules.road == RecoveryRoad::kDeleted && rules.recycleBin && HoldsRecords(rules, letter))
    return IDS_NEED_USB_RECYCLE;
  if (letter == ScannedLetter(rules)) return IDS_DEST_ON_SCANNED;
  if (OnScannedDisk(rules, facts, letter)) return IDS_DEST_ON_SCANNED;
  if (facts.DriveType(letter) == DRIVE_CDROM) return IDS_DEST_WRONG;
  if (!facts.DriveExists(letter)) return IDS_DEST_WRONG;
  uint64_t free = 0;
  if (!facts.FreeBytes(letter, &free) || !HasRoomFor(rules.totalSectors, free)) return IDS_DEST_NO_SPACE;
  return 0;
}

char FindDefaultDestination(const DestinationRules& rules, DriveFacts& facts) {
  const std::string roots = facts.DriveRoots();
  const char scanned = ScannedLetter(rules);
  char best = 0;
  uint64_t bestFree = 0;
  for (size_t at = 0; at < roots.size();) {
    const char* root = roots.c_str() + at;
    const size_t n = std::strlen(root);
    at += n + 1;
    if (n == 0) break;
    const char letter = Upper(root[0]);
    if (!IsLetter(letter) || letter == 'A' || letter == 'B') continue;
    const UINT type = facts.DriveType(letter);
    if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR || type == DRIVE_REMOTE || type == DRIVE_CDROM) continue;
    if (letter == scanned) continue;
    if (rules.road == RecoveryRoad::kDeep && OnScannedDisk(rules, facts, letter)) continue;
    const bool firstFit = rules.road == RecoveryRoad::kDeleted && rules.recycleBin;
    if (firstFit && HoldsRecords(rules, letter)) continue;
    uint64_t free = 0;
    if (!facts.FreeBytes(letter, &free) || !HasRoomFor(rules.totalSectors, free)) continue;
    if (firstFit) return letter;
    if (!best || free > bestFree) {
      best = letter;
      bestFree = free;
    }
  }
  return best;
}

void SanitizeDestination(CString* text) {
  const int length = text->GetLength();
  for (int i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text->GetAt(i));
    if (c > 126) {
      // A lead byte keeps itself and its second byte when that is a proper one.
      if (i + 1 < length && static_cast<unsigned char>(text->GetAt(i + 1)) >= 65) {
        ++i;
      } else {
        text->SetAt(i, '_');
      }
      continue;
    }
    if (c < 32 || (c == ':' && i != 1) || std::strchr("*?<>|\"", c)) text->SetAt(i, '_');
  }
}

CString BrowsedDestination(const char* chosen, RecoveryRoad road, const char* scanTarget) {
  CString text(chosen);
  text += text.GetLength() == 3 && text.GetAt(2) == '\\' ? "ZUL" : "\\ZUL";
  if (road != RecoveryRoad::kDeleted) return text;
  // The scanned folder below its drive: D:\Photos\2010 adds \Photos\2010.
  if (scanTarget && std::strlen(scanTarget) > 3) {
    CString below(scanTarget + 2);
    below.TrimRight('\\');
    text += below;
  }
  if (text.GetLength() >= MAX_PATH) text = text.Left(6);
  SanitizeDestination(&text);
  return text;
}
