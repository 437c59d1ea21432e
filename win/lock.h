// Locks: an owned critical section, one held for a scope, and the machine-wide "busy" guard of an
// operation.
#pragma once

#include <windows.h>

#include "win/handles.h"

namespace velmor {

// A critical section initialised and deleted with its owner.
class critical_section {
 public:
  critical_section() { ::InitializeCriticalSection(&section_); }
  ~critical_section() { ::DeleteCriticalSection(&section_); }
  critical_section(const critical_section&) = delete;
  critical_section& operator=(const critical_section&) = delete;
  operator CRITICAL_SECTION&() { return section_; }

 private:
  CRITICAL_SECTION section_;
};

// Holds a critical section from construction to the end of the scope.
class [[nodiscard]] critical_section_lock {
 public:
  explicit critical_section_lock(CRITICAL_SECTION& section) : section_(section) {
    ::EnterCriticalSection(&section_);
  }
  ~critical_section_lock() { ::LeaveCriticalSection(&section_); }
  critical_section_lock(const critical_section_lock&) = delete;
  critical_section_lock& operator=(const critical_section_lock&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

// A named mutex created owned at the start of an operation and closed at its end, so that a second
// caller anywhere on the machine learns at once that the operation is busy instead of waiting.
class [[nodiscard]] operation_mutex {
 public:
  explicit operation_mutex(const char* name) {
    HANDLE h = ::CreateMutexA(nullptr, TRUE, name);
    if (h != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
      ::CloseHandle(h);
      h = nullptr;
      busy_ = true;
    }
    // One that exists and refuses us is somebody's all the same.
    if (h == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED) busy_ = true;
    handle_.reset(h);
  }
  // True when this call owns the operation.
  bool acquired() const { return static_cast<bool>(handle_); }
  // True when another caller holds it (as opposed to a creation failure).
  bool busy() const { return busy_; }
  // Hands the mutex on to an owner that outlives this scope.
  [[nodiscard]] unique_handle take() { return std::move(handle_); }
  ~operation_mutex() {
    if (handle_) ::ReleaseMutex(handle_.get());
  }
  operation_mutex(const operation_mutex&) = delete;
  operation_mutex& operator=(const operation_mutex&) = delete;

 private:
  unique_handle handle_;
  bool busy_ = false;
};

}  // namespace velmor
