// The update dialog, run modally under Xvfb: with a stand-in update object
// whose steps the test drives, and with the real quorlex.dll against the
// test bed's update server.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "bedfile.h"
#include "resource.h"
#include "testsupport.h"
#include "updata_dlg.h"
#include "updbed.h"

namespace {

// An update that reports `steps` progress values and then its result.
struct FakeUpdate : ITarnUpdate {
  int steps = 5;
  DWORD stepMs = 20;
  int finishCode = 1;
  std::function<void(int)> onStep;  // after progress step i (on the worker)
  bool stopped = false;
  int stepsDone = 0;
  LONG reupdates = 0;
  DWORD reupdateThread = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CheckVersion(unsigned) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetProductId(int) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RunUpdate(ITarnUpdateCallback* cb) override {
    for (int i = 0; i < steps; ++i) {
      if (cb->OnProgress(L"f", 1, i * 100 / steps) == 0) {
        stopped = true;
        break;
      }
      ++stepsDone;
      if (onStep) onStep(i);
      Sleep(stepMs);
    }
    cb->OnFinish(stopped ? 1 : finishCode);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE StartReupdate(const wchar_t* cmd, int length) override {
    EXPECT_EQ(nullptr, cmd);
    EXPECT_EQ(0, length);
    InterlockedIncrement(&reupdates);
    reupdateThread = GetCurrentThreadId();
    return S_OK;
  }
};

void Post(CUpdataDlg* dlg, UINT msg, WPARAM wp, LPARAM lp) { ::PostMessageA(dlg->m_hWnd, msg, wp, lp); }

}  // namespace

TEST(UpdateDialog, FilesInUseHandOverOnTheWindowsThread) {
  FakeUpdate update;
  update.finishCode = TARN_UPDATE_REUPDATE;
  CUpdataDlg dlg(&update);
  update.onStep = [&](int i) {
    if (i != 3) return;
    Sleep(200);  // let the bar paint
    testsupport::SaveScreenshot(testsupport::ArtifactPath("update_dialog.bmp"), dlg.m_hWnd);
  };
  dlg.DoModal();
  EXPECT_EQ(1, update.reupdates);
  EXPECT_EQ(GetCurrentThreadId(), update.reupdateThread);
  EXPECT_EQ(5, update.stepsDone);
  EXPECT_EQ(1, dlg.m_threadFinished);
  EXPECT_EQ(100, dlg.m_progress.Value().position);
  EXPECT_EQ(100, dlg.m_progress.Value().total);
  EXPECT_STREQ("升级完成。", dlg.m_status.GetString());
}

TEST(UpdateDialog, CloseButtonStopsTheUpdateAndWaitsForIt) {
  FakeUpdate update;
  update.steps = 100000;
  CUpdataDlg dlg(&update);
  update.onStep = [&](int i) {
    if (i == 3)
      Post(&dlg, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED),
           reinterpret_cast<LPARAM>(::GetDlgItem(dlg.m_hWnd, IDC_CLOSE)));
  };
  dlg.DoModal();   // the process goes on: the button only asks the update to stop
  EXPECT_TRUE(update.stopped);
  EXPECT_LT(update.stepsDone, 1000);
  EXPECT_EQ(1, dlg.m_threadFinished) << "the dialog ended after its worker";
  EXPECT_EQ(0, update.reupdates);
  EXPECT_STREQ("升级已结束。", dlg.m_status.GetString()) << "not claimed done";
}

TEST(UpdateDialog, AFailedUpdateIsNotCalledDone) {
  FakeUpdate update;
  update.finishCode = (int)0x8000003C;  // the server's certificate was refused
  CUpdataDlg dlg(&update);
  dlg.DoModal();
  EXPECT_EQ(1, dlg.m_threadFinished);
  EXPECT_STREQ("升级没有完成。", dlg.m_status.GetString());
}

TEST(UpdateDialog, WmCloseOnlyAsksTheUpdateToStop) {
  FakeUpdate update;
  update.steps = 100000;
  CUpdataDlg dlg(&update);
  update.onStep = [&](int i) {
    if (i == 2) Post(&dlg, WM_CLOSE, 0, 0);
  };
  dlg.DoModal();
  EXPECT_TRUE(update.stopped);
  EXPECT_EQ(1, dlg.m_threadFinished);
}

TEST(UpdateDialog, EnterEscapeAndKeyboardCloseDoNotEndIt) {
  FakeUpdate update;
  update.steps = 12;
  update.finishCode = 2;   // posts nothing: the dialog still ends through its worker
  CUpdataDlg dlg(&update);
  update.onStep = [&](int i) {
    if (i != 1) return;
    Post(&dlg, WM_COMMAND, IDOK, 0);
    Post(&dlg, WM_COMMAND, IDCANCEL, 0);
    Post(&dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    Post(&dlg, WM_KEYDOWN, VK_ESCAPE, 0);
  };
  dlg.DoModal();
  EXPECT_FALSE(update.stopped);
  EXPECT_EQ(12, update.stepsDone);
  EXPECT_EQ(0, update.reupdates);
}

TEST(UpdateDialog, RunsTheLibrarysUpdate) {
  ASSERT_TRUE(bed::Has("QX_HTTP") && bed::Has("QX_UPDATE_TREE")) << "run through ctest (testbed.py)";
  std::wstring folder = updbed::Scratch("dialog-real");
  ASSERT_TRUE(updbed::CopyInto(updbed::ProgramFolder() + L"quorlex.dll", folder + L"quorlex.dll"));
  updbed::SeedLocal("basic", folder);
  updbed::UseScenario("basic", folder + L"quorlex.dll");
  HMODULE module = LoadLibraryW((folder + L"quorlex.dll").c_str());
  ASSERT_NE(nullptr, module);
  auto get = reinterpret_cast<Tarn3thGetClassObjectFn>(GetProcAddress(module, "Tarn3thGetClassObject"));
  ASSERT_NE(nullptr, get);
  void* object = nullptr;
  get(IID_ITarnUpdate, &object);
  ITarnUpdate* update = static_cast<ITarnUpdate*>(object);
  ASSERT_NE(nullptr, update);
  update->SetProductId(90009);
  {
    CUpdataDlg dlg(update);
    dlg.DoModal();
    EXPECT_EQ(1, dlg.m_threadFinished);
  }
  for (const updbed::Expect& e : updbed::ExpectOf(updbed::ReadExpect("basic"), "new"))
    EXPECT_EQ(updbed::U(e.value), updbed::Md5(folder + e.path)) << updbed::U(e.path);
  update->Release();
  FreeLibrary(module);
}
