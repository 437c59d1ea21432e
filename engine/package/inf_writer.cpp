// Writing the substituted INF: UTF-16LE behind a byte-order mark, as Windows reads INF files.
//   velmor::prepare::write_inf
#include <cstdio>
#include <cwchar>

#include "engine/common/status.h"
#include "engine/common/utf8.h"
#include "engine/package/inf_tokens.h"
#include "engine/package/prepare_internal.h"
#include "engine/payload/security.h"
#include "win/handles.h"

namespace velmor::prepare {
int write_inf(const char* inf_path, int kind) {
  unique_malloc<char> text;
  int status = substitute_template(inf_template_table[kind], text);
  if (status != WDI_ST_OK) return status;

  FILE* stream = fcreate(inf_path, "w");
  if (stream == nullptr) {
    prepare_err("failed to create file: %s", inf_path);
    return WDI_ST_DENIED;
  }
  auto close_stream = scope_exit([&] {
    if (stream != nullptr) std::fclose(stream);
  });

  unique_malloc<wchar_t> wide(utf8_to_utf16(text.get()));
  if (!wide) {
    prepare_err("could not convert '%s' to UTF-16", text.get());
    return WDI_ST_NO_RESOURCE;
  }

  static const unsigned char byte_order_mark[2] = {0xFF, 0xFE};
  size_t units = std::wcslen(wide.get());
  bool written = std::fwrite(byte_order_mark, 1, sizeof(byte_order_mark), stream) == sizeof(byte_order_mark) &&
                 std::fwrite(wide.get(), sizeof(wchar_t), units, stream) == units;
  FILE* done = stream;
  stream = nullptr;
  written = std::fclose(done) == 0 && written;
  // A truncated INF must not pass for a good one.
  if (!written) {
    prepare_err("failed to write file: %s", inf_path);
    return WDI_ST_DENIED;
  }
  prepare_info("successfully created '%s'", inf_path);
  return WDI_ST_OK;
}

}  // namespace velmor::prepare
