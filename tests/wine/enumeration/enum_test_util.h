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

#include "engine_log_capture.h"
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

// Everything the engine logs while it lives, at every level.
using log_capture = wine_test::engine_log_capture;

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
