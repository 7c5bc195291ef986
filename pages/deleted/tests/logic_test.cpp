// Checks of the first pages without a window: the command-line switches, the
// location page's checks of the chosen path, and the date bounds of the
// search conditions.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "location_page.h"
#include "resource.h"
#include "restova_dlg.h"

namespace {

TEST(CommandLine, OnlyTheLastSwitchCountsAndOnlyWhole) {
  bool usb = true;
  EXPECT_EQ(LaunchCommandOf("\"C:\\Program Files\\salvora.exe\" -fixdel", &usb), IDC_MODE_DELETED);
  EXPECT_FALSE(usb);
  EXPECT_EQ(LaunchCommandOf("salvora.exe -FIXDEL", nullptr), IDC_MODE_DELETED);
  EXPECT_EQ(LaunchCommandOf("salvora.exe -FixFmt", nullptr), IDC_MODE_UNFORMAT);
  EXPECT_EQ(LaunchCommandOf("salvora.exe -fixraw", nullptr), IDC_MODE_DEEP);
  EXPECT_EQ(LaunchCommandOf("salvora.exe -fixusb", &usb), IDC_MODE_REMOVABLE);
  EXPECT_TRUE(usb);
  // Anything behind the switch, a space included, and it matches nothing.
  EXPECT_EQ(LaunchCommandOf("salvora.exe -fixdel ", &usb), 0u);
  EXPECT_FALSE(usb);
  EXPECT_EQ(LaunchCommandOf("salvora.exe -fixdelx", nullptr), 0u);
  EXPECT_EQ(LaunchCommandOf("salvora.exe -fixusb -x", &usb), 0u);
  EXPECT_FALSE(usb);
  EXPECT_EQ(LaunchCommandOf("salvora.exe -fixusb-fixdel", nullptr), IDC_MODE_DELETED);
  // A dash in the program's folder is no switch.
  EXPECT_EQ(LaunchCommandOf("\"C:\\my-tools\\salvora.exe\"", nullptr), 0u);
  EXPECT_EQ(LaunchCommandOf("salvora.exe fixdel", nullptr), 0u);
  EXPECT_EQ(LaunchCommandOf("", nullptr), 0u);
  EXPECT_EQ(LaunchCommandOf(nullptr, nullptr), 0u);
}

UINT FixedDrive(const char*) { return DRIVE_FIXED; }
UINT Types(const char* root) {
  switch (root[0]) {
    case 'E': return DRIVE_CDROM;
    case 'M': return DRIVE_REMOTE;
    case 'U': return DRIVE_REMOVABLE;
    default: return DRIVE_FIXED;
  }
}

TEST(ScanLocation, ADriveBecomesItsRootAndBadChoicesAreRefused) {
  std::string target;
  EXPECT_EQ(CheckScanLocation("X:", &target, FixedDrive), 0u);
  EXPECT_EQ(target, "X:\\");
  EXPECT_EQ(CheckScanLocation("d:\\Photos\\2010", &target, FixedDrive), 0u);
  EXPECT_EQ(target, "D:\\Photos\\2010") << "the engine wants an upper-case letter";
  EXPECT_EQ(CheckScanLocation("U:\\", &target, Types), 0u) << "removable drives are scanned";

  EXPECT_EQ(CheckScanLocation("", &target, FixedDrive), static_cast<UINT>(IDS_CHOOSE_PATH));
  EXPECT_EQ(CheckScanLocation("\\\\server\\share", &target, FixedDrive), static_cast<UINT>(IDS_PATH_WRONG));
  EXPECT_EQ(CheckScanLocation("A:\\", &target, FixedDrive), static_cast<UINT>(IDS_PATH_WRONG));
  EXPECT_EQ(CheckScanLocation("b:", &target, FixedDrive), static_cast<UINT>(IDS_PATH_WRONG));
  EXPECT_EQ(CheckScanLocation("E:\\", &target, Types), static_cast<UINT>(IDS_PATH_WRONG)) << "a CD-ROM";
  EXPECT_EQ(CheckScanLocation("M:\\docs", &target, Types), static_cast<UINT>(IDS_PATH_WRONG)) << "a network drive";
  EXPECT_EQ(CheckScanLocation("1:\\", &target, FixedDrive), static_cast<UINT>(IDS_PATH_WRONG));
  // The scan's target holds 511 characters.
  EXPECT_EQ(CheckScanLocation("C:\\" + std::string(508, 'a'), &target, FixedDrive), 0u);
  EXPECT_EQ(CheckScanLocation("C:\\" + std::string(509, 'a'), &target, FixedDrive), static_cast<UINT>(IDS_PATH_WRONG));
}

SYSTEMTIME Day(int y, int m, int d, int h = 12) {
  SYSTEMTIME t = {};
  t.wYear = static_cast<WORD>(y), t.wMonth = static_cast<WORD>(m), t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(h);
  return t;
}

TEST(SearchConditions, DatesSnapIntoTheRangeTheFilterCanHold) {
  SYSTEMTIME t = Day(1970, 1, 1, 8);
  EXPECT_TRUE(ClampConditionDate(&t));
  EXPECT_EQ(t.wYear, 1970);
  EXPECT_EQ(t.wDay, 2);
  EXPECT_EQ(t.wHour, 0);
  t = Day(1970, 1, 2, 23);
  EXPECT_FALSE(ClampConditionDate(&t)) << "the first day allowed keeps its hour";
  EXPECT_EQ(t.wHour, 23);
  t = Day(2038, 1, 18);
  EXPECT_FALSE(ClampConditionDate(&t));
  t = Day(2038, 1, 19);
  EXPECT_TRUE(ClampConditionDate(&t));
  EXPECT_EQ(t.wDay, 18);
  EXPECT_EQ(t.wHour, 0);
  t = Day(2099, 12, 31);
  EXPECT_TRUE(ClampConditionDate(&t));
  EXPECT_EQ(t.wYear, 2038);
  t = Day(1601, 1, 1);
  EXPECT_TRUE(ClampConditionDate(&t));
  EXPECT_EQ(t.wYear, 1970);
  t = Day(2024, 2, 29);
  EXPECT_FALSE(ClampConditionDate(&t));
}

}  // namespace
