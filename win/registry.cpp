#include "win/registry.h"

#include <cstring>

namespace velmor {

LONG read_registry_string(HKEY key, const char* name, char* buffer, DWORD capacity) {
  if (buffer == nullptr || capacity == 0) return ERROR_INVALID_PARAMETER;
  std::memset(buffer, 0, capacity);
  DWORD type = 0;
  DWORD size = capacity;
  LONG rc = ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  if (rc == ERROR_SUCCESS && type != REG_SZ) rc = ERROR_INVALID_DATA;
  // A value stored without its terminator that fills the buffer has no room for one.
  if (rc == ERROR_SUCCESS && size == capacity && buffer[capacity - 1] != '\0') rc = ERROR_MORE_DATA;
  if (rc != ERROR_SUCCESS) std::memset(buffer, 0, capacity);
  return rc;
}

LONG read_registry_dword(HKEY key, const char* name, DWORD* value) {
  DWORD data = 0;
  DWORD type = 0;
  DWORD size = sizeof(data);
  LONG rc = ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  if (rc == ERROR_SUCCESS && (type != REG_DWORD || size != sizeof(data))) rc = ERROR_INVALID_DATA;
  if (rc == ERROR_SUCCESS) *value = data;
  return rc;
}

}  // namespace velmor
