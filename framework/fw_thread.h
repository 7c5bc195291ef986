// Worker threads that are owned and joined.
//
//   std::unique_ptr<CWinThread> m_worker;          // a member of the page
//   m_worker = AfxBeginThread(ScanThreadProc, this);
//   ...
//   gScanAbort = 1;                                // ask it to stop
//   m_worker->Join();                              // then wait for it
//
// Join (and the destructor, which joins a thread that still runs) keeps
// handling the messages that other threads SEND to the joining thread while it
// waits, so a worker blocked in SendMessage to the page can finish, and keeps
// the thread's windows painted; posted messages and input stay queued for
// the message loop. A worker must never join itself.
#pragma once
#include <windows.h>

#include <memory>

typedef UINT (*AFX_THREADPROC)(LPVOID);

class CWinThread {
 public:
  ~CWinThread();
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;

  // TRUE when the thread has ended (now or within timeoutMs).
  BOOL Join(DWORD timeoutMs = INFINITE);
  bool IsRunning() const;
  DWORD GetExitCode() const;   // STILL_ACTIVE while it runs
  DWORD ResumeThread() { return ::ResumeThread(m_hThread); }
  BOOL SetThreadPriority(int priority) { return ::SetThreadPriority(m_hThread, priority); }

  HANDLE m_hThread = nullptr;
  DWORD m_nThreadID = 0;

 private:
  friend std::unique_ptr<CWinThread> AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD,
                                                    LPSECURITY_ATTRIBUTES);
  CWinThread() = default;
};

// Starts proc(param) on a new thread; null when the thread cannot be made.
// CREATE_SUSPENDED in createFlags leaves it for ResumeThread.
std::unique_ptr<CWinThread> AfxBeginThread(AFX_THREADPROC proc, LPVOID param,
                                           int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0,
                                           DWORD createFlags = 0, LPSECURITY_ATTRIBUTES security = nullptr);
