// Every road ends in one of three states with its own words: the source
// could not be read (and why), nothing was found, or these files (the
// damaged, failed and not started ones counted apart from the whole). The
// first is tried on a drive that is not there (Q:), an image that opens but gives
// nothing (U: and disk 7), and an NTFS volume whose 4 KB file records no scan
// reads (K:): each road shows why it did not scan, never "nothing found".
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "deep_scan_page.h"
#include "deleted_copyout_pages.h"
#include "deepscan/deepscan.h"
#include "messages.h"
#include "nothing_found_page.h"
#include "page_state.h"
#include "page_test_support.h"
#include "recovery_report_dlg.h"
#include "partition_page.h"
#include "resource.h"
#include "restova_app.h"
#include "restova_dlg.h"
#include "scan_page.h"
#include "source_texts.h"
#include "state.h"
#include "testsupport.h"
#include "treelist.h"
#include "unformat/unformat.h"
#include "unformat_scan_page.h"
#include "winsupport.h"

using namespace pagetest;

CRestovaApp theApp;

namespace {

std::string Text(HWND page, int id) {
  char text[1024] = "";
  GetDlgItemTextA(page, id, text, sizeof text);
  return text;
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool Has(const CString& text, const char* part) { return Has(std::string(text.GetString()), part); }

// The first message box of this thread, answered with OK; its text.
class BoxAnswer {
 public:
  BoxAnswer()
      : thread_([this, ui = GetCurrentThreadId()] {
          for (int i = 0; i < 600; ++i, Sleep(50)) {
            HWND box = FindWindowWithControl(ui, IDOK);
            if (!box) continue;
            text_ = MessageBoxText(box);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            done_ = true;
            return;
          }
        }) {}
  bool Done() const { return done_; }
  const std::string& Text() {
    if (thread_.joinable()) thread_.join();
    return text_;
  }
  ~BoxAnswer() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::string text_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class HonestEnds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterTreeListClass(GetModuleHandleA(nullptr));
  }
  void SetUp() override {
    gScanAbort = 0;
    main = new CRestovaDlg;
    ASSERT_TRUE(main->Create(IDD_MAIN));
    theApp.m_pMainWnd = main;
    Pump(50);
  }
  void TearDown() override {
    if (main->m_hWnd) main->DestroyWindow();
    theApp.DestroyPagesAndResults();
    theApp.m_pMainWnd = nullptr;
    delete main;
    gRecycleBinMode = 0;
    Pump(50);
  }

  CFindNoFileDlg* EndPage() { return dynamic_cast<CFindNoFileDlg*>(theApp.Page(kNothingFoundPageSlot)); }

  // The deleted-file scan of target to its end, with the given worker.
  CScanDelFilesDlg* ScanDeleted(const char* target, AFX_THREADPROC worker = nullptr, bool recycle = false) {
    theApp.DestroyPage(kNothingFoundPageSlot);
    auto* scan = new CScanDelFilesDlg(main);
    scan->SetTarget(target);
    scan->SetRecycleBin(recycle ? TRUE : FALSE);
    if (worker) scan->SetWorkerProc(worker);
    theApp.HoldPage(kScanPageSlot, scan);
    EXPECT_TRUE(scan->Create(IDD_DELETED_SCAN, main));
    scan->ShowWindow(SW_SHOW);
    EXPECT_TRUE(PumpUntil([&] { return scan->Finished(); }, 60000)) << target;
    return scan;
  }

  CRestovaDlg* main = nullptr;
};

// A recycle-bin scan that found one file in one bin and could not read another.
UINT FoundAndFailed(LPVOID param) {
  auto* job = static_cast<DeletedScanJob*>(param);
  DeletedFileRecord r = {};
  lstrcpynA(r.path, "\\S-1-5-21\\$RKEPT.txt", sizeof r.path);
  r.driveIndex = 'N' - 'C';
  AppendDeletedFile(r);
  job->failures.push_back(VolumeFailure(SourceState::kCannotOpen, 'U' - 'C', ERROR_ACCESS_DENIED));
  SendMessageA(job->window, WM_DELSCAN_DONE, 0, 0);
  return 1;
}

}  // namespace

