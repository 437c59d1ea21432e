// The reference-counted string; no Windows calls here, so the host tests build it too.
#include "framework/CString.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// One heap block: header, then capacity + 1 characters. Empty strings share no block (null).
struct CString::Block {
  std::atomic<long> refs;
  std::size_t length;
  std::size_t capacity;
  char* data() { return reinterpret_cast<char*>(this + 1); }
};

namespace {
char empty_text[1] = {0};
}

CString::Block* CString::allocate(std::size_t capacity) {
  // Zeroed, so that a buffer handed out by GetBuffer never holds stale bytes.
  void* mem = std::calloc(1, sizeof(Block) + capacity + 1);
  if (mem == nullptr) throw std::bad_alloc();
  Block* b = new (mem) Block;
  b->refs = 1;
  b->length = 0;
  b->capacity = capacity;
  b->data()[0] = 0;
  return b;
}

void CString::release(Block* block) {
  if (block != nullptr && --block->refs == 0) {
    block->~Block();
    std::free(block);
  }
}

CString::CString() : block_(nullptr) {}
CString::CString(const char* text) : block_(nullptr) { assign(text, text ? std::strlen(text) : 0); }
CString::CString(const char* text, int length) : block_(nullptr) {
  assign(text, (text && length > 0) ? static_cast<std::size_t>(length) : 0);
}
CString::CString(const CString& other) : block_(other.block_) {
  if (block_) ++block_->refs;
}
CString::CString(CString&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
CString::~CString() { release(block_); }

CString& CString::operator=(const CString& other) {
  if (other.block_) ++other.block_->refs;
  release(block_);
  block_ = other.block_;
  return *this;
}
CString& CString::operator=(CString&& other) noexcept {
  if (this != &other) {
    release(block_);
    block_ = other.block_;
    other.block_ = nullptr;
  }
  return *this;
}
CString& CString::operator=(const char* text) {
  // text may point into our own buffer: copy before releasing.
  CString tmp(text);
  return *this = std::move(tmp);
}

void CString::assign(const char* text, std::size_t length) {
  release(block_);
  block_ = nullptr;
  if (length == 0) return;
  block_ = allocate(length);
  std::memcpy(block_->data(), text, length);
  block_->data()[length] = 0;
  block_->length = length;
}

// Gives this string a buffer of its own that holds at least capacity characters.
void CString::make_unique(std::size_t capacity) {
  std::size_t len = block_ ? block_->length : 0;
  if (block_ && block_->refs == 1 && block_->capacity >= capacity) return;
  std::size_t cap = capacity > len ? capacity : len;
  Block* b = allocate(cap);
  if (len) std::memcpy(b->data(), block_->data(), len + 1);
  b->length = len;
  release(block_);
  block_ = b;
}

CString& CString::operator+=(const char* text) {
  std::size_t add = text ? std::strlen(text) : 0;
  if (add == 0) return *this;
  CString keep(*this);  // text may point into our own buffer
  std::size_t len = block_ ? block_->length : 0;
  make_unique(len + add < 2 * len ? 2 * len : len + add);
  std::memmove(block_->data() + len, text, add);
  block_->length = len + add;
  block_->data()[block_->length] = 0;
  return *this;
}
CString& CString::operator+=(const CString& other) {
  CString keep(other);
  return *this += static_cast<const char*>(keep);
}
CString& CString::operator+=(char c) {
  char s[2] = {c, 0};
  return *this += s;
}

int CString::GetLength() const { return block_ ? static_cast<int>(block_->length) : 0; }
void CString::Empty() {
  release(block_);
  block_ = nullptr;
}
CString::operator const char*() const { return block_ ? block_->data() : empty_text; }
char CString::GetAt(int index) const {
  return (index >= 0 && index < GetLength()) ? block_->data()[index] : 0;
}
long CString::ShareCount() const { return block_ ? block_->refs.load() : 0; }

int CString::Compare(const char* text) const {
  return std::strcmp(*this, text ? text : "");
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (needed <= 0) {
    va_end(again);
    Empty();
    return;
  }
  Block* b = allocate(static_cast<std::size_t>(needed));
  std::vsnprintf(b->data(), static_cast<std::size_t>(needed) + 1, format, again);
  va_end(again);
  b->length = static_cast<std::size_t>(needed);
  release(block_);
  block_ = b;
}

char* CString::GetBuffer(int min_length) {
  std::size_t want = min_length > 0 ? static_cast<std::size_t>(min_length) : 0;
  make_unique(want);
  return block_->data();
}

void CString::ReleaseBuffer(int new_length) {
  if (block_ == nullptr) return;
  std::size_t len = new_length < 0 ? std::strlen(block_->data()) : static_cast<std::size_t>(new_length);
  if (len > block_->capacity) len = block_->capacity;
  block_->data()[len] = 0;
  block_->length = len;
  if (len == 0) Empty();
}

bool operator==(const CString& a, const CString& b) { return std::strcmp(a, b) == 0; }
bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
bool operator!=(const CString& a, const CString& b) { return !(a == b); }
bool operator!=(const CString& a, const char* b) { return !(a == b); }
bool operator!=(const char* a, const CString& b) { return !(a == b); }
CString operator+(const CString& a, const CString& b) {
  CString r(a);
  r += b;
  return r;
}
CString operator+(const CString& a, const char* b) {
  CString r(a);
  r += b;
  return r;
}
CString operator+(const char* a, const CString& b) {
  CString r(a);
  r += b;
  return r;
}
