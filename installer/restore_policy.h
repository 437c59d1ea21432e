// Switching system-restore-point creation off by local policy for the duration of an
// installation, and putting the setting back afterwards.
#pragma once

// Disables (true) or puts back (false) the setting, logging each step that fails over the pipe.
// Does nothing on systems before Vista. True on success (value written and policy saved); only a
// successful switch-off is to be put back. The first switch-off keeps the value found in
// saved_restore_setting; putting back writes that, or deletes the value when none was found.
bool set_restore_point_policy(bool disable);
