// A package folder can only go once nothing runs from it, and its files are many: removing it on the
// path of the next preparation, or waiting for the installer to end before the installation's
// status is returned, made every user wait for housekeeping. Each removal gets a thread; the
// process waits for them all before it ends, so that no folder stays behind a normal exit.
#include "engine/package/folder_retirement.h"

#include <process.h>

#include <utility>
#include <vector>

#include "win/handles.h"
#include "win/lock.h"

namespace velmor::prepare {
namespace {

struct retirement {
  std::unique_ptr<protected_folder> folder;
  unique_handle process;
  DWORD wait_ms = 0;
};

unsigned __stdcall remove_when_free(void* context) {
  std::unique_ptr<retirement> job(static_cast<retirement*>(context));
  if (job->process) ::WaitForSingleObject(job->process.get(), job->wait_ms);
  job->folder.reset();  // removes the folder
  return 0;
}

class retirements {
 public:
  ~retirements() { settle(); }

  void add(unique_handle thread) {
    critical_section_lock hold(lock_);
    // Threads that are done need not be remembered.
    for (auto t = threads_.begin(); t != threads_.end();) {
      t = ::WaitForSingleObject(t->get(), 0) == WAIT_OBJECT_0 ? threads_.erase(t) : t + 1;
    }
    threads_.push_back(std::move(thread));
  }

  void settle() {
    std::vector<unique_handle> running;
    {
      critical_section_lock hold(lock_);
      running.swap(threads_);
    }
    for (const unique_handle& thread : running) ::WaitForSingleObject(thread.get(), INFINITE);
  }

 private:
  critical_section lock_;
  std::vector<unique_handle> threads_;
};
retirements pending;

}  // namespace

void retire_folder(std::unique_ptr<protected_folder> folder, HANDLE process, DWORD wait_ms) {
  if (!folder) return;
  auto job = std::make_unique<retirement>();
  job->folder = std::move(folder);
  job->wait_ms = wait_ms;
  HANDLE own = nullptr;
  if (process != nullptr &&
      ::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), &own, SYNCHRONIZE, FALSE, 0)) {
    job->process.reset(own);
  }
  uintptr_t started = _beginthreadex(nullptr, 0, remove_when_free, job.get(), 0, nullptr);
  if (started == 0) {
    // No thread: the caller waits as it always did.
    remove_when_free(job.release());
    return;
  }
  static_cast<void>(job.release());  // the thread owns it
  pending.add(unique_handle(reinterpret_cast<HANDLE>(started)));
}

void settle_retired_folders() { pending.settle(); }

}  // namespace velmor::prepare
