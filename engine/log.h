// The engine's one log function: "Velmor:<level> [<function>] <message>\n".
// Info lines go to standard output, every other level to standard error.
#pragma once

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

enum wdi_log_level { LOG_DEBUG = 0, LOG_INFO = 1, LOG_WARNING = 2, LOG_ERROR = 3 };

// Lines below this level are dropped (signed compare). Starts at LOG_INFO.
extern int engine_log_level;

#if defined(__MINGW32__)
#define ENGINE_LOG_FORMAT __MINGW_PRINTF_FORMAT
#else
#define ENGINE_LOG_FORMAT printf
#endif

void engine_log(int level, const char* function, const char* format, ...)
    __attribute__((format(ENGINE_LOG_FORMAT, 3, 4)));

// A second destination of the log: receives every line at every level, whatever engine_log_level
// says, as "Velmor:<level> [<function>] <message>" without the line end. Called on the logging
// thread (the engine logs from two threads at once): the receiver serialises its own writes.
// Null (the default): the streams alone.
typedef void (*engine_log_receiver)(int level, const char* line);
void engine_log_set_receiver(engine_log_receiver receiver);

#ifdef __cplusplus
}
#endif

// Engine code logs under its own function name.
#define wdi_dbg(...) engine_log(LOG_DEBUG, __func__, __VA_ARGS__)
#define wdi_info(...) engine_log(LOG_INFO, __func__, __VA_ARGS__)
#define wdi_warn(...) engine_log(LOG_WARNING, __func__, __VA_ARGS__)
#define wdi_err(...) engine_log(LOG_ERROR, __func__, __VA_ARGS__)
