// The read allowance the time-out tests give the runner (pipe_read_timeout_for_tests), and how
// long the scripted installer stays silent to outlast it: long enough that a runner still on the
// finite allowance would give up first, short enough that no case waits a second.
#pragma once

namespace runner_test {

constexpr unsigned kShortAllowanceMs = 400;
constexpr unsigned kSilenceBeyondAllowanceMs = 2 * kShortAllowanceMs;

}  // namespace runner_test