TEST(SourceTexts, EachFailureSaysWhichSourceWhatFailedAndWhatToDo) {
  const CString denied = DescribeSourceFailure(VolumeFailure(SourceState::kCannotOpen, 'E' - 'C', ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Has(denied, "无法打开E: 盘")) << denied.GetString();
  EXPECT_TRUE(Has(denied, "以管理员身份运行")) << denied.GetString();
  const CString empty = DescribeSourceFailure(VolumeFailure(SourceState::kCannotOpen, 'F' - 'C', ERROR_NOT_READY));
  EXPECT_TRUE(Has(empty, "没有可读的介质")) << empty.GetString();
  const CString nothing = DescribeSourceFailure(DiskFailure(SourceState::kCannotRead, 2, ERROR_HANDLE_EOF));
  EXPECT_TRUE(Has(nothing, "无法读取磁盘2")) << nothing.GetString();
  EXPECT_TRUE(Has(nothing, "没有给出任何数据")) << nothing.GetString();
  const CString other = DescribeSourceFailure(VolumeFailure(SourceState::kCannotRead, 0, ERROR_CRC));
  EXPECT_TRUE(Has(other, "系统错误 23")) << other.GetString();
  SourceReport records;
  records.state = SourceState::kUnsupported;
  records.reason = Unsupported::kOtherRecordSize;
  records.value = 4096;
  records.driveIndex = 'K' - 'C';
  EXPECT_TRUE(Has(DescribeSourceFailure(records), "4096 字节")) << DescribeSourceFailure(records).GetString();
  EXPECT_EQ(SourceFailureHeading(records), CString("扫描没有进行：不支持该分区的文件系统！"));
  EXPECT_EQ(SourceFailureHeading(VolumeFailure(SourceState::kCannotRead, 0, 5)),
            CString("扫描没有进行：无法读取要扫描的磁盘或分区！"));
  EXPECT_TRUE(DescribeSourceFailure(SourceReport()).IsEmpty());
  // Going through every drive: one that is not there, holds no medium or is
  // no disk is passed over; one that cannot be read, or is not read, is not.
  EXPECT_FALSE(WorthReporting(SourceReport()));
  EXPECT_FALSE(WorthReporting(VolumeFailure(SourceState::kCannotOpen, 1, ERROR_FILE_NOT_FOUND)));
  EXPECT_FALSE(WorthReporting(VolumeFailure(SourceState::kCannotOpen, 1, ERROR_NOT_READY)));
  EXPECT_FALSE(WorthReporting(DiskFailure(SourceState::kCannotRead, 0, ERROR_BAD_DEV_TYPE)));
  EXPECT_TRUE(WorthReporting(VolumeFailure(SourceState::kCannotOpen, 1, ERROR_ACCESS_DENIED)));
  EXPECT_TRUE(WorthReporting(DiskFailure(SourceState::kCannotRead, 1, ERROR_HANDLE_EOF)));
  EXPECT_TRUE(WorthReporting(records));
}

TEST_F(HonestEnds, TheDeletedFileRoadSaysWhyItDidNotScan) {
  struct Case {
    const char* target;
    const char* heading;
    const char* why;
    bool deepOffered;
  } cases[] = {
      {"Q:\\", "无法读取要扫描的磁盘或分区", "无法打开Q: 盘", false},
      {"U:\\", "无法读取要扫描的磁盘或分区", "没有给出任何数据", false},
      {"K:\\", "不支持该分区的文件系统", "4096 字节", true},
  };
  for (const Case& c : cases) {
    CScanDelFilesDlg* scan = ScanDeleted(c.target);
    CFindNoFileDlg* page = EndPage();
    ASSERT_NE(page, nullptr) << c.target;
    EXPECT_TRUE(Shown(page)) << c.target;
    EXPECT_FALSE(Shown(scan));
    EXPECT_TRUE(page->ShowsFailure()) << c.target;
    EXPECT_TRUE(Has(Text(page->m_hWnd, IDC_PAGE_HEADING), c.heading)) << Text(page->m_hWnd, IDC_PAGE_HEADING);
    EXPECT_TRUE(Has(Text(page->m_hWnd, IDC_NF_EXPLAIN), c.why)) << Text(page->m_hWnd, IDC_NF_EXPLAIN);
    // A deep scan reads no file system: offered for one the scan does not
    // read, not for a drive that cannot be read at all.
    EXPECT_EQ(::IsWindowVisible(::GetDlgItem(page->m_hWnd, IDC_NF_DEEP)) != FALSE, c.deepOffered) << c.target;
    Pump(300);
    testsupport::SaveScreenshot(testsupport::ArtifactPath(std::string("source_failed_") + c.target[0] + ".bmp"),
                                page->m_hWnd);
  }
  // Read to the end with nothing there: that, and only that, is nothing found.
  ScanDeleted("P:\\");
  ASSERT_NE(EndPage(), nullptr);
  EXPECT_FALSE(EndPage()->ShowsFailure());
  EXPECT_TRUE(Has(Text(EndPage()->m_hWnd, IDC_PAGE_HEADING), "未发现可恢复的文件"));
}

TEST_F(HonestEnds, TheRecycleBinRoadNamesTheBinsItCouldNotRead) {
  // U: is a drive whose recycle folder is there, on a volume that gives nothing.
  const std::string root = testsupport::EnvText("SALVORA_SCRATCH_WIN") + "\\uroot";
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA((root + "\\$Recycle.Bin").c_str(), nullptr);
  CreateDirectoryA((root + "\\RECYCLER").c_str(), nullptr);
  ListedDrives drives({{'U', root}});
  ASSERT_TRUE(ListedDrives::Listed('U'));
  {
    // The worker on its own: every drive of this machine, U: among them.
    HWND sink = testsupport::MessageWindow("RecycleSink", DefWindowProcA);
    DeletedScanJob job;
    job.window = sink;
    testsupport::RunPumping([&] { RecycleBinScanThreadProc(&job); });
    bool namedU = false;
    for (const SourceReport& r : job.failures) {
      namedU = namedU || r.driveIndex == 'U' - 'C';
      // Wine's C: is no disk, and Z: holds no recycle folder: neither is a bin that was missed.
      EXPECT_NE(r.driveIndex, 'C' - 'C');
      EXPECT_NE(r.driveIndex, 'Z' - 'C');
    }
    EXPECT_TRUE(namedU);
    ClearDeletedFiles();
  }
  {
    // Before Vista both of U:'s folders are scanned, and U: is named once.
    CreateDirectoryA((root + "\\RECYCLED").c_str(), nullptr);
    DeletedScanRequest request = {};
    std::vector<SourceReport> failures;
    testsupport::RunPumping([&] { failures = ScanRecycleFolders(request, RecycleBinTargets("U:\\\0", false)); });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].driveIndex, 'U' - 'C');
    ClearDeletedFiles();
  }
  // Nothing found anywhere else: the page says which bin was not read.
  gRecycleBinMode = 1;
  ScanDeleted("", [](LPVOID param) -> UINT {
    auto* job = static_cast<DeletedScanJob*>(param);
    job->failures.push_back(VolumeFailure(SourceState::kCannotRead, 'U' - 'C', ERROR_HANDLE_EOF));
    SendMessageA(job->window, WM_DELSCAN_DONE, 0, 0);
    return 1;
  }, true);
  ASSERT_NE(EndPage(), nullptr);
  EXPECT_TRUE(EndPage()->ShowsFailure());
  EXPECT_TRUE(Has(Text(EndPage()->m_hWnd, IDC_NF_EXPLAIN), "无法读取U: 盘"));
  // Files from the other bins: shown, after a word on the one not read.
  BoxAnswer box;
  CScanDelFilesDlg* scan = ScanDeleted("", FoundAndFailed, true);
  EXPECT_TRUE(Has(box.Text(), "回收站没有扫描")) << box.Text();
  EXPECT_TRUE(Has(box.Text(), "U: 盘")) << box.Text();
  EXPECT_EQ(scan->ResultPagesOpened(), 1);
}

