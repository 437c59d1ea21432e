#include "fake_engine.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "protocol/pipe_protocol.h"
#include "test_support.h"
#include "win/handles.h"

namespace fake_engine {

namespace {

// The installer's environment: ours, with the given entries replacing or adding names.
std::vector<char> environment_block(const std::vector<std::string>& extra) {
  std::vector<std::string> entries;
  char* env = ::GetEnvironmentStringsA();
  for (const char* p = env; *p != '\0'; p += strlen(p) + 1) entries.emplace_back(p);
  ::FreeEnvironmentStringsA(env);
  for (const std::string& e : extra) {
    std::string name = e.substr(0, e.find('=') + 1);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::string& x) { return _strnicmp(x.c_str(), name.c_str(), name.size()) == 0; }),
                  entries.end());
    entries.push_back(e);
  }
  std::vector<char> block;
  for (const std::string& e : entries) block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);
  block.push_back('\0');
  return block;
}

// Test runs of both bitnesses share one Wine server and the system folder the device-installer
// stand-in is put into: take turns.
velmor::unique_handle take_pipe_turn() {
  velmor::unique_handle turn(::CreateMutexA(nullptr, FALSE, "Global\\velmor_test_installer_pipe"));
  if (turn) {
    DWORD w = ::WaitForSingleObject(turn.get(), 180000);
    if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) turn.reset();
  }
  return turn;
}

struct turn_release {
  HANDLE h;
  ~turn_release() {
    if (h != nullptr) ::ReleaseMutex(h);
  }
};

// A pipe argument of this run: unique enough for the tests of one machine.
std::string pipe_argument() {
  static LONG runs = 0;
  char id[INSTALLER_PIPE_ID_LENGTH + 1] = {};
  snprintf(id, sizeof(id), "%08lx%08lx%016llx", ::GetCurrentProcessId(), ::GetTickCount(),
                static_cast<unsigned long long>(::InterlockedIncrement(&runs)));
  return std::string(INSTALLER_PIPE_ARGUMENT) + id;
}

velmor::unique_file create_pipe(const char* name) {
  for (int i = 0; i < 300; ++i) {
    HANDLE h = ::CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) return velmor::unique_file(h);
    ::Sleep(100);  // an engine elsewhere holds the one instance
  }
  return velmor::unique_file();
}

void write_reply(HANDLE pipe, const std::optional<std::string>& value) {
  std::string bytes = value ? *value : std::string(1, '\0');
  velmor::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED ov = {};
  ov.hEvent = event.get();
  DWORD written = 0;
  if (!::WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &ov) &&
      ::GetLastError() == ERROR_IO_PENDING) {
    ::GetOverlappedResult(pipe, &ov, &written, TRUE);
  }
}

}  // namespace

std::vector<std::string> result::texts(int type) const {
  std::vector<std::string> out;
  for (const message& m : messages) {
    if (m.type == type) out.push_back(m.text);
  }
  return out;
}

bool result::logged(const std::string& line) const {
  for (const message& m : messages) {
    if (m.type == PIPEMSG_LOG && m.text == line) return true;
  }
  return false;
}

