// Owning types for Windows resources, used by all C++ code of the project (engine, installer, app).
// Ownership is in the type, so every exit path releases what it holds. Releasing never changes the
// thread's last-error value: a caller may read GetLastError() after its owners went out of scope.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "win/imports.h"

namespace velmor {

// One owner template; Traits says what "nothing held" is and how to close a value.
template <typename Traits>
class unique_any {
 public:
  using value_type = typename Traits::type;

  unique_any() = default;
  explicit unique_any(value_type value) : value_(value) {}
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_any() { reset(); }

  value_type get() const { return value_; }
  explicit operator bool() const { return Traits::valid(value_); }
  [[nodiscard]] value_type release() { return std::exchange(value_, Traits::invalid()); }
  void reset(value_type value = Traits::invalid()) {
    if (Traits::valid(value_)) {
      DWORD error = ::GetLastError();
      Traits::close(value_);
      ::SetLastError(error);
    }
    value_ = value;
  }
  // For out-parameters of Windows calls: releases what is held, then exposes the slot.
  value_type* put() {
    reset();
    return &value_;
  }

 private:
  value_type value_ = Traits::invalid();
};

// Traits of a value whose "nothing held" value is a constant.
template <typename T, auto Close, T Invalid>
struct close_traits {
  using type = T;
  static constexpr T invalid() { return Invalid; }
  static bool valid(T value) { return value != Invalid; }
  static void close(T value) { Close(value); }
};

template <typename T, auto Close, T Invalid>
using unique_resource = unique_any<close_traits<T, Close, Invalid>>;

namespace detail {
inline void close_handle(HANDLE h) { ::CloseHandle(h); }
inline void close_key(HKEY k) { ::RegCloseKey(k); }
inline void free_heap(void* p) { std::free(p); }
inline void free_local(HLOCAL p) { ::LocalFree(p); }
inline void delete_gdi(HGDIOBJ o) { ::DeleteObject(o); }
inline void destroy_icon(HICON i) { ::DestroyIcon(i); }
inline void close_stdio(std::FILE* f) { std::fclose(f); }
// Resolved at run time, like every CryptoAPI entry point (win/import_list.h says why).
inline void release_provider(HCRYPTPROV p) {
  if (auto release = imports::CryptReleaseContext()) release(p, 0);
}
inline void destroy_crypt_key(HCRYPTKEY k) {
  if (auto destroy = imports::CryptDestroyKey()) destroy(k);
}
inline void close_cert_store(HCERTSTORE s) {
  if (auto close = imports::CertCloseStore()) close(s, 0);
}
inline void free_cert_context(PCCERT_CONTEXT c) {
  if (auto free_context = imports::CertFreeCertificateContext()) free_context(c);
}

// Handles whose "nothing held" value is INVALID_HANDLE_VALUE, which is no constant expression.
template <auto Close, bool NullIsInvalidToo>
struct invalid_value_traits {
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static bool valid(type h) { return h != INVALID_HANDLE_VALUE && !(NullIsInvalidToo && h == nullptr); }
  static void close(type h) { Close(h); }
};
inline void close_find(HANDLE h) { ::FindClose(h); }
inline void close_change_notification(HANDLE h) { ::FindCloseChangeNotification(h); }
// Through the import list: the installer program imports no setupapi.
inline void destroy_device_set(HANDLE set) {
  if (auto destroy = imports::SetupDiDestroyDeviceInfoList()) destroy(set);
}
inline void close_inf(HANDLE inf) {
  if (auto close = imports::SetupCloseInfFile()) close(inf);
}
// The list's own clean-up first, then its block (from the C heap).
inline void delete_attribute_list(LPPROC_THREAD_ATTRIBUTE_LIST list) {
  if (auto delete_list = imports::DeleteProcThreadAttributeList()) delete_list(list);
  std::free(list);
}
}  // namespace detail

// Kernel handles whose "none" value is NULL (threads, processes, events, mutexes, tokens).
using unique_handle = unique_resource<HANDLE, detail::close_handle, nullptr>;
// Kernel handles that CreateFile-style calls give, "none" being INVALID_HANDLE_VALUE (files, pipes).
using unique_file = unique_any<detail::invalid_value_traits<detail::close_handle, true>>;
using unique_find = unique_any<detail::invalid_value_traits<detail::close_find, false>>;
// A folder's change notification (FindFirstChangeNotification).
using unique_change_notification =
    unique_any<detail::invalid_value_traits<detail::close_change_notification, true>>;
// A device-information set (SetupDiGetClassDevs).
using unique_device_set = unique_any<detail::invalid_value_traits<detail::destroy_device_set, false>>;
// An open INF file (SetupOpenInfFile).
using unique_inf = unique_any<detail::invalid_value_traits<detail::close_inf, false>>;
using unique_hkey = unique_resource<HKEY, detail::close_key, nullptr>;
using unique_hlocal = unique_resource<HLOCAL, detail::free_local, nullptr>;
using unique_gdi = unique_resource<HGDIOBJ, detail::delete_gdi, nullptr>;
using unique_hicon = unique_resource<HICON, detail::destroy_icon, nullptr>;
using unique_stdio = unique_resource<std::FILE*, detail::close_stdio, nullptr>;
using unique_crypt_provider = unique_resource<HCRYPTPROV, detail::release_provider, HCRYPTPROV{0}>;
using unique_crypt_key = unique_resource<HCRYPTKEY, detail::destroy_crypt_key, HCRYPTKEY{0}>;
using unique_cert_store = unique_resource<HCERTSTORE, detail::close_cert_store, nullptr>;
using unique_cert_context = unique_resource<PCCERT_CONTEXT, detail::free_cert_context, nullptr>;
// An initialised process-attribute list (InitializeProcThreadAttributeList) in a C-heap block.
using unique_attribute_list = unique_resource<LPPROC_THREAD_ATTRIBUTE_LIST, detail::delete_attribute_list, nullptr>;

// A block from the C heap (malloc/calloc/strdup, and the converted strings of win/utf8.h).
template <typename T>
using unique_malloc = unique_resource<T*, detail::free_heap, nullptr>;

// A COM interface pointer, released when the owner goes.
template <typename T>
class com_ptr {
 public:
  com_ptr() = default;
  com_ptr(const com_ptr&) = delete;
  com_ptr& operator=(const com_ptr&) = delete;
  ~com_ptr() { reset(); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_ != nullptr) {
      DWORD error = ::GetLastError();
      p_->Release();
      ::SetLastError(error);
      p_ = nullptr;
    }
  }
  // For CoCreateInstance and QueryInterface.
  void** put_void() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }

 private:
  T* p_ = nullptr;
};

// Runs a callable when the scope ends, unless dismissed.
template <typename F>
class [[nodiscard]] scope_exit {
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
