# Cross toolchain: 32-bit Windows (the app, installer_x86.exe, 32-bit tests).
# The win32 thread model: the posix one links winpthreads into every C++ program, and winpthreads
# imports GetTickCount64, which keeps Windows XP from starting the program. Nothing of ours needs
# std::thread or std::mutex (tests use wine_test::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Header versions Windows XP SP3 accepts (tests/release/check_imports.py checks them).
set(velmor_xp_versions "-Wl,--major-os-version,5,--minor-os-version,1,--major-subsystem-version,5,--minor-subsystem-version,1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${velmor_xp_versions}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${velmor_xp_versions}")
