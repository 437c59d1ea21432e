#include "test_support.h"

namespace wine_test {

std::wstring widen(const std::string& utf8) {
  int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

std::string narrow(const std::wstring& text) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::string utf16_bytes_to_utf8(const std::string& bytes) {
  std::wstring w(bytes.size() / 2, L'\0');
  for (size_t i = 0; i < w.size(); ++i) {
    w[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return narrow(w);
}

std::string utf8_to_utf16_bytes(const std::string& text) {
  std::string bytes;
  for (wchar_t c : widen(text)) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
}

std::string last_error() {
  DWORD code = ::GetLastError();
  char text[512] = {};
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof(text), nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) text[--n] = '\0';
  std::string out = "GetLastError() = " + std::to_string(code);
  if (n > 0) out += std::string(" (") + text + ")";
  ::SetLastError(code);
  return out;
}

namespace {

// The path as the wide calls take it. Long absolute paths get the prefix that lifts MAX_PATH (which
// takes only backslashes and no empty segments); shorter ones stay as they are, so that the system
// normalises them as it does for the code under test.
std::wstring long_path(const std::string& path) {
  std::wstring w = widen(path);
  bool absolute = w.size() >= 3 && w[1] == L':' && (w[2] == L'\\' || w[2] == L'/');
  if (!absolute || w.size() < MAX_PATH - 12) return w;
  std::wstring out = L"\\\\?\\";
  for (wchar_t c : w) {
    if (c == L'/') c = L'\\';
    if (c == L'\\' && !out.empty() && out.back() == L'\\' && out.size() > 4) continue;
    out.push_back(c);
  }
  return out;
}

DWORD attributes_of(const std::string& path) { return ::GetFileAttributesW(long_path(path).c_str()); }

void create_parents(const std::string& path) {
  for (size_t slash = path.find_first_of("\\/", 3); slash != std::string::npos;
       slash = path.find_first_of("\\/", slash + 1)) {
    std::string parent = path.substr(0, slash);
    if (!is_directory(parent)) ::CreateDirectoryW(long_path(parent).c_str(), nullptr);
  }
}

void collect_files(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
  WIN32_FIND_DATAW found;
  std::string folder = relative.empty() ? root : root + "\\" + relative;
  HANDLE h = ::FindFirstFileW((long_path(folder) + L"\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = narrow(found.cFileName);
    if (name == "." || name == "..") continue;
    std::string rel = relative.empty() ? name : relative + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      collect_files(root, rel, out);
    } else {
      out.push_back(rel);
    }
  } while (::FindNextFileW(h, &found));
  ::FindClose(h);
}

}  // namespace

bool exists(const std::string& path) { return attributes_of(path) != INVALID_FILE_ATTRIBUTES; }

bool is_directory(const std::string& path) {
  DWORD a = attributes_of(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_file(const std::string& path) {
  DWORD a = attributes_of(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string read_file(const std::string& path) {
  HANDLE f = ::CreateFileW(long_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::string();
  std::string data;
  char chunk[65536];
  DWORD got = 0;
  while (::ReadFile(f, chunk, sizeof(chunk), &got, nullptr) && got > 0) data.append(chunk, got);
  ::CloseHandle(f);
  return data;
}

bool write_file(const std::string& path, const std::string& content) {
  create_parents(path);
  HANDLE f = ::CreateFileW(long_path(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = ::WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
            written == content.size();
  DWORD error = ::GetLastError();
  ::CloseHandle(f);
  ::SetLastError(error);
  return ok;
}

void remove_tree(const std::string& utf8_path) {
  std::string path = utf8_path;
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  std::wstring w = long_path(path);
  if (path.empty()) return;
  DWORD attributes = ::GetFileAttributesW(w.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(w.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE h = ::FindFirstFileW((w + L"\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      remove_tree(path + "\\" + narrow(name));
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
  }
  ::RemoveDirectoryW(w.c_str());
}

std::vector<std::string> list_files(const std::string& folder) {
  std::vector<std::string> out;
  collect_files(folder, "", out);
  return out;
}

std::string temp_root() {
  wchar_t dir[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathW(MAX_PATH + 1, dir);
  std::string d = n > 0 && n <= MAX_PATH ? narrow(dir) : std::string();
  if (!d.empty() && d.back() == '\\') d.pop_back();
  return d;
}

std::string windows_path(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

temp_folder::temp_folder(const std::string& tag, creation how) {
  static unsigned serial = 0;
  path_ = temp_root() + "\\velmor_" + tag + "_" + std::to_string(::GetCurrentProcessId()) + "_" +
          std::to_string(++serial);
  remove_tree(path_);  // a leftover of an earlier run of a process with the same ID
  if (how == created) ::CreateDirectoryW(long_path(path_).c_str(), nullptr);
}

temp_folder::~temp_folder() { remove_tree(path_); }

bool temp_folder::write(const std::string& relative, const std::string& content) const {
  return write_file(*this / relative, content);
}

bool registry_key_exists(HKEY root, const std::string& key) {
  HKEY k = nullptr;
  if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  ::RegCloseKey(k);
  return true;
}

std::string registry_string(HKEY root, const std::string& key, const char* value) {
  HKEY k = nullptr;
  if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return std::string();
  char text[1024] = {};
  DWORD type = 0;
  DWORD size = sizeof(text) - 1;
  LONG r = ::RegQueryValueExA(k, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  ::RegCloseKey(k);
  if (r != ERROR_SUCCESS || type != REG_SZ) return std::string();
  text[size < sizeof(text) ? size : sizeof(text) - 1] = '\0';
  return text;
}

std::string version_under_test() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path);
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  if (name.size() > 4) name.resize(name.size() - 4);  // ".exe"
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? "default" : name.substr(dot + 1);
}

std::string program_folder() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path);
  return p.substr(0, p.find_last_of("\\/") + 1);
}

long run_and_wait(const std::string& command_line, DWORD timeout_ms) {
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::string cl = command_line;
  auto start = [&] {
    return ::CreateProcessA(nullptr, &cl[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != FALSE;
  };
  if (!start_with_retries(start)) return -1;
  ::WaitForSingleObject(pi.hProcess, timeout_ms);
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return static_cast<long>(code);
}

bool process_alive(DWORD pid) {
  HANDLE p = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (p == nullptr) return false;
  bool alive = ::WaitForSingleObject(p, 0) == WAIT_TIMEOUT;
  ::CloseHandle(p);
  return alive;
}

bool wait_until(const std::function<bool()>& predicate, DWORD timeout_ms) {
  DWORD start = ::GetTickCount();
  for (;;) {
    if (predicate()) return true;
    if (::GetTickCount() - start >= timeout_ms) return false;
    ::Sleep(10);
  }
}

bool wait_for_file(const std::string& path, DWORD timeout_ms) {
  return wait_until([&] { return exists(path); }, timeout_ms);
}

std::wstring window_text(HWND window) {
  wchar_t buf[1024] = {};
  DWORD_PTR len = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &len))
    return L"";
  buf[1023] = 0;
  return buf;
}

std::wstring class_name(HWND window) {
  wchar_t buf[256] = {};
  ::GetClassNameW(window, buf, 256);
  return buf;
}

namespace {

struct window_search {
  const wchar_t* caption;
  DWORD pid;
  HWND exclude;
  bool dialogs_only;
  std::vector<HWND> found;
};

BOOL CALLBACK collect_top(HWND window, LPARAM lp) {
  window_search* d = reinterpret_cast<window_search*>(lp);
  if (!::IsWindowVisible(window) || window == d->exclude) return TRUE;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (d->pid != 0 && pid != d->pid) return TRUE;
  if (d->dialogs_only && class_name(window) != L"#32770") return TRUE;
  if (d->caption != nullptr && window_text(window) != d->caption) return TRUE;
  d->found.push_back(window);
  return TRUE;
}

}  // namespace

HWND find_window(const wchar_t* caption, DWORD pid) {
  window_search d{caption, pid, nullptr, false, {}};
  ::EnumWindows(collect_top, reinterpret_cast<LPARAM>(&d));
  return d.found.empty() ? nullptr : d.found.front();
}

HWND wait_window(const wchar_t* caption, DWORD pid, DWORD timeout_ms) {
  HWND found = nullptr;
  wait_until([&] { return (found = find_window(caption, pid)) != nullptr; }, timeout_ms);
  return found;
}

HWND wait_window_of_class(const wchar_t* class_name, DWORD timeout_ms) {
  HWND found = nullptr;
  wait_until([&] { return (found = ::FindWindowW(class_name, nullptr)) != nullptr; }, timeout_ms);
  return found;
}

std::vector<HWND> find_dialogs(DWORD pid, HWND exclude) {
  window_search d{nullptr, pid, exclude, true, {}};
  ::EnumWindows(collect_top, reinterpret_cast<LPARAM>(&d));
  return d.found;
}

HWND wait_message_box(DWORD pid, HWND exclude, DWORD timeout_ms) {
  HWND found = nullptr;
  wait_until(
      [&] {
        std::vector<HWND> all = find_dialogs(pid, exclude);
        found = all.empty() ? nullptr : all.front();
        return found != nullptr;
      },
      timeout_ms);
  return found;
}

}  // namespace wine_test