TEST_F(HonestEnds, TheUnformatAndDeepScansSayWhyToo) {
  for (int kind : {kUnformatDetect, kUnformatFat32}) {
    theApp.DestroyPage(kNothingFoundPageSlot);
    auto scan = std::make_unique<CUnformatScanDlg>(main);
    ASSERT_TRUE(scan->Create(IDD_UNFORMAT_SCAN, main));
    scan->SetParameters(kind, 'U' - 'C');
    ASSERT_TRUE(scan->StartWorker());
    ASSERT_TRUE(PumpUntil([&] { return scan->Finished(); }, 60000));
    EXPECT_EQ(scan->Source().state, SourceState::kCannotRead) << kind;
    ASSERT_NE(EndPage(), nullptr);
    EXPECT_TRUE(EndPage()->ShowsFailure()) << kind;
    EXPECT_TRUE(Has(Text(EndPage()->m_hWnd, IDC_NF_EXPLAIN), "无法读取U: 盘")) << Text(EndPage()->m_hWnd, IDC_NF_EXPLAIN);
    scan->DestroyWindow();
  }

  auto deep = std::make_unique<CPhotoScanDlg>(nullptr);
  ASSERT_TRUE(deep->Create(IDD_DEEP_SCAN, main));
  deep->SetTarget(0xFF, 'U' - 'C');
  ASSERT_TRUE(deep->StartWorker());
  ASSERT_TRUE(PumpUntil([&] { return Shown(deep->NothingFoundPage()); }, 60000));
  EXPECT_EQ(deep->ScanResult(), kDeepScanCannotRead);
  auto* page = static_cast<CFindNoFileDlg*>(deep->NothingFoundPage());
  EXPECT_TRUE(page->ShowsFailure());
  EXPECT_TRUE(Has(Text(page->m_hWnd, IDC_NF_EXPLAIN), "没有给出任何数据")) << Text(page->m_hWnd, IDC_NF_EXPLAIN);
  deep->DestroyWindow();
}

