// Messages from the installer program: what the engine does with each one it reads from the pipe.
// No Windows call here; the replies leave through two functions that the Windows build implements
// (pipe_replies.cpp) and host tests replace.
#pragma once

#include <stdint.h>

#include "engine/enumeration/device_list.h"

#ifdef __cplusplus
extern "C" {
#endif

// Handles one message of `length` bytes. The buffer must hold length + 1 bytes: text is terminated
// at buffer[length]. 0: keep reading; any other value ends the run with that status.
int process_message(char* buffer, uint32_t length);

// State of the running installation, read by process_message.
extern struct wdi_device_entry* active_device;  // null outside a run
extern int32_t active_filter_mode;              // never reset between runs
extern int32_t active_unattended;               // the run's wdi_install_options.unattended
extern int32_t install_restart_needed;          // the installer reported a needed restart
extern int32_t install_refused_by_policy;       // the installer reported a policy's refusal
// The installer said it completed, and then sent its status: nothing it sends later can change the
// run's result, so the run ends there (with a status of 0 too). Both reset at the start of a run.
extern int32_t installer_completed;
extern int32_t installer_status_final;
extern int32_t installer_status_received;       // the installer sent its status (reset per run)
// Milliseconds a pending read may stay silent; deliberately kept across runs.
extern uint32_t pipe_read_timeout;

#define PIPE_READ_TIMEOUT_FINITE 10000u
#define PIPE_READ_TIMEOUT_INFINITE 0xFFFFFFFFu

// The allowance that the installer's "finite" message switches back to: PIPE_READ_TIMEOUT_FINITE
// unless a test shortened it.
uint32_t pipe_read_timeout_finite(void);
// Test hook, never called by the product: replaces the finite allowance, and the allowance in
// force, so that time-out cases end in a fraction of a second; 0 restores PIPE_READ_TIMEOUT_FINITE.
void pipe_read_timeout_for_tests(uint32_t finite_ms);

// Writes one reply message to the installer (its result is not examined).
void send_installer_reply(const char* data, uint32_t length);
// The current user's SID in string form (C heap, caller frees), or null.
char* current_user_sid_text(void);

#ifdef __cplusplus
}
#endif
