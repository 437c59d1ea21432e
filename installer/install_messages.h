// The installer's reading of Windows errors: logged explanation and status, and the system's text.
#pragma once

#include <stdint.h>

// Logs what the device installer's error code means (the INF path fills the lines that name it)
// and returns the status it gives; an unknown code logs its number and system text and gives -99.
int map_install_error(uint32_t code, const char* inf_path);

// "[<code>] <system text>" in a process-wide 256-byte buffer; 0 stands for the last error.
const char* installer_error_text(uint32_t code);
