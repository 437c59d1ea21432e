// What a run that was killed, crashed or lost its power left on the machine, found and undone by
// the next run before it changes anything itself: the protected folders no live run holds, the key
// containers and the restore-point setting the record names. Only what no live run can own is
// touched: the preparation's and the installation's machine-wide mutexes say no other run is at
// that step, and a live run holds its folder open. One log line per thing undone.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// At the start of a preparation, with its mutex held.
void recover_before_preparation(void);
// At the start of an installation, with its mutex held.
void recover_before_installation(void);

#ifdef __cplusplus
}
#endif