TEST_F(HonestEnds, ThePartitionPageTellsOfADiskItCannotRead) {
  // Disk 7 is there but gives nothing; the disks that are not there, and
  // Wine's own disk 0 (no disk at all), are passed over.
  BoxAnswer box;
  CRPartitionDlg page(main);
  ASSERT_TRUE(page.Create(IDD_PARTITION, main));
  page.ShowWindow(SW_SHOW);
  ASSERT_TRUE(PumpUntil([&] { return box.Done(); }, 30000)) << "no word of the disk";
  ASSERT_EQ(page.UnreadDisks().size(), 1u);
  EXPECT_EQ(page.UnreadDisks()[0].disk, 7);
  for (int row = 0; row < page.DiskList().GetItemCount(); ++row)
    EXPECT_NE(static_cast<int>(page.DiskList().GetItemData(row)), 7);
  const std::string& text = box.Text();
  EXPECT_TRUE(Has(text, "无法读取磁盘7")) << text;
  page.DestroyWindow();
}

TEST(ReportCounts, EveryTickedFileIsWholeDamagedFailedOrNotStarted) {
  RecoveryReportFacts f;
  f.chosen = 10;
  SetCopyOutCounts(&f, 6, 1, 2);
  EXPECT_EQ(f.recovered, 6u);
  EXPECT_EQ(f.damaged, 1u);
  EXPECT_EQ(f.failed, 2u);
  EXPECT_EQ(f.notStarted, 1u);
  // Counts that claim more than was ticked are cut to it, the failed first.
  SetCopyOutCounts(&f, 8, 1, 5);
  EXPECT_EQ(f.recovered + f.damaged + f.failed + f.notStarted, 10u);
  EXPECT_EQ(f.failed, 1u);
  EXPECT_EQ(f.notStarted, 0u);
  // The report's note: only what is not 0, and what a damaged file means.
  SetCopyOutCounts(&f, 6, 1, 2);
  const CString note = ReportBreakdown(f, "FAILED");
  EXPECT_TRUE(Has(note, "完整恢复 6 个，已写出但已损坏 1 个，恢复失败 2 个，因中断未恢复 1 个。")) << note.GetString();
  EXPECT_TRUE(Has(note, "已被其他文件覆盖")) << note.GetString();
  SetCopyOutCounts(&f, 7, 0, 3);
  EXPECT_EQ(ReportBreakdown(f, "FAILED"), CString("完整恢复 7 个，恢复失败 3 个。\r\nFAILED"));
  SetCopyOutCounts(&f, 10, 0, 0);
  EXPECT_TRUE(ReportBreakdown(f, "FAILED").IsEmpty());
}

TEST_F(HonestEnds, TheReportShowsTheDamagedAndFailedFilesApart) {
  RecoveryReportFacts f;
  f.folder = "R:\\restored";
  f.found = 12;
  f.chosen = 5;
  SetCopyOutCounts(&f, 2, 1, 1);
  CRecoveryInfoDlg report(main, f, main);
  ASSERT_TRUE(report.Create(IDD_DELETED_REPORT, main));
  report.ShowWindow(SW_SHOW);
  Pump(300);
  EXPECT_EQ(Text(report.m_hWnd, IDC_REP_RECOVERED), "2");
  EXPECT_TRUE(report.PartialNoteShown());
  EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(report.m_hWnd, IDC_REP_PARTIAL)));
  const std::string note = Text(report.m_hWnd, IDC_REP_PARTIAL);
  EXPECT_TRUE(Has(note, "已写出但已损坏 1 个，恢复失败 1 个，因中断未恢复 1 个")) << note;
  testsupport::SaveScreenshot(testsupport::ArtifactPath("report_damaged_apart.bmp"), report.m_hWnd);
  report.DestroyWindow();
}

