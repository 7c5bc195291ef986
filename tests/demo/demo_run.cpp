// The demo without a display: drives the real salvora.exe through the main
// job, as a user would, on the demo volume that scripts/demo.sh maps as X:
// (raw volume, and a folder so the program lists it) with R: as a folder to
// save to. "-fixdel" opens the deleted-file road, X: is chosen, the scan
// runs, every file is ticked, the copy-out writes to R:\recovered and the
// report shows. Each page is photographed on the way (demo_<page>.bmp among
// the artifacts), and every deleted file of the volume's manifest is looked
// for below R:\recovered and compared by sha256.
//   demo_run.exe FIXTURE_FOLDER     (Windows path of the demo volume's folder)
// Exit code 0 only when every deleted file came back byte for byte.
#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "program_driver.h"
#include "resource.h"
#include "testsupport.h"

using namespace programtest;

namespace {

int Fail(const char* what) {
  std::printf("demo: %s\n", what);
  testsupport::SaveScreenshot(testsupport::ArtifactPath("demo_failure.bmp"));
  return 1;
}

// A photograph of a page the moment it is seen, for a page that may be gone
// half a second later (the scan of a small volume is quick).
void ShootNow(HWND window, const char* name) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  testsupport::SaveScreenshot(testsupport::ArtifactPath(name), window);
}

struct Deleted {
  std::string original;   // its path on the volume before it was deleted (UTF-8, '/')
  std::string found;      // the path the program gives it
  uint64_t size;
  std::string sha256;
};

// scan.tsv of the demo volume: path as found, size, sha256, time, original path.
std::vector<Deleted> DeletedFiles(const std::string& fixtureFolder) {
  std::vector<Deleted> out;
  std::vector<std::vector<std::string>> rows;
  if (!testsupport::ReadTable(fixtureFolder + "\\scan.tsv", '\t', &rows)) return out;
  for (const std::vector<std::string>& f : rows)
    if (f.size() >= 5) out.push_back({f[4], f[0], std::strtoull(f[1].c_str(), nullptr, 10), f[2]});
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Fail("usage: demo_run.exe FIXTURE_FOLDER");
  const std::vector<Deleted> deleted = DeletedFiles(argv[1]);
  if (deleted.empty()) return Fail("the demo volume lists no deleted file");
  const std::string scratch = testsupport::EnvText("SALVORA_SCRATCH_WIN");
  const std::string folder = "R:\\recovered";
  ListedDrives drives({{'X', scratch + "\\xroot"}, {'R', scratch}});

  Program p;
  if (!p.Start(" -fixdel")) return Fail("salvora.exe did not start");

  // Location: the demo drive chosen in the folder tree, as the keyboard does.
  HWND location = p.WaitFor(IDC_LOC_BROWSE_TREE);
  if (!location) return Fail("no location page");
  HWND tree = GetDlgItem(location, IDC_LOC_BROWSE_TREE);
  if (!ChooseDriveInTree(p, tree, 'X')) return Fail("X: is not in the location page's tree");
  Shoot(location, "demo_location.bmp");
  Click(location, IDC_LOC_NEXT);

  // Scan: photographed as soon as it shows.
  HWND scan = nullptr;
  WaitUntil([&] { return (scan = p.Find({IDC_SCAN_STOP, IDC_SCAN_ROLL})) != nullptr || p.Find(IDC_RES_LIST_FULL); },
            60000);
  if (scan) ShootNow(scan, "demo_scan.bmp");

  // Result: the list filled, everything ticked, the tree open.
  HWND result = p.WaitFor(IDC_RES_LIST_FULL, 120000, true);
  if (!result) return Fail("no result page");
  const std::string count = std::to_string(deleted.size());
  WaitUntil([&] { return IsWindowEnabled(result) && !ControlText(result, IDC_PAGE_TITLE).empty(); }, 60000);
  Click(result, IDC_RES_CHECK_ALL);
  Click(result, IDC_RES_EXPAND);
  Sleep(300);
  Shoot(result, "demo_result.bmp");
  Click(result, IDC_RES_NEXT);

  // Destination: a folder on R:.
  HWND destination = p.WaitFor(IDC_DEST_BROWSE);
  if (!destination) return Fail("no destination page");
  SetDlgItemTextA(destination, IDC_DEST_EDIT, folder.c_str());
  Shoot(destination, "demo_destination.bmp");
  Click(destination, IDC_DEST_NEXT);

  // Report.
  HWND report = p.WaitFor(IDC_REP_FINISH, 120000);
  if (!report) return Fail("no report page");
  Shoot(report, "demo_report.bmp");
  const std::string recovered = ControlText(report, IDC_REP_RECOVERED);

  // What came back, against the volume's manifest.
  std::printf("demo: the report says %s file(s) recovered into %s\n", recovered.c_str(), folder.c_str());
  size_t whole = 0;
  for (const Deleted& d : deleted) {
    bool same = false;
    for (const std::string& out : testsupport::OutputsFor(testsupport::Below(folder, d.found)))
      same = same || testsupport::Sha256OfFile(out) == d.sha256;
    whole += same ? 1 : 0;
    std::printf("  %s (%llu bytes)\n      -> %s%s: %s\n", d.original.c_str(), static_cast<unsigned long long>(d.size),
                "build/demo/recovered", d.found.c_str(),
                same ? "sha256 equals the original" : "NOT RECOVERED BYTE FOR BYTE");
  }
  std::printf("demo: %zu of %zu deleted files recovered byte for byte\n", whole, deleted.size());

  Click(report, IDC_REP_FINISH);
  HWND main = p.WaitFor(IDC_MODE_DELETED);
  if (main) p.Close(main);
  return whole == deleted.size() ? 0 : 1;
}
