#include "deep_targets.h"

#include <algorithm>
#include <cstring>

#include "bytes.h"
#include "deepscan/deepscan.h"
#include "disk/identity.h"
#include "disk/raw.h"
#include "resource.h"
#include "state.h"
#include "volume/sector_zero.h"

namespace {

constexpr int kMaxDisk = 9;   // "\\.\PHYSICALDRIVE0" .. 9: the engine names no more

// The drives from C: upwards, in order.
template <typename Fn>
void ForEachDriveFromC(DeepDeviceProbe& probe, Fn fn) {
  const uint32_t mask = probe.LogicalDrives();
  for (int i = 2; i < 26; ++i)
    if (mask & (1u << i)) fn(static_cast<char>('A' + i));
}

bool HasEndMark(const uint8_t* sector) { return sector[510] == 0x55 && sector[511] == 0xAA; }

}  // namespace

// ---- the machine ------------------------------------------------------------------

uint32_t DeepDeviceProbe::LogicalDrives() { return GetLogicalDrives(); }

UINT DeepDeviceProbe::DriveType(char letter) {
  char root[] = "X:\\";
  root[0] = letter;
  return GetDriveTypeA(root);
}

CString DeepDeviceProbe::VolumeLabel(char letter) {
  char root[] = "X:\\";
  root[0] = letter;
  char label[MAX_PATH + 1] = "";
  // A drive without a medium asks nothing of the user.
  const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS);
  BOOL ok = GetVolumeInformationA(root, label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0);
  SetErrorMode(old);
  return ok ? CString(label) : CString();
}

int DeepDeviceProbe::DiskOfDrive(char letter) {
  // The marker search of the older systems writes into the volume: the
  // location page never uses it, it only reads.
  if (GetPlatformKind() == kPlatformWin9x) return FindDiskOfVolumeByReading(letter);
  return GetDiskNumberOfDrive(letter);
}

bool DeepDeviceProbe::DiskReadable(int disk) {
  if (disk < 0 || disk > kMaxDisk) return false;
  char path[32];
  MakeDiskPath(disk, path);
  SectorZero zero;
  return path[0] && ReadDiskSectorZero(path, &zero);
}

CString DeepDeviceProbe::DiskIdentity(int disk) {
  const char* text = GetDiskIdentifyText(disk);
  return text ? CString(text) : CString();
}

uint64_t DeepDeviceProbe::DiskSectors(int disk) {
  if (disk < 0 || disk > kMaxDisk) return 0;
  return GetTargetSectorCount64(MakeDiskTarget(static_cast<uint32_t>(disk)));
}

// ---- the rows ----------------------------------------------------------------------

DeepTreeModel BuildDeepTree(DeepDeviceProbe& probe) {
  DeepTreeModel model;
  const CString localDisk = LoadText(IDS_LOCAL_DISK);
  const CString physicalDisk = LoadText(IDS_PHYSICAL_DISK);
  const CString removableDevice = LoadText(IDS_REMOVABLE_DEVICE);
  bool met[kMaxDisk + 1] = {};
  int fixedCount = 0, removableCount = 0;
  ForEachDriveFromC(probe, [&](char letter) {
    const UINT type = probe.DriveType(letter);
    if (type == DRIVE_CDROM || type == DRIVE_REMOTE) return;
    const bool removable = type == DRIVE_REMOVABLE;
    CString label = probe.VolumeLabel(letter);
    DeepRow volume;
    volume.text.Format("%s (%c:)", label.IsEmpty() ? localDisk.GetString() : label.GetString(), letter);
    volume.data = MakeDeepItemData(kDeepVolume, static_cast<uint32_t>(letter - 'C'));
    volume.image = removable ? kImageRemovableVolume : kImageVolume;
    model.volumes.push_back(volume);

    const int disk = probe.DiskOfDrive(letter);
    if (disk < 0 || disk > kMaxDisk || met[disk]) return;
    met[disk] = true;
    if (!probe.DiskReadable(disk)) return;
    DeepRow row;
    if (removable) {
      row.text.Format("%s%d", removableDevice.GetString(), ++removableCount);
      row.data = MakeDeepItemData(kDeepRemovable, static_cast<uint32_t>(disk));
      row.image = kImageRemovableDisk;
    } else {
      row.text.Format("%s%d", physicalDisk.GetString(), ++fixedCount);
      row.data = MakeDeepItemData(kDeepDisk, static_cast<uint32_t>(disk));
      row.image = kImageDisk;
    }
    model.disks.push_back(row);
  });
  return model;
}

