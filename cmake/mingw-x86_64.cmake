# Cross toolchain: 64-bit Windows (installer_x64.exe, 64-bit tests).
# The win32 thread model: the posix one links winpthreads into every C++ program, and winpthreads
# imports GetTickCount64, which keeps Windows XP x64 and Server 2003 from starting the program.
# Nothing of ours needs std::thread or std::mutex (tests use wine_test::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Header versions Windows XP x64 and Server 2003 accept (tests/release/check_imports.py checks them).
set(velmor_xp_versions "-Wl,--major-os-version,5,--minor-os-version,2,--major-subsystem-version,5,--minor-subsystem-version,2")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${velmor_xp_versions}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${velmor_xp_versions}")
