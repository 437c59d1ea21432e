// The unattended installation: whether the engine wants one, and the restart and the policy
// refusal it must hear of.
#pragma once

// Asks the engine over the pipe; true only for its explicit "1" (an engine that does not know the
// request, or any failure, leaves the interactive installation).
bool ask_unattended();

// Tells the engine that the installation succeeded and needs a restart to finish.
void report_restart_needed();

// The device installer's answer when a device installation policy forbids the device (not in
// MinGW's headers).
constexpr unsigned long kPolicyRefusal = 0xE0000248ul;
// Tells the engine that such a policy refused the installation, so that the administrator is told
// which devices to allow.
void report_policy_refusal();
