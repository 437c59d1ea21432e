// Where a windowed program's standard output goes: into a redirection when its parent made one,
// else into the console of the parent that started it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "test_support.h"

namespace {

std::string child_path() { return wine_test::program_folder() + "console_child.exe"; }

TEST(WindowedProgramOutput, KeepsARedirection) {
  std::string out = wine_test::program_folder() + "console_child_" + std::to_string(::GetCurrentProcessId()) + ".txt";
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE file = ::CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file) << wine_test::last_error();
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = file;
  si.hStdError = file;
  PROCESS_INFORMATION pi = {};
  std::string cl = "\"" + child_path() + "\"";
  ASSERT_TRUE(::CreateProcessA(nullptr, &cl[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) << wine_test::last_error();
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(pi.hProcess, 30000));
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  ::CloseHandle(file);
  std::string text = wine_test::read_file(out);
  wine_test::remove_tree(out);
  EXPECT_NE(std::string::npos, text.find("line on stdout")) << text;
  EXPECT_NE(std::string::npos, text.find("line on stderr")) << text;
}

// Reads the whole screen buffer of this process's console as text.
std::string console_text() {
  HANDLE out = ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  std::string text;
  if (::GetConsoleScreenBufferInfo(out, &info)) {
    DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    text.resize(cells);
    DWORD read = 0;
    ::ReadConsoleOutputCharacterA(out, &text[0], cells, COORD{0, 0}, &read);
    text.resize(read);
  }
  ::CloseHandle(out);
  return text;
}

// Windows gives a windowed child no standard handles, so the lines reach the console only through
// the entry point's attach; Wine hands the parent's console to the child by itself, so there the
// test confirms only the outcome.
TEST(WindowedProgramOutput, GoesToTheParentsConsole) {
  // A console of our own, so that the child has one to attach to and we can read it.
  ::FreeConsole();
  ASSERT_TRUE(::AllocConsole()) << wine_test::last_error();
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::string cl = "\"" + child_path() + "\"";
  ASSERT_TRUE(::CreateProcessA(nullptr, &cl[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) << wine_test::last_error();
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(pi.hProcess, 30000));
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  std::string text = console_text();
  ::FreeConsole();
  EXPECT_NE(std::string::npos, text.find("line on stdout"));
  EXPECT_NE(std::string::npos, text.find("line on stderr"));
}

}  // namespace
