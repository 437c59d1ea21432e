// What the tool may leave on the machine of a test prefix after a run: its protected folders, its
// key containers, its installer processes and its journal's records. The recovery and console-stop
// tests read them after a run ended early.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace wine_test {

// The folders "Velmor-<hex digits>" in <Windows>\Temp (benchmarks leave folders of other names
// there), empty ones too.
std::vector<std::string> protected_folders();
// The machine key containers named "Velmor key ..." ("(cannot enumerate)" when they cannot be
// listed).
std::vector<std::string> tool_key_containers();
// The running installer programs (either build).
std::vector<DWORD> installers_running();
// Ends every running installer program.
void end_installers();
// The names recorded in a section of the engine's journal ("Key containers", "Restore setting").
std::vector<std::string> journal_records(const char* section);
// The items separated by spaces, for a message.
std::string joined(const std::vector<std::string>& items);

}  // namespace wine_test
