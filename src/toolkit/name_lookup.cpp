#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "toolkit/name_lookup.h"

#include <algorithm>
#include <atomic>
#include <deque>

#include "toolkit/exception.h"

namespace tk {

// Shared by the askers and the worker, so whichever lets go last frees it.
struct NameLookupJob {
  std::string host;
  UniqueKernelHandle done;
  NameLookupResult result;  // written by the worker before `done` is set
  int askers = 0;           // under the worker's lock
};

namespace {

// The PE stack the worker reserves; pages are committed only as the lookup touches them.
constexpr SIZE_T kWorkerStackBytes = 256 * 1024;

NameLookupResult SystemLookup(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  NameLookupResult result;
  result.error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result.error == 0 && found) {
    result.found = true;
    result.address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  }
  if (found) freeaddrinfo(found);
  return result;
}

std::atomic<NameLookupFunction> g_lookup{&SystemLookup};

class Lock {
 public:
  explicit Lock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
  ~Lock() { LeaveCriticalSection(&section_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

class LookupWorker {
 public:
  // Never destroyed: its thread may still be inside a lookup while the program's statics go.
  static LookupWorker& Instance() {
    static LookupWorker* const worker = new LookupWorker;
    return *worker;
  }

  std::shared_ptr<NameLookupJob> Ask(const std::string& host) {
    Lock lock(lock_);
    if (!thread_) {
      thread_ = CreateThread(nullptr, kWorkerStackBytes, &LookupWorker::Run, this, STACK_SIZE_PARAM_IS_A_RESERVATION,
                             nullptr);
      if (!thread_) throw Exception(L"Cannot start the name lookup.");
    }
    std::shared_ptr<NameLookupJob> job;
    if (running_ && running_->host == host) job = running_;
    for (std::size_t i = 0; !job && i < queue_.size(); ++i) {
      if (queue_[i]->host == host) job = queue_[i];
    }
    if (!job) {
      // Those nobody waits for any more go now, so a lookup that never ends cannot pile them up.
      queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [](const auto& queued) { return queued->askers == 0; }),
                   queue_.end());
      job = std::make_shared<NameLookupJob>();
      job->host = host;
      job->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
      if (!job->done) throw Exception(L"Cannot create the name lookup's event.");
      queue_.push_back(job);
      SetEvent(wake_.get());
    }
    ++job->askers;
    return job;
  }

  void LetGo(NameLookupJob& job) {
    Lock lock(lock_);
    --job.askers;
  }

 private:
  LookupWorker() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!wake_) throw Exception(L"Cannot create the name lookup's event.");
    InitializeCriticalSection(&lock_);
  }

  static DWORD WINAPI Run(void* self) {
    // Its own hold on Winsock, so a client's cleanup never pulls it away under a lookup.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    static_cast<LookupWorker*>(self)->Serve();
    return 0;
  }

  [[noreturn]] void Serve() {
    for (;;) {
      std::shared_ptr<NameLookupJob> job = Next();
      if (!job) {
        WaitForSingleObject(wake_.get(), INFINITE);
        continue;
      }
      job->result = g_lookup.load()(job->host);
      SetEvent(job->done.get());
      Lock lock(lock_);
      running_.reset();
    }
  }

  // The oldest lookup somebody still waits for; the abandoned ones before it are dropped.
  std::shared_ptr<NameLookupJob> Next() {
    Lock lock(lock_);
    while (!queue_.empty()) {
      std::shared_ptr<NameLookupJob> job = std::move(queue_.front());
      queue_.pop_front();
      if (job->askers > 0) {
        running_ = job;
        return job;
      }
    }
    return nullptr;
  }

  CRITICAL_SECTION lock_;
  UniqueKernelHandle wake_;  // auto-reset: set when a lookup is queued
  HANDLE thread_ = nullptr;  // runs for the rest of the process
  std::deque<std::shared_ptr<NameLookupJob>> queue_;
  std::shared_ptr<NameLookupJob> running_;
};

}  // namespace

void SetNameLookupFunction(NameLookupFunction lookup) { g_lookup = lookup ? lookup : &SystemLookup; }

PendingNameLookup::PendingNameLookup(const std::string& host) : job_(LookupWorker::Instance().Ask(host)) {}

PendingNameLookup::~PendingNameLookup() { LookupWorker::Instance().LetGo(*job_); }

HANDLE PendingNameLookup::Done() const { return job_->done.get(); }

NameLookupResult PendingNameLookup::Result() const { return job_->result; }

}  // namespace tk
