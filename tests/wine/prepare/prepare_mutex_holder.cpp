// Test helper: holds the machine-wide preparation mutex until told to let go.
//   prepare_mutex_holder <ready event> <release event>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HANDLE mutex = ::CreateMutexA(nullptr, TRUE, "Global\\wdi_prepare_driver");
  if (mutex == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) return 3;
  HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
  HANDLE release = ::OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
  if (ready == nullptr || release == nullptr) return 4;
  ::SetEvent(ready);
  ::WaitForSingleObject(release, 30000);
  ::CloseHandle(release);
  ::CloseHandle(ready);
  ::CloseHandle(mutex);
  return 0;
}
