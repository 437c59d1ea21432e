#include "process_usage.h"

#include <winternl.h>

#include <cstdint>
#include <vector>

namespace wine_test {

namespace {

// One row of the GDI handle table that the process's PEB points to (the same 24 bytes on 64-bit
// Windows and in Wine); a row in use has a type.
struct gdi_table_row {
  uint64_t object;
  uint32_t owner;
  uint16_t unique;
  uint8_t type;
  uint8_t flags;
  uint64_t user;
};
static_assert(sizeof(gdi_table_row) == 24, "the table's row layout");
constexpr size_t kGdiTableRows = 0x10000;

// Wine's GetGuiResources counts nothing; Wine keeps a GDI handle table per process, so its rows in
// use are the process's GDI objects. 64-bit only (the bench reads a process of its own bitness).
DWORD gdi_rows_in_use(HANDLE process) {
  if (sizeof(void*) != 8) return 0;
  PROCESS_BASIC_INFORMATION basic = {};
  if (::NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0 ||
      basic.PebBaseAddress == nullptr)
    return 0;
  void* table = nullptr;
  const char* peb_table_field = reinterpret_cast<const char*>(basic.PebBaseAddress) + 0xF8;
  if (!::ReadProcessMemory(process, peb_table_field, &table, sizeof(table), nullptr) || table == nullptr) return 0;
  std::vector<gdi_table_row> rows(kGdiTableRows);
  SIZE_T got = 0;
  ::ReadProcessMemory(process, table, rows.data(), rows.size() * sizeof(gdi_table_row), &got);
  DWORD in_use = 0;
  for (size_t i = 0; i < got / sizeof(gdi_table_row); ++i) in_use += rows[i].type != 0;
  return in_use;
}

}  // namespace

// Wine answers the per-process memory queries only for the calling process; the system's process
// list carries every process's handle count and memory counters.
process_usage usage_of(DWORD pid) {
  process_usage u;
  ULONG size = 1 << 20;
  std::vector<unsigned char> buffer;
  NTSTATUS status;
  do {
    buffer.resize(size);
    status = ::NtQuerySystemInformation(SystemProcessInformation, buffer.data(), size, &size);
    size *= 2;
  } while (status == static_cast<NTSTATUS>(0xC0000004L));  // length mismatch
  if (status != 0) return u;
  for (size_t offset = 0;;) {
    auto* p = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
    if (reinterpret_cast<ULONG_PTR>(p->UniqueProcessId) == pid) {
      u.handles = p->HandleCount;
      u.private_bytes = p->PrivatePageCount;
      u.working_set = p->VirtualMemoryCounters.WorkingSetSize;
      if (u.private_bytes == 0) u.private_bytes = p->VirtualMemoryCounters.PagefileUsage;
      break;
    }
    if (p->NextEntryOffset == 0) break;
    offset += p->NextEntryOffset;
  }
  HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (process != nullptr) {
    u.gdi_objects = ::GetGuiResources(process, GR_GDIOBJECTS);
    if (u.gdi_objects == 0) u.gdi_objects = gdi_rows_in_use(process);
    u.user_objects = ::GetGuiResources(process, GR_USEROBJECTS);
    ::CloseHandle(process);
  }
  return u;
}

}  // namespace wine_test
