// Detection of the Windows version the other engine parts branch on.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// (major << 4) | minor of Windows NT, 0 before 5.1, -1 until detected (or when detection failed).
extern int windows_version_code;
// "Windows Undefined" until detected, then e.g. "Windows 8.1 32 bit (Build 9600)".
extern char windows_version_text[128];

// Fills windows_version_code and windows_version_text. Callers call it when they find the code at -1.
void detect_windows_version(void);

// Reads HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion "CurrentBuildNumber" into a 10-byte
// buffer; empty when missing, of another type, or too long.
void read_build_number(char build[10]);

#ifdef __cplusplus
}
#endif
