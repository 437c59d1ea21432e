#include "engine/common/squatted_mutex.h"

#include "engine/common/log.h"
#include "win/mutex_owner.h"

void log_squatted_mutex(const char* caller, const char* name) {
  char line[512] = {};
  if (velmor::squatted_mutex_line(name, line, sizeof(line))) engine_log(LOG_ERROR, caller, "%s", line);
}
