// The decisions of the install and extract commands that need no window: the package folder under
// the user's profile, the retry loop, the generic-ID rule and the texts of the closing message boxes. No Windows calls: host tests use them as they are.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "app/InterfaceTable.h"

// Longest profile folder the commands accept: the read buffer holds 256 characters.
constexpr unsigned kProfileBufferSize = 256;

// The install folder "<profile>\<name>" from the result of reading the user's profile folder into
// a buffer of kProfileBufferSize characters: `read_result` is what the read returned (0 when
// unknown or empty, at least kProfileBufferSize when the value did not fit). 0 with the folder set, else a negative
// status: WDI_ST_MISSING for no value, WDI_ST_OVERRUN for a value too long to be read whole.
int ProfilePackageFolder(const char* profile, unsigned long read_result, const char* name, std::string* folder);

// Up to three attempts, stopping at the first that returns 0; after every failed attempt (the
// third too) `pause` is called with 2000 ms. The status of the last attempt.
int RunAttempts(const std::function<int()>& attempt, const std::function<void(unsigned)>& pause);

// The status of each interface after a command; 0 for one not chosen.
using InterfaceResults = PerInterface<int>;

// The course of an install command: each chosen interface in the install order with its attempts
// (RunAttempts). `chosen` is asked just before that interface's turn; `done`, when given, hears
// each handled interface's status as soon as it is known.
InterfaceResults InstallInOrder(const std::function<bool(const CommandInterface&)>& chosen,
                              const std::function<int(const CommandInterface&)>& attempt,
                              const std::function<void(unsigned)>& pause,
                              const std::function<void(const CommandInterface&, int)>& done);

// The generic-ID rule by version alone: Windows 7 (6.1) and later.
bool GenericIdByVersion(unsigned long major, unsigned long minor);

// True when a compatible ID starts with "USB\MS_COMP_" (case-sensitive); null never does.
bool IsMsCompatibleId(const char* compatible_id);

// One message box of a command's report.
struct CommandBox {
  std::string text;
  unsigned icon;  // MB_ICONINFORMATION (0x40) or MB_ICONERROR (0x10)
};

// The boxes for the statuses of the interfaces: one success box when all are 0, else one error box
// per failure in the table's order.
std::vector<CommandBox> InstallReport(const InterfaceResults& results);
std::vector<CommandBox> ExtractReport(const InterfaceResults& results);