std::vector<DeepRow> BuildRemovableList(DeepDeviceProbe& probe) {
  std::vector<DeepRow> rows;
  const CString removableDevice = LoadText(IDS_REMOVABLE_DEVICE);
  bool met[kMaxDisk + 1] = {};
  int count = 0;
  ForEachDriveFromC(probe, [&](char letter) {
    const UINT type = probe.DriveType(letter);
    if (type == DRIVE_CDROM) return;
    const int disk = probe.DiskOfDrive(letter);
    if (disk < 0 || disk > kMaxDisk || met[disk]) return;
    met[disk] = true;
    if (type != DRIVE_REMOVABLE || !probe.DiskReadable(disk)) return;
    DeepRow row;
    row.text.Format(LoadText(IDS_REMOVABLE_ROW), letter, removableDevice.GetString(), ++count);
    row.data = MakeDeepItemData(kDeepRemovable, static_cast<uint32_t>(disk));
    row.image = 1;
    rows.push_back(row);
  });
  return rows;
}

CString DiskSizeText(uint64_t sectors) {
  const uint64_t bytes = sectors * kSectorSize;
  CString text;
  if (bytes >= (1ull << 30))
    text.Format("%llu GB", static_cast<unsigned long long>(bytes >> 30));
  else
    text.Format("%llu MB", static_cast<unsigned long long>(bytes >> 20));
  return text;
}

std::vector<DeepRow> BuildDiskList(DeepDeviceProbe& probe) {
  std::vector<DeepRow> rows;
  const CString diskName = LoadText(IDS_DISK0);
  const CString usb = LoadText(IDS_USB_STORAGE);
  for (int n = 0; n <= kMaxDisk; ++n) {
    if (!probe.DiskReadable(n)) continue;
    DeepRow row;
    // "磁盘0" with its last character made the disk's digit.
    row.text = diskName.IsEmpty() ? CString("0") : diskName;
    row.text.SetAt(row.text.GetLength() - 1, static_cast<char>('0' + n));
    const CString identity = probe.DiskIdentity(n);
    row.text += "  ";
    row.text += identity.IsEmpty() ? usb : identity;
    row.image = identity.IsEmpty() ? 1 : 0;
    if (uint64_t sectors = probe.DiskSectors(n)) {
      row.text += "  ";
      row.text += DiskSizeText(sectors);
    }
    row.data = MakeDeepItemData(kDeepDisk, static_cast<uint32_t>(n));
    rows.push_back(row);
  }
  return rows;
}

// ---- the scan target ---------------------------------------------------------------

std::string DeepScanTargetText(uint8_t disk, uint8_t drive) {
  const bool hasDisk = disk != 0xFF, hasDrive = drive != 0xFF;
  if (hasDisk == hasDrive) return std::string();
  if (hasDrive) {
    if (drive > 'Z' - 'C') return std::string();
    return std::string(1, static_cast<char>('C' + drive)) + ":\\";
  }
  if (disk > kMaxDisk) return std::string();
  return std::string("Disk") + static_cast<char>('0' + disk) + "\\";
}

uint32_t DeepScanTargetWord(uint8_t disk, uint8_t drive) {
  return static_cast<uint32_t>(disk) | static_cast<uint32_t>(drive) << 8;
}

// ---- a volume's disk, by reading -------------------------------------------------

bool DiskHoldsVolume(const uint8_t volumeBoot[512], const uint8_t diskSector0[512],
                     const std::function<bool(uint64_t, uint8_t*)>& readDisk) {
  if (!HasEndMark(volumeBoot)) return false;   // also rules out a sector of zeros
  if (std::memcmp(volumeBoot, diskSector0, kSectorSize) == 0) return true;
  if (!HasEndMark(diskSector0)) return false;
  uint8_t probe[kSectorSize];
  for (int i = 0; i < 4; ++i) {
    const uint8_t* entry = diskSector0 + 0x1BE + 16 * i;
    const uint32_t start = ReadLe32(entry + 8);
    if (entry[4] == 0 || start == 0) continue;
    if (readDisk(start, probe) && std::memcmp(probe, volumeBoot, kSectorSize) == 0) return true;
  }
  return false;
}

int FindDiskOfVolumeByReading(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'C' || letter > 'Z') return -1;
  SectorZero boot;
  if (!ReadVolumeSectorZeroOnce(letter - 'C', &boot)) return -1;
  for (int n = 0; n <= kMaxDisk; ++n) {
    char path[32];
    MakeDiskPath(n, path);
    SectorZero first;
    if (!path[0] || !ReadDiskSectorZero(path, &first)) continue;
    auto read = [&](uint64_t sector, uint8_t* out) { return ReadDiskSectors(path, sector, 1, out) == 0; };
    if (DiskHoldsVolume(boot.bytes, first.bytes, read)) return n;
  }
  return -1;
}

void DecodeScanProgress(WPARAM total, LPARAM position, uint32_t shift, uint64_t* totalSectors,
                        uint64_t* readSectors) {
  if (shift > 32) shift = 32;
  // Both words hold 32 bits (the engine scales them so); a position past
  // 2^31 sectors is no negative number.
  *totalSectors = static_cast<uint64_t>(static_cast<uint32_t>(total)) << shift;
  const uint64_t at = static_cast<uint64_t>(static_cast<uint32_t>(position)) << shift;
  *readSectors = std::min<uint64_t>(at + kDeepScanBlockSectors, *totalSectors);
}
