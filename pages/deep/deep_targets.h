// What the deep-scan road offers to scan and what its worker scans: the rows
// of the location page (volumes and the physical disks they lie on, removable
// devices, whole disks), made from the machine through DeepDeviceProbe so the
// tests can give a table instead, and the scan target of the worker.
//
// Nothing here writes to a disk: disks are opened for reading only, and a
// volume's disk is found by its number from the system or, where the system
// has no such query (Windows 9x), by comparing sectors that are only read.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fw_string.h"

// Item data of a tree item or list row: kind in the high 16 bits, number in
// the low 16 bits.
enum DeepItemKind : uint32_t {
  kDeepHeading = 0,     // a heading, not a scan target
  kDeepVolume = 1,      // drive letter - 'C'
  kDeepDisk = 2,        // physical disk number
  kDeepRemovable = 3,   // removable physical device: disk number
};
constexpr uint32_t MakeDeepItemData(uint32_t kind, uint32_t number) { return kind << 16 | (number & 0xFFFF); }
constexpr uint32_t DeepItemKind(uint32_t data) { return data >> 16; }
constexpr uint32_t DeepItemNumber(uint32_t data) { return data & 0xFFFF; }

// Images of the location tree (bitmap IDB_DL_TREE_ICONS) and of the device
// list (IDB_DL_DEVICE_ICONS: disk 0, removable 1).
enum DeepTreeImage { kImageComputer = 0, kImageVolume, kImageRemovableVolume, kImageDisk, kImageRemovableDisk };

// The machine as the location page sees it.
class DeepDeviceProbe {
 public:
  virtual ~DeepDeviceProbe() = default;
  virtual uint32_t LogicalDrives();              // GetLogicalDrives: bit 0 = A:
  virtual UINT DriveType(char letter);            // GetDriveTypeA of "X:\"
  virtual CString VolumeLabel(char letter);       // "" when it has none
  // The physical disk the drive lies on, -1 when it cannot be told: on the
  // NT family the system's device-number query, on Windows 9x the read-only
  // comparison of FindDiskOfVolumeByReading.
  virtual int DiskOfDrive(char letter);
  // Disk n's first sector can be read (opened for reading only).
  virtual bool DiskReadable(int disk);
  virtual CString DiskIdentity(int disk);          // IDE identity text, "" when unknown
  virtual uint64_t DiskSectors(int disk);          // 0 when unknown
};

struct DeepRow {
  CString text;
  uint32_t data = 0;
  int image = 0;   // DeepTreeImage in the tree, 0/1 in the device list
};

// The deep-recovery tree: the volumes under "我的电脑" and, under "物理存储
//设备", each physical disk that a volume lies on, once, numbered in the
// order met ("物理硬盘1", "移动存储设备1"...). A disk is offered only when it
// can be read.
struct DeepTreeModel {
  std::vector<DeepRow> volumes;
  std::vector<DeepRow> disks;
};
DeepTreeModel BuildDeepTree(DeepDeviceProbe& probe);

// The removable-device list: one row "X盘 ( 移动存储设备n )" per removable
// physical device that a drive letter lies on and that can be read.
std::vector<DeepRow> BuildRemovableList(DeepDeviceProbe& probe);

// The whole-disk list of the lost-partition road: disks 0 to 9 whose first
// sector can be read, "磁盘n" with their identity (or "USB存储设备") and
// their size.
std::vector<DeepRow> BuildDiskList(DeepDeviceProbe& probe);

// A size in sectors as the disk list shows it: "%llu GB", below 1 GB "%llu MB".
CString DiskSizeText(uint64_t sectors);

// --- the scan target ----------------------------------------------------------

// The text the worker writes to gScanTarget: "X:\" for a drive index,
// "Disk" + digit + "\" for a disk number; "" when both or neither is given
// (0xFF = not given) or a number is out of range.
std::string DeepScanTargetText(uint8_t disk, uint8_t drive);
// The sector target word of the scan: byte 0 the disk, byte 1 the drive index.
uint32_t DeepScanTargetWord(uint8_t disk, uint8_t drive);

// The scan's progress message in sectors: its words are 32-bit counts of
// units of 2^shift sectors (gDeepScanProgressShift), the position is where
// the block just read begins (so that block is read), never past the total.
void DecodeScanProgress(WPARAM total, LPARAM position, uint32_t shift, uint64_t* totalSectors,
                        uint64_t* readSectors);

// --- finding a volume's disk by reading only ---------------------------------

// Whether a disk holds the volume whose first sector is volumeBoot: the disk's
// own first sector is that sector, or one of the four partitions of its
// table begins with it. readDisk(sector, out) reads one sector of the disk.
// A volume sector that is all zeros, or lacks the 55 AA end mark, matches
// nothing (it would match any empty disk).
bool DiskHoldsVolume(const uint8_t volumeBoot[512], const uint8_t diskSector0[512],
                     const std::function<bool(uint64_t, uint8_t*)>& readDisk);
// The disk (0 to 9) that holds the drive's volume, found by reading its first
// sector and the first sectors of the disks and their partitions; -1 when
// none does.
int FindDiskOfVolumeByReading(char letter);
