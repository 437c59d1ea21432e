// Helpers of the enumeration tests: lists that free themselves, lookups, and the engine's log
// captured from standard error.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/common/log.h"
#include "engine/common/status.h"
#include "engine/enumeration/device_list.h"
#include "probe_lab.h"

namespace enum_test {

struct owned_list {
  wdi_device_entry* head = nullptr;
  int status = 1;
  explicit owned_list(const wdi_list_options* options) { status = wdi_create_list(&head, options); }
  owned_list(int installed, int hubs, int trim) {
    wdi_list_options o = {installed, hubs, trim};
    status = wdi_create_list(&head, &o);
  }
  ~owned_list() { wdi_destroy_list(head); }
  owned_list(const owned_list&) = delete;
  owned_list& operator=(const owned_list&) = delete;

  const wdi_device_entry* find(const std::string& instance_id) const {
    for (const wdi_device_entry* e = head; e != nullptr; e = e->next_entry) {
      if (e->instance_id != nullptr && instance_id == e->instance_id) return e;
    }
    return nullptr;
  }
  bool has(const std::string& instance_id) const { return find(instance_id) != nullptr; }
};

// Everything the engine writes to standard error while it lives, at debug level.
class log_capture {
 public:
  log_capture() {
    char dir[MAX_PATH], name[MAX_PATH];
    ::GetTempPathA(MAX_PATH, dir);
    ::GetTempFileNameA(dir, "vlg", 0, name);
    path_ = name;
    std::fflush(stderr);
    saved_fd_ = _dup(2);
    int fd = _open(name, _O_WRONLY | _O_TRUNC | _O_BINARY);
    _dup2(fd, 2);
    _close(fd);
    saved_level_ = engine_log_level;
    engine_log_level = LOG_DEBUG;
  }
  ~log_capture() {
    stop();
    ::DeleteFileA(path_.c_str());
  }
  // The captured text; capture ends here.
  std::string text() {
    stop();
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  void stop() {
    if (saved_fd_ < 0) return;
    std::fflush(stderr);
    _dup2(saved_fd_, 2);
    _close(saved_fd_);
    saved_fd_ = -1;
    engine_log_level = saved_level_;
  }
  std::string path_;
  int saved_fd_ = -1;
  int saved_level_ = LOG_INFO;
};

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A node of the lab with the given instance ID and a few fields.
inline velmor_lab::node_spec node(const std::string& id, const std::string& service = "", bool driver = false,
                                  const std::string& version = "") {
  velmor_lab::node_spec n;
  n.instance_id = id;
  n.service = service;
  n.driver_key = driver;
  n.driver_version = version;
  n.device_desc = "Lab device";
  return n;
}

}  // namespace enum_test
