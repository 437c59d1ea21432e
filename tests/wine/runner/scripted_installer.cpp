// Test-only stand-in for the installer program: connects to the installer pipe and plays the
// scenario named by its one argument (where the real one gets the INF name). It records what it
// saw in files of the folder VELMOR_TEST_RECORD_DIR names (the test's package folder), else of its
// current directory:
//   started.txt  its command line, one line per start;  pid.txt  its process ID;  replies.txt  "<length>:<hex>" per reply
//   connected.txt  written once connected (scenario "hold", which then waits for release.txt);
//   inherited.txt  "yes" or "no": whether it got the handle the test named in VELMOR_TEST_INHERITABLE_EVENT.
// "wait_for_go" connects only once go.txt exists; "intruder <folder> /pipe=<id>" (started by a test,
// not the engine) asks for the hardware ID and records the reply in that folder.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "protocol/pipe_protocol.h"
#include "short_allowance.h"

namespace {

HANDLE pipe = INVALID_HANDLE_VALUE;
char pipe_name[INSTALLER_PIPE_NAME_SIZE] = {};  // from the command line, as the real one takes it

void append_file(const char* name, const std::string& line) {
  FILE* f = std::fopen(name, "ab");
  if (f == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), f);
  std::fclose(f);
}

bool connect_pipe() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    pipe = ::CreateFileA(pipe_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) break;
    ::Sleep(50);
  }
  if (pipe == INVALID_HANDLE_VALUE) return false;
  DWORD mode = PIPE_READMODE_MESSAGE;
  ::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  return true;
}

