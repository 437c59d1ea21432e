// probe_lab.exe: the lab's command line (see probe_lab.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "probe_lab.h"

namespace {

int usage() {
  std::fputs(
      "usage: probe_lab plant-probe --instance P [--miN none|usbser|winusb|other|service=NAME]...\n"
      "                 [--mi3-compat ID] [--port0 COMn] [--port4 COMn] [--absent N]... [--no-parent]\n"
      "                 [--desc TEXT] [--version V]\n"
      "       probe_lab unplug --instance P\n"
      "       probe_lab plant --id ID [--service NAME] [--driver] [--version V] [--desc TEXT]\n"
      "                 [--bus-desc TEXT] [--hwid ID]... [--compat ID]... [--upper NAME]... [--class-guid G]\n"
      "                 [--no-hwid]\n"
      "       probe_lab remove --id ID\n"
      "       probe_lab clear\n"
      "       probe_lab list\n",
      stderr);
  return 2;
}

// Option values: argv[i + 1] of "--name value" pairs; flags take none.
struct args {
  int argc;
  char** argv;
  int i = 2;
  const char* value() { return i + 1 < argc ? argv[++i] : nullptr; }
};

int plant_probe(args a) {
  velmor_lab::probe_spec probe;
  for (; a.i < a.argc; ++a.i) {
    std::string opt = a.argv[a.i];
    if (opt == "--no-parent") {
      probe.parent = false;
      continue;
    }
    const char* v = a.value();
    if (v == nullptr) return usage();
    if (opt == "--instance") {
      probe.instance = v;
    } else if (opt.size() == 5 && opt.compare(0, 4, "--mi") == 0 && opt[4] >= '0' && opt[4] <= '4') {
      if (!velmor_lab::parse_driver_state(v, probe.mi[opt[4] - '0'])) return usage();
    } else if ((opt == "--port0" || opt == "--port4")) {
      probe.mi[opt[6] - '0'].port = v;
    } else if (opt == "--mi3-compat") {
      probe.mi[3].first_compatible = std::string("USB\\") + v;
    } else if (opt == "--absent") {
      int n = std::atoi(v);
      if (n < 0 || n > 4) return usage();
      probe.mi[n].present = false;
    } else if (opt == "--desc") {
      probe.description = v;
    } else if (opt == "--version") {
      probe.driver_version = v;
    } else {
      return usage();
    }
  }
  if (probe.instance.empty()) return usage();
  return velmor_lab::plant_probe(probe) ? 0 : 1;
}

int plant(args a) {
  velmor_lab::node_spec node;
  for (; a.i < a.argc; ++a.i) {
    std::string opt = a.argv[a.i];
    if (opt == "--driver") {
      node.driver_key = true;
      continue;
    }
    if (opt == "--no-hwid") {
      node.no_hardware_id = true;
      continue;
    }
    const char* v = a.value();
    if (v == nullptr) return usage();
    if (opt == "--id") {
      node.instance_id = v;
    } else if (opt == "--service") {
      node.service = v;
    } else if (opt == "--version") {
      node.driver_key = true;
      node.driver_version = v;
    } else if (opt == "--desc") {
      node.device_desc = v;
    } else if (opt == "--bus-desc") {
      node.has_bus_desc = true;
      node.bus_desc = v;
    } else if (opt == "--hwid") {
      node.hardware_ids.push_back(v);
    } else if (opt == "--compat") {
      node.compatible_ids.push_back(v);
    } else if (opt == "--upper") {
      node.upper_filters.push_back(v);
    } else if (opt == "--class-guid") {
      node.class_guid = v;
    } else {
      return usage();
    }
  }
  if (node.instance_id.empty()) return usage();
  return velmor_lab::plant(node) ? 0 : 1;
}

// The value of the one option a command takes.
const char* single_option(args a, const char* name) {
  if (a.argc != 4 || std::strcmp(a.argv[2], name) != 0) return nullptr;
  return a.argv[3];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string command = argv[1];
  args a{argc, argv};
  if (command == "plant-probe") return plant_probe(a);
  if (command == "plant") return plant(a);
  if (command == "unplug") {
    const char* instance = single_option(a, "--instance");
    if (instance == nullptr) return usage();
    return velmor_lab::unplug_probe(instance) ? 0 : 1;
  }
  if (command == "remove") {
    const char* id = single_option(a, "--id");
    if (id == nullptr) return usage();
    return velmor_lab::remove(id) ? 0 : 1;
  }
  if (command == "clear" && argc == 2) {
    std::printf("%d\n", velmor_lab::clear());
    return 0;
  }
  if (command == "list" && argc == 2) {
    for (const std::string& id : velmor_lab::planted()) std::printf("%s\n", id.c_str());
    return 0;
  }
  return usage();
}
