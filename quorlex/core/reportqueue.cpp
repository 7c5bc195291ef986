#include "reportqueue.h"

#include <mutex>

#include "factory.h"
#include "infoc.h"
#include "modinfo.h"

namespace tarn {

namespace {

// The two process-wide senders, made on first use and kept for the life of
// the process. Report threads of several service objects may race to make
// them: creation runs under a lock.
std::mutex gSendersLock;
ITarnInfoc* gActionSender = nullptr;
ITarnInfoc* gNodeSender = nullptr;

ITarnInfoc* Sender(ITarnInfoc** slot) {
  std::lock_guard<std::mutex> lock(gSendersLock);
  if (!*slot) {
    void* object = nullptr;
    if (SUCCEEDED(CreateInnerObject(IID_ITarnInfoc, &object)) && object) {
      ITarnInfoc* sender = static_cast<ITarnInfoc*>(object);
      sender->Init(ProductId(), SubVersion());
      *slot = sender;
    }
  }
  return *slot;
}

}  // namespace

ReportQueue::ReportQueue() {
  InitializeCriticalSection(&lock_);
  newItem_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  quit_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (newItem_ && quit_) thread_ = CreateThread(nullptr, 0, &ThreadMain, this, 0, &threadId_);
}

ReportQueue::~ReportQueue() {
  if (thread_) {
    SetEvent(quit_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  if (newItem_) CloseHandle(newItem_);
  if (quit_) CloseHandle(quit_);
  EnterCriticalSection(&lock_);
  actions_.clear();
  nodes_.clear();
  LeaveCriticalSection(&lock_);
  DeleteCriticalSection(&lock_);
}

void ReportQueue::AddAction(const std::wstring& text) {
  EnterCriticalSection(&lock_);
  actions_.push_back(text);
  SetEvent(newItem_);
  LeaveCriticalSection(&lock_);
}

void ReportQueue::AddNode(const std::wstring& text) {
  EnterCriticalSection(&lock_);
  nodes_.push_back(text);
  SetEvent(newItem_);
  LeaveCriticalSection(&lock_);
}


DWORD WINAPI ReportQueue::ThreadMain(void* self) {
  if (!self) return 0;
  static_cast<ReportQueue*>(self)->Run();
  return 0;
}

void ReportQueue::Run() {
  HANDLE events[2] = {newItem_, quit_};  // new items win over a quit seen at the same time
  for (;;) {
    DWORD w = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (w == WAIT_OBJECT_0 + 1) return;
    if (w != WAIT_OBJECT_0) {
      // A failed wait would spin; give the host's threads a moment.
      if (w == WAIT_FAILED) Sleep(10);
      continue;
    }
    Deliver();
  }
}

void ReportQueue::Deliver() {
  EnterCriticalSection(&lock_);
  std::vector<std::wstring> actions = actions_;
  std::vector<std::wstring> nodes = nodes_;
  LeaveCriticalSection(&lock_);

  // A sender that cannot be made (memory) leaves the rest for the next wake-up.
  while ((size_t)actionsDelivered_ < actions.size()) {
    ITarnInfoc* sender = Sender(&gActionSender);
    if (!sender) break;
    sender->SendAction(actions[actionsDelivered_].c_str(), 0, nullptr);
    InterlockedIncrement(&actionsDelivered_);  // delivered whatever the result
  }
  while ((size_t)nodesDelivered_ < nodes.size()) {
    ITarnInfoc* sender = Sender(&gNodeSender);
    if (!sender) break;
    sender->SendNode(nodes[nodesDelivered_].c_str(), nullptr);
    InterlockedIncrement(&nodesDelivered_);
  }
}

}  // namespace tarn
