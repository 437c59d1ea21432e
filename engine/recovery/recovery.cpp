#include "engine/recovery/recovery.h"

#include <windows.h>

#include "engine/install/install.h"
#include "engine/recovery/recovery_internal.h"
#include "engine/signing/key_container.h"
#include "win/handles.h"

extern "C" void recover_before_preparation(void) {
  delete_recorded_key_containers();
  // The restore setting only when no installation runs anywhere: a live one holds it switched off.
  velmor::unique_handle installing(::CreateMutexA(nullptr, TRUE, WDI_INSTALL_MUTEX_NAME));
  if (installing && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    velmor::recovery::put_back_dead_runs_restore_setting();
  }
  installing.reset();
  velmor::recovery::remove_dead_protected_folders();
}

extern "C" void recover_before_installation(void) {
  // First the dead run's installer (it may still run from its folder), then its folder.
  velmor::recovery::put_back_dead_runs_restore_setting();
  velmor::recovery::remove_dead_protected_folders();
}
