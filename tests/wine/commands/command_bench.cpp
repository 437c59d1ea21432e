#include "command_bench.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <utility>

#include <userenv.h>

namespace cmd {

std::string read_utf16_file(const std::string& path) {
  std::string text = wine_test::utf16_bytes_to_utf8(wine_test::read_file(path));
  const char bom[] = "\xEF\xBB\xBF";
  if (text.compare(0, 3, bom) == 0) text.erase(0, 3);
  return text;
}

namespace {

const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

bool set_profiles_directory(const std::wstring& folder) {
  return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kProfileList, L"ProfilesDirectory", REG_EXPAND_SZ, folder.c_str(),
                           static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The profile folder of this process's user, read as the app reads it.
std::string token_profile() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  wchar_t profile[1024] = {};
  DWORD size = 1024;
  BOOL read = ::GetUserProfileDirectoryW(token, profile, &size);
  ::CloseHandle(token);
  return read ? wine_test::narrow(profile) : "";
}

}  // namespace

ProfileFolder::ProfileFolder() {
  wchar_t saved[1024] = {};
  DWORD size = sizeof(saved) - sizeof(wchar_t);
  had_value_ = ::RegGetValueW(HKEY_LOCAL_MACHINE, kProfileList, L"ProfilesDirectory", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                              RRF_NOEXPAND, nullptr, saved, &size) == ERROR_SUCCESS;
  saved_ = saved;
  path_ = move_profiles_to(profiles_.path());
  if (!path_.empty() && !::CreateDirectoryW(wine_test::widen(path_).c_str(), nullptr)) path_.clear();
}

ProfileFolder::~ProfileFolder() {
  if (had_value_) {
    set_profiles_directory(saved_);
  } else {
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kProfileList, L"ProfilesDirectory");
  }
}

std::string ProfileFolder::move_profiles_to(const std::string& folder) {
  return set_profiles_directory(wine_test::widen(folder)) ? token_profile() : "";
}

bool ProfileFolder::write(const std::string& relative, const std::string& content) const {
  return wine_test::write_file(*this / relative, content);
}

namespace {

std::wstring widen(const std::string& utf8) {
  int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], n);
  return wide;
}

// The environment block of this process with USERPROFILE replaced or removed.
std::wstring environment_with_profile(const LaunchOptions& options) {
  std::wstring block;
  wchar_t* env = ::GetEnvironmentStringsW();
  for (const wchar_t* p = env; *p != L'\0'; p += std::wcslen(p) + 1) {
    if (::_wcsnicmp(p, L"USERPROFILE=", 12) == 0) continue;
    block.append(p).push_back(L'\0');
  }
  ::FreeEnvironmentStringsW(env);
  if (options.set_profile) {
    block.append(L"USERPROFILE=");
    block.append(widen(options.profile));
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

// The app's build with short pauses between attempts, beside the real one.
std::string quick_retry_exe() {
  std::string real = gui::app_exe_path();
  return real.substr(0, real.size() - 4) + ".quick_retry.exe";
}

// A copy of the app that Wine reports `version` to; empty on failure.
std::string versioned_copy(const std::string& version) {
  std::string name = "Velmor_VirtualCOM_DriverInstall.cmd_" + version + ".exe";
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string folder(self);
  folder = folder.substr(0, folder.find_last_of("\\/") + 1);
  std::string copy = folder + name;
  if (!::CopyFileA(quick_retry_exe().c_str(), copy.c_str(), FALSE)) return "";
  HKEY key = nullptr;
  std::string sub = "Software\\Wine\\AppDefaults\\" + name;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != 0)
    return "";
  ::RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>(version.size() + 1));
  ::RegCloseKey(key);
  return copy;
}

UINT icon_of(HWND box) {
  struct Known {
    LPCSTR id;
    UINT flag;
  };
  const Known known[] = {{IDI_ERROR, MB_ICONERROR}, {IDI_INFORMATION, MB_ICONINFORMATION},
                         {IDI_WARNING, MB_ICONWARNING}, {IDI_QUESTION, MB_ICONQUESTION}};
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (gui::class_name(child) != L"Static" || (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    HICON shown = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
    for (const Known& k : known) {
      if (shown != nullptr && shown == ::LoadIconA(nullptr, k.id)) return k.flag;
    }
  }
  return 0;
}

}  // namespace

namespace {

std::wstring wide(const std::string& text, UINT code_page) {
  int n = ::MultiByteToWideChar(code_page, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring w(static_cast<size_t>(n - 1), L'\0');
  ::MultiByteToWideChar(code_page, 0, text.c_str(), -1, &w[0], n);
  return w;
}

HANDLE inheritable_output(const std::string& path) {
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  return ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS, 0,
                       nullptr);
}

}  // namespace

