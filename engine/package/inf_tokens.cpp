// Token substitution for the INF and catalog-list templates.
//   replace_tokens, tokenize_payload_template, set_inf_token, inf_token_table
#include "engine/package/inf_tokens.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/common/status.h"
#include "payload/payload_table.h"

struct inf_token inf_token_table[INF_TOKEN_COUNT + 1] = {
    {"INF_FILENAME", ""},  {"CAT_FILENAME", ""},        {"DEVICE_DESCRIPTION", ""},
    {"DEVICE_HARDWARE_ID", ""}, {"DEVICE_INTERFACE_GUID", ""}, {"DEVICE_MANUFACTURER", ""},
    {"DRIVER_DATE", ""},   {"DRIVER_VERSION", ""},      {"USE_DEVICE_INTERFACE_GUID", ""},
    {"WDF_VERSION", ""},   {"KMDF_VERSION", ""},        {"LK_COMMA", ""},
    {"LK_DLL", ""},        {"LK_X86_DLL", ""},          {"LK_EQ_X86", ""},
    {"LK_EQ_X64", ""},     {nullptr, ""},
};

extern "C" void set_inf_token(enum inf_token_index index, const char* value) {
  if (index < 0 || index >= INF_TOKEN_COUNT) return;
  std::snprintf(inf_token_table[index].value, INF_TOKEN_VALUE_SIZE, "%s", value != nullptr ? value : "");
}

namespace {

// A self-referencing table ("#A#" whose value holds "#A#") would repeat forever.
constexpr int kMaxRepeatPasses = 64;

// The growing output of one substitution pass.
class output_buffer {
 public:
  explicit output_buffer(size_t capacity) : data_(static_cast<char*>(std::malloc(capacity))), capacity_(capacity) {}
  ~output_buffer() { std::free(data_); }
  output_buffer(const output_buffer&) = delete;
  output_buffer& operator=(const output_buffer&) = delete;

  bool ok() const { return data_ != nullptr; }
  size_t length() const { return length_; }

  // Appends n bytes; a growth that fails frees the buffer and returns false.
  bool append(const char* bytes, size_t n) {
    if (data_ == nullptr) return false;
    if (length_ + n + 1 > capacity_) {
      size_t wanted = length_ + n + 1 + 1024;
      char* grown = static_cast<char*>(std::realloc(data_, wanted));
      if (grown == nullptr) {
        std::free(data_);
        data_ = nullptr;
        return false;
      }
      data_ = grown;
      capacity_ = wanted;
    }
    std::memcpy(data_ + length_, bytes, n);
    length_ += n;
    return true;
  }

  // Terminates the text and hands it over.
  char* finish() {
    data_[length_] = '\0';
    char* text = data_;
    data_ = nullptr;
    return text;
  }

 private:
  char* data_;
  size_t capacity_;
  size_t length_ = 0;
};

// One pass over text[0..size). Returns the output length or a negative status; *out is set on success.
int substitute_once(const char* text, size_t size, char** out, const inf_token* table, const char* start,
                    size_t start_len, const char* end, size_t end_len, int* replaced) {
  if (size > static_cast<size_t>(INT_MAX) - 2048) return WDI_ST_OVERRUN;
  output_buffer buffer(size + 1024);
  if (!buffer.ok()) return WDI_ST_OVERRUN;
  const size_t delimiters = start_len + end_len;
  size_t pos = 0;
  while (size - pos > delimiters) {
    // A start delimiter counts only where both delimiters still fit after it.
    size_t found = SIZE_MAX;
    for (size_t p = pos; size - p >= delimiters; ++p) {
      if (std::memcmp(text + p, start, start_len) == 0) {
        found = p;
        break;
      }
    }
    if (found == SIZE_MAX) break;
    if (!buffer.append(text + pos, found - pos)) return WDI_ST_OVERRUN;
    pos = found + start_len;

    const inf_token* match = nullptr;
    size_t name_len = 0;
    for (const inf_token* t = table; t->name != nullptr; ++t) {
      size_t n = std::strlen(t->name);
      if (size - pos >= n + end_len && std::memcmp(text + pos, t->name, n) == 0 &&
          std::memcmp(text + pos + n, end, end_len) == 0) {
        match = t;
        name_len = n;
        break;
      }
    }
    if (match == nullptr) {
      // Not a token: the delimiter stays as it was and the scan goes on right after it.
      if (!buffer.append(start, start_len)) return WDI_ST_OVERRUN;
      continue;
    }
    if (!buffer.append(match->value, strnlen(match->value, INF_TOKEN_VALUE_SIZE - 1))) return WDI_ST_OVERRUN;
    pos += name_len + end_len;
    ++*replaced;
  }
  if (!buffer.append(text + pos, size - pos)) return WDI_ST_OVERRUN;
  if (buffer.length() > static_cast<size_t>(INT_MAX)) return WDI_ST_OVERRUN;
  int length = static_cast<int>(buffer.length());
  *out = buffer.finish();
  return length;
}

}  // namespace

extern "C" int replace_tokens(const char* text, int size, char** out, const struct inf_token* table,
                              const char* start, const char* end, int repeat) {
  if (text == nullptr || out == nullptr || table == nullptr || start == nullptr || end == nullptr || size == 0) {
    return REPLACE_TOKENS_BAD_ARGUMENTS;
  }
  *out = nullptr;
  size_t start_len = std::strlen(start);
  size_t end_len = std::strlen(end);
  if (start_len == 0 || end_len == 0) return REPLACE_TOKENS_BAD_ARGUMENTS;
  size_t length = size < 0 ? std::strlen(text) : static_cast<size_t>(size);
  if (length == 0) return 0;

  char* current = nullptr;
  int current_len = 0;
  for (int pass = 0;; ++pass) {
    if (pass == kMaxRepeatPasses) {
      std::free(current);
      return REPLACE_TOKENS_BAD_ARGUMENTS;
    }
    int replaced = 0;
    char* next = nullptr;
    int next_len = current == nullptr
                       ? substitute_once(text, length, &next, table, start, start_len, end, end_len, &replaced)
                       : substitute_once(current, static_cast<size_t>(current_len), &next, table, start,
                                         start_len, end, end_len, &replaced);
    std::free(current);
    if (next_len < 0) return next_len;
    current = next;
    current_len = next_len;
    // An output emptied by empty values has nothing left to substitute.
    if (!repeat || replaced == 0 || current_len == 0) break;
  }
  *out = current;
  return current_len;
}

extern "C" int tokenize_payload_template(const struct payload_entry* table, size_t count, const char* name,
                                         char** out) {
  if (table == nullptr || name == nullptr) return REPLACE_TOKENS_BAD_ARGUMENTS;
  for (size_t i = 0; i < count; ++i) {
    const payload_entry& e = table[i];
    if (e.subdir == nullptr || e.subdir[0] != '\0' || e.file_name == nullptr) continue;
    if (std::strcmp(e.file_name, name) != 0) continue;
    if (e.size == 0) return 0;  // an empty template substitutes to nothing
    if (e.size > static_cast<uint32_t>(INT_MAX)) return WDI_ST_OVERRUN;
    return replace_tokens(reinterpret_cast<const char*>(e.data), static_cast<int>(e.size), out, inf_token_table,
                          "#", "#", 0);
  }
  return TEMPLATE_NOT_FOUND;
}