void send_raw(const std::string& message) {
  DWORD written = 0;
  ::WriteFile(pipe, message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
}

void send_type(int type) { send_raw(std::string(1, static_cast<char>(type))); }

void send_text(int type, const std::string& text) {
  std::string message(1, static_cast<char>(type));
  message += text;
  message.push_back('\0');
  send_raw(message);
}

void send_status(int status) {
  std::string message(1, static_cast<char>(PIPEMSG_STATUS));
  message.push_back(static_cast<char>(static_cast<signed char>(status)));
  send_raw(message);
}

// Asks one question and records the reply exactly as it came.
void ask(int type) {
  send_type(type);
  char reply[4096];
  DWORD got = 0;
  if (!::ReadFile(pipe, reply, sizeof(reply), &got, nullptr)) {
    append_file("replies.txt", "error\n");
    return;
  }
  std::string line = std::to_string(got) + ":";
  char hex[3];
  for (DWORD i = 0; i < got; ++i) {
    std::snprintf(hex, sizeof(hex), "%02x", static_cast<unsigned char>(reply[i]));
    line += hex;
  }
  append_file("replies.txt", line + "\n");
}

void close_pipe() {
  ::FlushFileBuffers(pipe);
  ::CloseHandle(pipe);
  pipe = INVALID_HANDLE_VALUE;
}

// Goes only once the engine has read what was sent (the flush waits for that).
int finish(int exit_code) {
  if (pipe != INVALID_HANDLE_VALUE) close_pipe();
  return exit_code;
}

LONG WINAPI end_without_debugger(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

int play(const std::string& scenario) {
  if (scenario == "never_connect") return 3;
  if (scenario == "wait_for_go") {
    for (int i = 0; i < 600 && ::GetFileAttributesA("go.txt") == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(50);
  }
  if (!connect_pipe()) return 2;

  if (scenario == "intruder") {
    ask(PIPEMSG_ASK_HARDWARE_ID);
    return finish(0);
  }
  if (scenario == "wait_for_go") return play("normal");

  if (scenario == "normal") {
    ask(PIPEMSG_ASK_DEVICE_ID);
    ask(PIPEMSG_ASK_HARDWARE_ID);
    ask(PIPEMSG_ASK_USER_SID);
    send_text(PIPEMSG_LOG, "scripted installer log line");
    send_text(PIPEMSG_SYSLOG, "scripted syslog line");
    send_status(0);
    send_type(PIPEMSG_COMPLETED);
    close_pipe();
    return 0;
  }
  if (scenario == "early_status") {
    send_status(-17);
    ::Sleep(60000);
    return 0;
  }
  if (scenario == "status_one") {  // stays connected and silent: only the status can end the run
    send_status(1);
    ::Sleep(60000);
    return 0;
  }
  if (scenario == "long_log") {
    send_text(PIPEMSG_LOG, std::string(1498, 'L'));  // 1500 bytes with type and terminator
    send_text(PIPEMSG_LOG, std::string(2000, 'M'));  // fits the grown buffer
    send_type(PIPEMSG_COMPLETED);
    send_status(0);
    close_pipe();
    return 0;
  }
  if (scenario == "empty_log") { send_type(PIPEMSG_LOG); return finish(0); }
  if (scenario == "empty_syslog") { send_type(PIPEMSG_SYSLOG); return finish(0); }
  if (scenario == "empty_status") { send_type(PIPEMSG_STATUS); return finish(0); }
  if (scenario == "type_unknown") { send_type(PIPEMSG_REFUSED_BY_POLICY + 1); return finish(0); }
  if (scenario == "type_negative") { send_type(-1); return finish(0); }
  if (scenario == "silent_infinite") {
    send_type(PIPEMSG_TIMEOUT_INFINITE);
    ::Sleep(runner_test::kSilenceBeyondAllowanceMs);
    send_type(PIPEMSG_TIMEOUT_FINITE);
    send_status(0);
    close_pipe();
    return 0;
  }
  if (scenario == "infinite_left_on") {
    send_type(PIPEMSG_TIMEOUT_INFINITE);
    send_status(0);
    close_pipe();
    return 0;
  }
  if (scenario == "finite_again") {
    send_type(PIPEMSG_TIMEOUT_INFINITE);
    send_type(PIPEMSG_TIMEOUT_FINITE);
    send_status(0);
    close_pipe();
    return 0;
  }
  if (scenario == "silent") {
    ::Sleep(60000);
    return 0;
  }
  if (scenario == "restore_off_silent") {  // switches the test's restore setting off, then hangs
    HKEY key = nullptr;
    DWORD one = 1;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Velmor tests\\restore policy", 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) == ERROR_SUCCESS) {
      ::RegSetValueExA(key, "DisableSystemRestore", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
      ::RegCloseKey(key);
    }
    ::Sleep(60000);
    return 0;
  }
  if (scenario == "completed_then_linger") {  // its last word, then slow to exit
    send_type(PIPEMSG_COMPLETED);
    send_status(0);
    close_pipe();
    ::Sleep(60000);
    return 0;
  }
  if (scenario == "status_zero_then_exit1") {
    send_status(0);
    close_pipe();
    return 1;
  }
  if (scenario == "no_status_exit0") {  // as a killed installer leaves it: no status, any exit code
    send_type(PIPEMSG_COMPLETED);
    close_pipe();
    return 0;
  }
  if (scenario == "crash") {
    // Ends as an unhandled crash ends without a debugger (exit code = exception code); Wine would
    // otherwise start its debugger.
    ::SetUnhandledExceptionFilter(end_without_debugger);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
  }
  if (scenario == "close_and_stay") {
    close_pipe();
    ::Sleep(60000);
    return 0;
  }
  if (scenario == "hold") {
    ask(PIPEMSG_ASK_DEVICE_ID);
    append_file("connected.txt", "1");
    for (int i = 0; i < 600 && ::GetFileAttributesA("release.txt") == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(50);
    send_status(0);
    close_pipe();
    return 0;
  }
  if (scenario == "slow_finish") {
    ::Sleep(runner_test::kSilenceBeyondAllowanceMs);
    send_status(0);
    close_pipe();
    return 0;
  }
  return 4;
}

// Started as install-filter.exe: report the arguments on standard output, as the filter installer
// reports its work.
int play_filter(int argc, char** argv) {
  std::printf("filter %s %s", argv[1], argc > 2 ? argv[2] : "");
  std::fflush(stdout);
  return 0;
}

}  // namespace

// A handle the test made inheritable and set: inherited, it is there and signalled.
void record_inheritance() {
  char value[32] = {};
  if (::GetEnvironmentVariableA("VELMOR_TEST_INHERITABLE_EVENT", value, sizeof(value)) == 0) return;
  HANDLE event = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(value, nullptr, 16)));
  append_file("inherited.txt", ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0 ? "yes" : "no");
}

int main(int argc, char** argv) {
  // The engine starts installers only in the folder it prepared: the test's own folder keeps the
  // records.
  char records[MAX_PATH] = {};
  if (argc > 2 && std::string(argv[1]) == "intruder") {
    ::SetCurrentDirectoryA(argv[2]);
  } else if (::GetEnvironmentVariableA("VELMOR_TEST_RECORD_DIR", records, MAX_PATH) - 1 < MAX_PATH - 1) {
    ::SetCurrentDirectoryA(records);
  }
  append_file("started.txt", std::string(::GetCommandLineA()) + "\n");
  for (int i = 1; i < argc && pipe_name[0] == '\0'; ++i) installer_pipe_argument(argv[i], pipe_name);
  record_inheritance();
  FILE* pid = std::fopen("pid.txt", "wb");
  if (pid != nullptr) {
    std::fprintf(pid, "%lu", ::GetCurrentProcessId());
    std::fclose(pid);
  }
  std::string first = argc > 1 ? argv[1] : "";
  if (first == "install" || first == "uninstall") return play_filter(argc, argv);
  return play(first);
}
