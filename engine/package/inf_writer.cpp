// Writing the substituted INF: UTF-16LE behind a byte-order mark, as Windows reads INF files.
//   velmor::prepare::write_inf
#include <cstdio>
#include <cwchar>
#include <string>

#include "engine/common/status.h"
#include "engine/common/utf8.h"
#include "engine/package/inf_tokens.h"
#include "engine/package/prepare_internal.h"
#include "engine/payload/security.h"
#include "win/handles.h"

namespace velmor::prepare {
int write_inf(const char* directory, const char* inf_path, int kind, protected_folder* own, const char* inf_name,
              package_folders& user_folders) {
  unique_malloc<char> text;
  int status = substitute_template(inf_template_table[kind], text);
  if (status != WDI_ST_OK) return status;

  unique_malloc<wchar_t> wide(utf8_to_utf16(text.get()));
  if (!wide) {
    prepare_err("could not convert '%s' to UTF-16", text.get());
    return WDI_ST_NO_RESOURCE;
  }
  size_t units = std::wcslen(wide.get());
  std::string bytes = "\xFF\xFE";
  bytes.append(reinterpret_cast<const char*>(wide.get()), units * sizeof(wchar_t));

  if (own != nullptr && own->write_file(inf_name, bytes.data(), bytes.size(), "wdi_prepare_driver") != WDI_ST_OK) {
    prepare_err("failed to create file: %s", own->full(inf_name).c_str());
    return WDI_ST_DENIED;
  }

  write_result result = write_below(directory, inf_path, bytes.data(), bytes.size(), user_folders);
  if (result == write_result::not_opened) {
    prepare_err("failed to create file: %s", inf_path);
    return WDI_ST_DENIED;
  }
  // A truncated INF must not pass for a good one.
  if (result != write_result::written) {
    prepare_err("failed to write file: %s", inf_path);
    return WDI_ST_DENIED;
  }
  prepare_info("successfully created '%s'", inf_path);
  return WDI_ST_OK;
}

}  // namespace velmor::prepare
