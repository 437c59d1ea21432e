// What a run of the app may leave on the machine when it is ended early: the protected package
// folders in the Windows folder's Temp, key containers of the tool, installer processes, and
// records in the engine's journal.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace cmd {

// The tool's protected folders ("Velmor-" and hex digits) in <Windows>\Temp.
std::vector<std::string> protected_folders();
// Machine key containers whose names begin with "Velmor key ".
std::vector<std::string> tool_key_containers();
// Process IDs of running installer_x64.exe / installer_x86.exe.
std::vector<DWORD> installers_running();
// The names recorded in a section of the engine's journal ("Key containers", "Restore setting").
std::vector<std::string> journal_records(const char* section);
// Ends every running installer process.
void end_installers();

// "a b c " for a failure message.
std::string joined(const std::vector<std::string>& items);

}  // namespace cmd
