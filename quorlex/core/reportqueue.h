// The report queue of one service object: host threads append action and node
// texts and return at once; one report thread hands them, in order and each
// exactly once, to the process-wide statistics senders.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarn {

class ReportQueue {
 public:
  // Starts the report thread.
  ReportQueue();
  // Stops the thread and waits for it (a send in progress runs to its end),
  // so nothing of the queue runs once the destructor has returned.
  ~ReportQueue();
  ReportQueue(const ReportQueue&) = delete;
  ReportQueue& operator=(const ReportQueue&) = delete;

  void AddAction(const std::wstring& text);
  void AddNode(const std::wstring& text);

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void Run();
  void Deliver();

  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  HANDLE newItem_ = nullptr;
  HANDLE quit_ = nullptr;
  mutable CRITICAL_SECTION lock_;
  std::vector<std::wstring> actions_;
  std::vector<std::wstring> nodes_;
  volatile LONG actionsDelivered_ = 0;
  volatile LONG nodesDelivered_ = 0;
};

}  // namespace tarn
