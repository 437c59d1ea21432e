// The engine's log lines of one scope, as its log receiver gets them: every line of `min_level`
// and above, whatever the streams' level is, each ending in "\n", in the order they were logged.
// One capture at a time (the receiver is the engine's one second destination).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "engine/common/log.h"

namespace wine_test {

class engine_log_capture {
 public:
  explicit engine_log_capture(int min_level = LOG_DEBUG) {
    held hold;
    state().lines.clear();
    state().min_level = min_level;
    engine_log_set_receiver(&receive);
  }
  // Not a level: the captures this one replaced took a flag here.
  explicit engine_log_capture(bool) = delete;
  ~engine_log_capture() { engine_log_set_receiver(nullptr); }
  engine_log_capture(const engine_log_capture&) = delete;
  engine_log_capture& operator=(const engine_log_capture&) = delete;

  // Everything captured so far (the capture goes on).
  std::string text() const {
    held hold;
    return state().lines;
  }
  bool has(const std::string& piece) const { return text().find(piece) != std::string::npos; }
  int count(const std::string& piece) const {
    const std::string all = text();
    int n = 0;
    for (size_t at = all.find(piece); at != std::string::npos; at = all.find(piece, at + 1)) ++n;
    return n;
  }

 private:
  // The thread model of this toolchain has no std::mutex: a critical section, never deleted (the
  // engine's threads may log until the process ends).
  struct shared {
    CRITICAL_SECTION lock;
    std::string lines;
    int min_level = LOG_DEBUG;
    shared() { ::InitializeCriticalSection(&lock); }
  };
  struct held {
    held() { ::EnterCriticalSection(&state().lock); }
    ~held() { ::LeaveCriticalSection(&state().lock); }
    held(const held&) = delete;
    held& operator=(const held&) = delete;
  };
  static shared& state() {
    static shared instance;
    return instance;
  }
  // The engine logs from two threads at once.
  static void receive(int level, const char* line) {
    held hold;
    if (level < state().min_level) return;
    state().lines += line;
    state().lines += '\n';
  }
};

}  // namespace wine_test
