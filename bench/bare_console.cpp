// The floors of install_bench for the installer program. Built as bare_console: a console program
// that ends at once. Built as installer_like_console: one that first does what the installer
// program must do before its own work, so that a floor can tell the cost of that start apart: load
// the device installer's modules from the system folder and enter a single-threaded COM apartment.
#include <windows.h>
#include <objbase.h>

#include <string>

int main() {
#ifdef VELMOR_LIKE_INSTALLER
  char system[MAX_PATH] = {};
  ::GetSystemDirectoryA(system, MAX_PATH);
  for (const char* name : {"setupapi.dll", "cfgmgr32.dll", "newdev.dll"}) {
    ::LoadLibraryA((std::string(system) + "\\" + name).c_str());
  }
  HMODULE ole = ::LoadLibraryA((std::string(system) + "\\ole32.dll").c_str());
  using initialize_fn = HRESULT(WINAPI*)(void*, DWORD);
  using uninitialize_fn = void(WINAPI*)();
  auto initialize = reinterpret_cast<initialize_fn>(
      reinterpret_cast<void*>(ole != nullptr ? ::GetProcAddress(ole, "CoInitializeEx") : nullptr));
  auto uninitialize = reinterpret_cast<uninitialize_fn>(
      reinterpret_cast<void*>(ole != nullptr ? ::GetProcAddress(ole, "CoUninitialize") : nullptr));
  if (initialize != nullptr && SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED)) && uninitialize != nullptr) {
    uninitialize();
  }
#endif
  return 0;
}
