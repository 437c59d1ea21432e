// Splitting the system's setup log into complete lines. No Windows call here.
#pragma once

#include <stddef.h>

// Calls line(text, length, context) for every complete line of data[0, size): a carriage return or
// line feed ends a line and a run of them is one separator; empty lines are not reported. A last
// piece without its line end is kept for later. Returns the number of bytes consumed, which ends at
// the start of that piece (or at size when there is none).
size_t split_syslog_lines(const char* data, size_t size,
                          void (*line)(const char* text, size_t length, void* context), void* context);

// True for the marker lines the setup log uses for its own sections; they are never relayed.
bool is_syslog_marker(const char* text, size_t length);
