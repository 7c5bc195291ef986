#include "fw_thread.h"

#include <process.h>

namespace {

struct StartInfo {
  AFX_THREADPROC proc;
  LPVOID param;
};

unsigned __stdcall ThreadStart(void* arg) {
  StartInfo info = *static_cast<StartInfo*>(arg);
  delete static_cast<StartInfo*>(arg);
  return info.proc(info.param);
}

}  // namespace

std::unique_ptr<CWinThread> AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize,
                                           DWORD createFlags, LPSECURITY_ATTRIBUTES security) {
  if (!proc) return nullptr;
  std::unique_ptr<CWinThread> thread(new CWinThread);
  auto* info = new StartInfo{proc, param};
  unsigned id = 0;
  uintptr_t h = _beginthreadex(security, stackSize, ThreadStart, info, CREATE_SUSPENDED, &id);
  if (!h) {
    delete info;
    return nullptr;
  }
  thread->m_hThread = reinterpret_cast<HANDLE>(h);
  thread->m_nThreadID = id;
  if (priority != THREAD_PRIORITY_NORMAL) ::SetThreadPriority(thread->m_hThread, priority);
  if (!(createFlags & CREATE_SUSPENDED)) ::ResumeThread(thread->m_hThread);
  return thread;
}

CWinThread::~CWinThread() {
  if (m_hThread) {
    if (GetCurrentThreadId() != m_nThreadID) Join();
    CloseHandle(m_hThread);
  }
}

bool CWinThread::IsRunning() const {
  return m_hThread && WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT;
}

DWORD CWinThread::GetExitCode() const {
  DWORD code = 0;
  if (!m_hThread || !GetExitCodeThread(m_hThread, &code)) return 0;
  return code;
}

BOOL CWinThread::Join(DWORD timeoutMs) {
  if (!m_hThread) return TRUE;
  if (GetCurrentThreadId() == m_nThreadID) return FALSE;
  // The difference of two 32-bit tick counts is right across the counter's
  // wrap (every 49.7 days).
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD wait = INFINITE;
    if (timeoutMs != INFINITE) {
      const DWORD spent = GetTickCount() - start;
      wait = spent >= timeoutMs ? 0 : timeoutMs - spent;
    }
    DWORD r = MsgWaitForMultipleObjects(1, &m_hThread, FALSE, wait, QS_SENDMESSAGE | QS_PAINT);
    if (r == WAIT_OBJECT_0) return TRUE;
    if (r != WAIT_OBJECT_0 + 1) return FALSE;   // timeout or failure
    // Handles the messages sent to this thread; removes nothing else from
    // the queue, so no click or posted message runs while the page waits.
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    // A worker may sit in a slow disk read for seconds: the thread's windows
    // keep painting meanwhile. Painting changes no state.
    while (PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE | PM_QS_PAINT)) {
      DispatchMessageA(&msg);
      // A window whose painting leaves it invalid would come back at once.
      if (msg.hwnd) ValidateRect(msg.hwnd, nullptr);
    }
  }
}