namespace {

CRect ChildRect(HWND page, int id) {
  CRect r;
  ::GetWindowRect(::GetDlgItem(page, id), &r);
  ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The width of a control's text in its own font.
int TextWidth(HWND page, int id) {
  HWND control = ::GetDlgItem(page, id);
  const std::string text = Text(page, id);
  HDC dc = ::GetDC(control);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
  SIZE size = {};
  ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return size.cx;
}

}  // namespace

TEST_F(HonestEnds, TheReportsBigNumberFitsWholeUpToNineDigits) {
  RecoveryReportFacts f;
  f.folder = "R:\\restored";
  f.found = f.chosen = 123456789;
  SetCopyOutCounts(&f, 123456789, 0, 0);
  CRecoveryInfoDlg report(main, f, main);
  ASSERT_TRUE(report.Create(IDD_DELETED_REPORT, main));
  report.ShowWindow(SW_SHOW);
  Pump(300);
  EXPECT_EQ(Text(report.m_hWnd, IDC_REP_BIG_COUNT), "123456789");
  const CRect before = ChildRect(report.m_hWnd, IDC_REP_DONE_BEFORE);
  const CRect big = ChildRect(report.m_hWnd, IDC_REP_BIG_COUNT);
  const CRect after = ChildRect(report.m_hWnd, IDC_REP_DONE_AFTER);
  // The number inside its label, the label clear of the words either side.
  EXPECT_GE(big.Width(), TextWidth(report.m_hWnd, IDC_REP_BIG_COUNT));
  EXPECT_GE(before.Width(), TextWidth(report.m_hWnd, IDC_REP_DONE_BEFORE));
  EXPECT_GT(big.left, before.right);
  EXPECT_GT(after.left, big.right);
  CRect client;
  report.GetClientRect(&client);
  EXPECT_LT(after.right, client.right - 40) << "inside the panel";
  EXPECT_FALSE(report.PartialNoteShown());
  testsupport::SaveScreenshot(testsupport::ArtifactPath("report_nine_digits.bmp"), report.m_hWnd);
  report.DestroyWindow();
}

TEST_F(HonestEnds, AStoppedCopyOutsReportSaysSoWithTheFourCounts) {
  RecoveryReportFacts f;
  f.folder = "R:\\restored";
  f.found = 20000;
  f.chosen = 20000;
  SetCopyOutCounts(&f, 4998, 0, 0);
  f.stopped = true;
  EXPECT_EQ(f.notStarted, 15002u);
  const CString note = ReportBreakdown(f, "FAILED");
  EXPECT_TRUE(Has(note, "完整恢复 4998 个，已写出但已损坏 0 个，恢复失败 0 个，因中断未恢复 15002 个")) << note.GetString();
  CRecoveryInfoDlg report(main, f, main);
  ASSERT_TRUE(report.Create(IDD_DELETED_REPORT, main));
  report.ShowWindow(SW_SHOW);
  Pump(300);
  // Never "done" after a stop.
  const std::string heading = Text(report.m_hWnd, IDC_REP_DONE_BEFORE);
  EXPECT_TRUE(Has(heading, "中断")) << heading;
  EXPECT_FALSE(Has(heading, "完成")) << heading;
  EXPECT_TRUE(report.PartialNoteShown());
  EXPECT_TRUE(Has(Text(report.m_hWnd, IDC_REP_PARTIAL), "因中断未恢复 15002 个"));
  EXPECT_GE(ChildRect(report.m_hWnd, IDC_REP_BIG_COUNT).Width(), TextWidth(report.m_hWnd, IDC_REP_BIG_COUNT));
  testsupport::SaveScreenshot(testsupport::ArtifactPath("report_stopped.bmp"), report.m_hWnd);
  report.DestroyWindow();
  // A stop that left nothing undone still says it was a stop.
  SetCopyOutCounts(&f, 20000, 0, 0);
  EXPECT_TRUE(Has(ReportBreakdown(f, "FAILED"), "因中断未恢复 0 个"));
}