bool launch_app(gui::App& app, const LaunchOptions& options) {
  std::string exe = options.version.empty() ? quick_retry_exe() : versioned_copy(options.version);
  if (exe.empty()) return false;
  std::wstring env = environment_with_profile(options);

  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  HANDLE log = INVALID_HANDLE_VALUE;
  HANDLE out = INVALID_HANDLE_VALUE;
  if (!options.log_path.empty()) {
    log = inheritable_output(options.log_path);
    if (log == INVALID_HANDLE_VALUE) return false;
    out = options.stdout_path.empty() ? log : inheritable_output(options.stdout_path);
    if (out == INVALID_HANDLE_VALUE) {
      ::CloseHandle(log);
      return false;
    }
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = log;
  }
  PROCESS_INFORMATION pi = {};
  std::wstring exe_w = wide(exe, CP_ACP);
  std::wstring cl = L"\"" + exe_w + L"\"";
  if (!options.arguments.empty()) cl += L" " + wide(options.arguments, CP_UTF8);
  std::wstring cwd = wide(options.current_directory, CP_UTF8);
  bool ok = wine_test::start_with_retries([&] {
    const wchar_t* folder = cwd.empty() ? nullptr : cwd.c_str();
    return ::CreateProcessW(exe_w.c_str(), &cl[0], nullptr, nullptr, log != INVALID_HANDLE_VALUE,
                            CREATE_UNICODE_ENVIRONMENT, &env[0], folder, &si, &pi) != FALSE;
  });
  if (out != log && out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
  if (log != INVALID_HANDLE_VALUE) ::CloseHandle(log);
  if (!ok) return false;
  ::CloseHandle(pi.hThread);
  app.process = pi.hProcess;
  app.pid = pi.dwProcessId;
  return true;
}

bool start_app(gui::App& app, const LaunchOptions& options) {
  if (!launch_app(app, options)) return false;
  app.dialog = gui::wait_window(gui::kMainCaption, app.pid, 15000);
  return app.dialog != nullptr;
}

namespace {

BOOL CALLBACK find_box_window(HWND window, LPARAM lp) {
  auto* search = reinterpret_cast<std::pair<const gui::App*, bool>*>(lp);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != search->first->pid || window == search->first->dialog) return TRUE;
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  search->second = std::wcscmp(name, L"#32770") == 0;
  return search->second ? FALSE : TRUE;
}

// The box that follows a closed one, or null when the command showed its last. The dialog's thread
// answers a sent message only from a message loop, and runs none between two boxes of a command:
// once it has answered, a following box exists, though perhaps not shown yet.
HWND next_box(const gui::App& app) {
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(app.dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
  std::pair<const gui::App*, bool> search{&app, false};
  ::EnumWindows(find_box_window, reinterpret_cast<LPARAM>(&search));
  return search.second ? gui::wait_message_box(app.pid, app.dialog, 5000) : nullptr;
}

}  // namespace

std::vector<Box> collect_boxes(const gui::App& app, size_t count, DWORD timeout_ms) {
  std::vector<Box> boxes;
  DWORD start = ::GetTickCount();
  while (boxes.size() < count) {
    // The boxes of one command follow each other at once; only the first one waits for the work.
    HWND found = boxes.empty() ? gui::wait_message_box(app.pid, app.dialog, timeout_ms) : next_box(app);
    if (found == nullptr) break;
    Box box;
    box.after_ms = ::GetTickCount() - start;
    // A box can be seen before the dialog manager has filled in its caption and text.
    gui::wait_until([&] { return !gui::window_text(found).empty() && !gui::message_box_text(found).empty(); }, 2000);
    box.caption = gui::window_text(found);
    box.text = gui::message_box_text(found);
    box.owned_by_dialog = ::GetWindow(found, GW_OWNER) == app.dialog;
    box.only_ok = ::GetDlgItem(found, IDOK) != nullptr && ::GetDlgItem(found, IDCANCEL) == nullptr &&
                  ::GetDlgItem(found, IDYES) == nullptr && ::GetDlgItem(found, IDNO) == nullptr;
    box.icon = icon_of(found);
    boxes.push_back(box);
    gui::close_message_box(found);
    gui::wait_until([&] { return !::IsWindow(found) || !::IsWindowVisible(found); }, 5000);
  }
  return boxes;
}

void set_check(HWND dialog, int id, bool checked) {
  if ((gui::check_state(dialog, id) == BST_CHECKED) != checked) {
    gui::click(dialog, id);
    gui::wait_until([&] { return (gui::check_state(dialog, id) == BST_CHECKED) == checked; }, 3000);
  }
}

velmor_lab::probe_spec bare_probe(const std::string& instance, const std::string& mi3_compat) {
  velmor_lab::probe_spec probe;
  probe.instance = instance;
  if (!mi3_compat.empty()) probe.mi[3].first_compatible = "USB\\" + mi3_compat;
  return probe;
}

bool plant_tagged_probe(const char* instance, const char* rev) {
  if (!velmor_lab::plant_probe(bare_probe(instance))) return false;
  for (int n : {0, 3, 4}) {
    velmor_lab::node_spec node;
    node.instance_id = velmor_lab::probe_interface_id(instance, n);
    node.device_desc = "Korvex";
    node.has_bus_desc = true;
    node.bus_desc = "Korvex";
    std::string mi = "&MI_0" + std::to_string(n);
    node.hardware_ids = {std::string("USB\\VID_2E3C&PID_F000&REV_") + rev + mi, "USB\\VID_2E3C&PID_F000" + mi};
    if (!velmor_lab::plant(node)) return false;
  }
  return true;
}

bool wait_uid(HWND dialog, const std::wstring& uid, DWORD timeout_ms) {
  return gui::wait_until([&] { return gui::control_text(dialog, IDC_UID_EDIT) == uid; }, timeout_ms);
}

std::string service_of(const std::string& instance_id) {
  return wine_test::registry_string(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Enum\\" + instance_id, "Service");
}

void select_row(HWND dialog, int row) {
  HWND combo = gui::control(dialog, IDC_PROBE_COMBO);
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PROBE_COMBO, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

}  // namespace cmd