bool result::logged_prefix(const std::string& prefix) const {
  for (const message& m : messages) {
    if (m.type == PIPEMSG_LOG && m.text.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

int result::final_status() const {
  for (const message& m : messages) {
    if (m.type == PIPEMSG_STATUS && !m.text.empty()) return static_cast<signed char>(m.text[0]);
  }
  return 1000;
}

bool result::completed_then_status() const {
  for (size_t i = 0; i + 1 < messages.size(); ++i) {
    if (messages[i].type == PIPEMSG_COMPLETED) return messages[i + 1].type == PIPEMSG_STATUS;
  }
  return false;
}

package::package() : temp_folder("installer_" + std::to_string(sizeof(void*) * 8)), folder_(path() + "\\") {}

std::string installer_path() { return windows_path(INSTALLER_UNIX_PATH); }
std::string newdev_standin_path() { return windows_path(NEWDEV_STANDIN_UNIX_PATH); }
std::string installer_name() { return sizeof(void*) == 8 ? "installer_x64.exe" : "installer_x86.exe"; }

result run(const package& pkg, const options& opts) {
  result out;
  std::string exe = pkg.folder() + (opts.program_name.empty() ? installer_name() : opts.program_name);
  ::CopyFileA(installer_path().c_str(), exe.c_str(), FALSE);
  for (const std::string& name : opts.planted_beside) {
    ::CopyFileA(newdev_standin_path().c_str(), (pkg.folder() + name).c_str(), FALSE);
  }
  std::vector<char> block = environment_block(opts.environment);

  velmor::unique_handle turn = take_pipe_turn();
  turn_release release{turn.get()};
  std::optional<wine_test::system_module_standin> standin;
  if (opts.newdev_standin) {
    standin.emplace(newdev_standin_path(), "newdev.dll");
    if (!standin->placed()) return out;
  }
  std::string argument = pipe_argument();
  char name[INSTALLER_PIPE_NAME_SIZE] = {};
  installer_pipe_argument(argument.c_str(), name);
  velmor::unique_file pipe = create_pipe(name);
  if (!pipe) return out;

  std::string command = "\"" + exe + "\"";
  if (!opts.arguments.empty()) command += " " + opts.arguments;
  command += " " + argument;
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, block.data(), pkg.folder().c_str(), &si,
                        &pi)) {
    return out;
  }
  out.started = true;
  velmor::unique_handle process(pi.hProcess);
  velmor::unique_handle thread(pi.hThread);

  velmor::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::vector<char> buffer(65536);
  bool exited = false;
  for (;;) {
    OVERLAPPED ov = {};
    ov.hEvent = event.get();
    ::ResetEvent(event.get());
    DWORD got = 0;
    BOOL ok = ::ReadFile(pipe.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, &ov);
    if (!ok) {
      DWORD err = ::GetLastError();
      if (err == ERROR_PIPE_LISTENING) {
        // A quick program may connect, write and end between two reads: one more read after its
        // end tells that from one that never connected.
        if (exited) break;
        exited = ::WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0;
        continue;
      }
      if (err != ERROR_IO_PENDING) break;
      HANDLE both[2] = {event.get(), process.get()};
      DWORD w = exited ? ::WaitForSingleObject(event.get(), 2000) : ::WaitForMultipleObjects(2, both, FALSE, 60000);
      if (w == WAIT_OBJECT_0 + 1) {
        // Gone: what it wrote before is still to be read.
        exited = true;
        w = ::WaitForSingleObject(event.get(), 2000);
      }
      if (w != WAIT_OBJECT_0) {
        ::CancelIo(pipe.get());
        ::GetOverlappedResult(pipe.get(), &ov, &got, TRUE);
        break;
      }
      if (!::GetOverlappedResult(pipe.get(), &ov, &got, FALSE)) break;
    }
    if (got == 0) continue;
    message m{static_cast<signed char>(buffer[0]), std::string()};
    if (m.type == PIPEMSG_STATUS) {
      m.text.assign(buffer.data() + 1, got - 1);
    } else {
      const char* text = buffer.data() + 1;
      m.text.assign(text, strnlen(text, got - 1));
    }
    out.messages.push_back(m);
    if (opts.on_message) opts.on_message(m);
    if (m.type == PIPEMSG_ASK_DEVICE_ID) write_reply(pipe.get(), opts.device_id);
    if (m.type == PIPEMSG_ASK_HARDWARE_ID) write_reply(pipe.get(), opts.hardware_id);
    if (m.type == PIPEMSG_ASK_USER_SID) write_reply(pipe.get(), opts.user_sid);
    if (m.type == PIPEMSG_ASK_UNATTENDED) write_reply(pipe.get(), opts.unattended);
  }
  if (::WaitForSingleObject(process.get(), 30000) == WAIT_TIMEOUT) ::TerminateProcess(process.get(), 1);
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  out.exit_code = static_cast<long>(code);
  return out;
}

std::string serial_inf(const std::string& hardware_id) {
  return "[Version]\r\n"
         "Signature=\"$Windows NT$\"\r\n"
         "Class=Ports\r\n"
         "ClassGuid={4D36E978-E325-11CE-BFC1-08002BE10318}\r\n"
         "Provider=%Mfg%\r\n"
         "DriverVer=01/01/2026,1.0.0.0\r\n"
         "\r\n"
         "[Manufacturer]\r\n"
         "%Mfg%=Models,NTx86,NTamd64\r\n"
         "\r\n"
         "[Models]\r\n"
         "%Desc%=Serial," + hardware_id + "\r\n"
         "[Models.NTx86]\r\n"
         "%Desc%=Serial," + hardware_id + "\r\n"
         "[Models.NTamd64]\r\n"
         "%Desc%=Serial," + hardware_id + "\r\n"
         "\r\n"
         "[Serial]\r\n"
         "AddReg=Serial.AddReg\r\n"
         "[Serial.Services]\r\n"
         "AddService=usbser,0x00000002,Serial.Service\r\n"
         "[Serial.Service]\r\n"
         "DisplayName=%Desc%\r\n"
         "ServiceType=1\r\n"
         "StartType=3\r\n"
         "ErrorControl=1\r\n"
         "ServiceBinary=%12%\\usbser.sys\r\n"
         "[Serial.AddReg]\r\n"
         "HKR,,EnumPropPages32,,\"MsPorts.dll,SerialPortPropPageProvider\"\r\n"
         "\r\n"
         "[Strings]\r\n"
         "Mfg=\"Velmor\"\r\n"
         "Desc=\"Korvex test port\"\r\n";
}

}  // namespace fake_engine
