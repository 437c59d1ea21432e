#include "engine/common/windows_version.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "engine/common/system.h"
#include "win/handles.h"
#include "win/registry.h"
#include "win/system_module.h"

int windows_version_code = -1;
char windows_version_text[128] = "Windows Undefined";

namespace {

constexpr char kPrefix[] = "Windows ";

// Windows 8.1 and later report 6.2 to programs that do not declare them; ask VerifyVersionInfo.
void correct_underreported_version(OSVERSIONINFOEXA& vi) {
  if (!((vi.dwMajorVersion > 6 || (vi.dwMajorVersion == 6 && vi.dwMinorVersion >= 2)) &&
        vi.dwMajorVersion <= 9))
    return;
  for (DWORD major = vi.dwMajorVersion; major <= 9; ++major) {
    OSVERSIONINFOEXA probe = {};
    probe.dwOSVersionInfoSize = sizeof(probe);
    probe.dwMajorVersion = major;
    ULONGLONG mask = ::VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL);
    if (!::VerifyVersionInfoA(&probe, VER_MAJORVERSION, mask)) continue;
    if (major > vi.dwMajorVersion) {
      vi.dwMajorVersion = major;
      vi.dwMinorVersion = 0;
    }
    for (DWORD minor = vi.dwMinorVersion; minor <= 9; ++minor) {
      OSVERSIONINFOEXA mprobe = {};
      mprobe.dwOSVersionInfoSize = sizeof(mprobe);
      mprobe.dwMinorVersion = minor;
      ULONGLONG mmask = ::VerSetConditionMask(0, VER_MINORVERSION, VER_EQUAL);
      if (::VerifyVersionInfoA(&mprobe, VER_MINORVERSION, mmask)) {
        vi.dwMinorVersion = minor;
        break;
      }
    }
    return;
  }
}

const char* version_name(int code, bool workstation) {
  switch (code) {
    case 0x51: return "XP";
    case 0x52: return ::GetSystemMetrics(SM_SERVERR2) != 0 ? "2003_R2" : "2003";
    case 0x60: return workstation ? "Vista" : "2008";
    case 0x61: return workstation ? "7" : "2008_R2";
    case 0x62: return workstation ? "8" : "2012";
    case 0x63: return workstation ? "8.1" : "2012_R2";
    case 0x64: return workstation ? "10 (Preview 1)" : "Server 10 (Preview 1)";
    case 0xA0: return workstation ? "10" : "Server 10";
    default: return code >= 0x51 ? "11 or later" : nullptr;
  }
}

const char* bitness_word() { return velmor::running_under_wow64() ? "64-bit" : "32 bit"; }

// Appends to windows_version_text, keeping at most 127 characters.
void append(const char* text) {
  size_t len = std::strlen(windows_version_text);
  std::snprintf(windows_version_text + len, sizeof(windows_version_text) - len, "%s", text);
}

}  // namespace

extern "C" void read_build_number(char build[10]) {
  std::memset(build, 0, 10);
  static const char kPath[] = "Microsoft\\Windows NT\\CurrentVersion\\CurrentBuildNumber";
  const char* last = std::strrchr(kPath, '\\');
  char key_path[128];
  std::snprintf(key_path, sizeof(key_path), "SOFTWARE\\%.*s", static_cast<int>(last - kPath), kPath);

  velmor::unique_hkey key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  velmor::read_registry_string(key.get(), last + 1, build, 10);  // left empty when unreadable
}

extern "C" void detect_windows_version(void) {
  windows_version_code = -1;
  std::snprintf(windows_version_text, sizeof(windows_version_text), "Windows Undefined");

  OSVERSIONINFOEXA vi = {};
  vi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&vi))) {
    vi = {};
    vi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&vi))) return;
  }
#pragma GCC diagnostic pop

  const char* name = nullptr;
  const bool nt = vi.dwPlatformId == VER_PLATFORM_WIN32_NT;
  if (nt) {
    correct_underreported_version(vi);
    if (vi.dwMajorVersion <= 15 && vi.dwMinorVersion <= 15) {
      windows_version_code = static_cast<int>((vi.dwMajorVersion << 4) | vi.dwMinorVersion);
      name = version_name(windows_version_code, vi.wProductType <= VER_NT_WORKSTATION);
      if (windows_version_code < 0x51) windows_version_code = 0;
    }
  }

  const char* bits = bitness_word();
  char description[118];
  if (name != nullptr && vi.wServicePackMinor != 0) {
    std::snprintf(description, sizeof(description), "%s SP%u.%u %s", name, vi.wServicePackMajor,
                  vi.wServicePackMinor, bits);
  } else if (name != nullptr && vi.wServicePackMajor != 0) {
    std::snprintf(description, sizeof(description), "%s SP%u %s", name, vi.wServicePackMajor, bits);
  } else if (name != nullptr) {
    std::snprintf(description, sizeof(description), "%s %s", name, bits);
  } else {
    std::snprintf(description, sizeof(description), "%s %lu.%lu %s", nt ? "NT" : "??",
                  static_cast<unsigned long>(vi.dwMajorVersion), static_cast<unsigned long>(vi.dwMinorVersion),
                  bits);
  }
  std::snprintf(windows_version_text, sizeof(windows_version_text), "%s%s", kPrefix, description);

  if (windows_version_code >= 0x62) {
    char build[10];
    read_build_number(build);
    if (build[0] != '\0') {
      append(" (Build ");
      append(build);
      append(")");
    }
  }
}
