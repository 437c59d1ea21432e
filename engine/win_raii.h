// Owning wrappers for Windows resources, used by all C++ code of the project (engine, installer,
// app). Ownership is in the type, so every exit path releases what it holds.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <utility>

namespace velmor {

// A value owned by a close function; Invalid is the "nothing held" value.
template <typename T, auto Close, T Invalid>
class unique_resource {
 public:
  unique_resource() = default;
  explicit unique_resource(T value) : value_(value) {}
  unique_resource(const unique_resource&) = delete;
  unique_resource& operator=(const unique_resource&) = delete;
  unique_resource(unique_resource&& other) noexcept : value_(other.release()) {}
  unique_resource& operator=(unique_resource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_resource() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Invalid; }
  T release() { return std::exchange(value_, Invalid); }
  void reset(T value = Invalid) {
    if (value_ != Invalid) Close(value_);
    value_ = value;
  }
  // For out-parameters of Windows calls: releases what is held, then exposes the slot.
  T* put() {
    reset();
    return &value_;
  }

 private:
  T value_ = Invalid;
};

namespace detail {
inline void close_handle(HANDLE h) { ::CloseHandle(h); }
inline void close_key(HKEY k) { ::RegCloseKey(k); }
inline void free_heap(void* p) { std::free(p); }
inline void free_local(HLOCAL p) { ::LocalFree(p); }
inline void delete_gdi(HGDIOBJ o) { ::DeleteObject(o); }
inline void destroy_icon(HICON i) { ::DestroyIcon(i); }
inline void close_find(HANDLE h) { ::FindClose(h); }
}  // namespace detail

// Kernel handles whose "none" value is NULL (threads, processes, events, mutexes, tokens).
using unique_handle = unique_resource<HANDLE, detail::close_handle, nullptr>;
// Kernel handles whose "none" value is INVALID_HANDLE_VALUE (files, pipes).
inline const HANDLE invalid_handle_value = INVALID_HANDLE_VALUE;
class unique_file {
 public:
  unique_file() = default;
  explicit unique_file(HANDLE h) : h_(h) {}
  unique_file(const unique_file&) = delete;
  unique_file& operator=(const unique_file&) = delete;
  unique_file(unique_file&& o) noexcept : h_(o.release()) {}
  unique_file& operator=(unique_file&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~unique_file() { reset(); }
  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
  void reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (h_ != INVALID_HANDLE_VALUE && h_ != nullptr) ::CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};
using unique_hkey = unique_resource<HKEY, detail::close_key, nullptr>;
using unique_hlocal = unique_resource<HLOCAL, detail::free_local, nullptr>;
using unique_gdi = unique_resource<HGDIOBJ, detail::delete_gdi, nullptr>;
using unique_hicon = unique_resource<HICON, detail::destroy_icon, nullptr>;

// A block from the C heap (malloc/calloc/strdup, and the engine's converted strings).
template <typename T>
using unique_malloc = unique_resource<T*, detail::free_heap, nullptr>;

// Runs a callable when the scope ends, unless dismissed.
template <typename F>
class scope_exit {
 public:
  explicit scope_exit(F f) : f_(std::move(f)) {}
  scope_exit(const scope_exit&) = delete;
  scope_exit& operator=(const scope_exit&) = delete;
  ~scope_exit() {
    if (active_) f_();
  }
  void dismiss() { active_ = false; }

 private:
  F f_;
  bool active_ = true;
};

// The machine-wide "busy" guard of an engine operation: a named mutex created owned at the start
// and closed at the end, so that a second caller anywhere gets "in use" at once instead of waiting.
class operation_mutex {
 public:
  explicit operation_mutex(const char* name) {
    HANDLE h = ::CreateMutexA(nullptr, TRUE, name);
    DWORD err = ::GetLastError();
    if (h != nullptr && err == ERROR_ALREADY_EXISTS) {
      ::CloseHandle(h);
      h = nullptr;
      busy_ = true;
    }
    handle_.reset(h);
  }
  // True when this call owns the operation.
  bool acquired() const { return static_cast<bool>(handle_); }
  // True when another caller holds it (as opposed to a creation failure).
  bool busy() const { return busy_; }
  ~operation_mutex() {
    if (handle_) ::ReleaseMutex(handle_.get());
  }

 private:
  unique_handle handle_;
  bool busy_ = false;
};

// Keeps a thread's last-error value across clean-up code.
class preserve_last_error {
 public:
  preserve_last_error() : error_(::GetLastError()) {}
  ~preserve_last_error() { ::SetLastError(error_); }
  preserve_last_error(const preserve_last_error&) = delete;
  preserve_last_error& operator=(const preserve_last_error&) = delete;

 private:
  DWORD error_;
};

}  // namespace velmor
