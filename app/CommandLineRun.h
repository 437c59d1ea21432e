// The program started with arguments: a command without the dialog (see CommandLine.h).
#pragma once

// Runs the command the program's command line names and sets the exit code; false when the
// command line has no arguments (the dialog opens then).
bool RunCommandLine(int* exit_code);
