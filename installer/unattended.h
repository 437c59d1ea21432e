// What an installation tells the engine beyond its status: a restart an unattended installation
// needs, and a policy's refusal.
#pragma once

// Tells the engine that the installation succeeded and needs a restart to finish.
void report_restart_needed();

// The device installer's answer when a device installation policy forbids the device (not in
// MinGW's headers).
constexpr unsigned long kPolicyRefusal = 0xE0000248ul;
// Tells the engine that such a policy refused the installation, so that the administrator is told
// which devices to allow.
void report_policy_refusal();
