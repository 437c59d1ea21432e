// Reference-counted 8-bit string of our dialog framework layer. Copies share one buffer; the first
// change to a shared buffer makes a private copy. Text is in the ANSI code page.
#pragma once

#ifdef _WIN32
// Its LoadString macro renames our member; seeing it everywhere keeps the name the same in every file.
#include <windows.h>
#endif

#include <atomic>
#include <cstddef>
#include <cstdio>

#if defined(__MINGW32__)
#define CSTRING_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define CSTRING_PRINTF_FORMAT printf
#endif

class CString {
 public:
  CString();
  CString(const char* text);  // NOLINT: implicit, like the platform string
  CString(const char* text, int length);
  CString(const CString& other);
  CString(CString&& other) noexcept;
  ~CString();

  CString& operator=(const CString& other);
  CString& operator=(CString&& other) noexcept;
  CString& operator=(const char* text);
  CString& operator+=(const CString& other);
  CString& operator+=(const char* text);
  CString& operator+=(char c);

  int GetLength() const;
  bool IsEmpty() const { return GetLength() == 0; }
  void Empty();
  operator const char*() const;  // NOLINT: implicit, like the platform string
  const char* GetString() const { return *this; }
  char GetAt(int index) const;

  // printf-style formatting; the result replaces the contents.
  void Format(const char* format, ...) __attribute__((format(CSTRING_PRINTF_FORMAT, 2, 3)));
  // Loads a string resource of the current module; false (and empty) when it is missing.
  bool LoadString(unsigned id);

  // Direct buffer access: room for at least min_length characters plus terminator.
  // ReleaseBuffer(-1) takes the length from the terminator.
  char* GetBuffer(int min_length);
  void ReleaseBuffer(int new_length = -1);

  // How many strings share this buffer (1 for an unshared one, 0 for the empty string). For tests.
  long ShareCount() const;

  int Compare(const char* text) const;

 private:
  struct Block;
  Block* block_;
  void assign(const char* text, std::size_t length);
  void make_unique(std::size_t capacity);
  static Block* allocate(std::size_t capacity);
  static void release(Block* block);
};

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, const char* b);
bool operator==(const char* a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, const char* b);
bool operator!=(const char* a, const CString& b);
CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);
