# Windows test programs run under Wine through CTest.
#
#   add_wine_test(<name>
#     SOURCES <files...>            test sources (GoogleTest; gtest_main is linked unless NO_GTEST_MAIN;
#                                   the support library tests/support always)
#     [LIBS <targets...>]           extra libraries
#     [VERSIONS <v...>]             one CTest test per Windows version Wine reports to the program:
#                                   default, winxp, win2003, vista, win7, win8, win81, win10
#     [VERSION_MANIFEST]            embed a manifest listing the supported systems, so that Wine
#                                   reports 6.3 and 10.0 (as Windows does only to such programs)
#     [DISPLAY]                     run on Xvfb with Wine's x11 driver (screenshots) instead of the
#                                   headless null driver
#     [LOCK <resources...>]         CTest resource locks, e.g. "devices" for tests that plant device
#                                   nodes, "certstore" for tests touching the machine stores
#     [ARGS <args...>]              command-line arguments
#     [TIMEOUT <s>]                 default 120
#     [NO_GTEST_MAIN]               the program brings its own main
#     [ENV <NAME=value...>]         extra environment of the run (e.g. WINEDLLOVERRIDES, which Wine
#                                   takes from the Unix environment, not from a child's block)
#     [COST <s>]                    about how long the test runs (default 6): long ones start first,
#                                   and the shards below are balanced by it
#   )
#
# Shards: every test carries the label wine-shard-a or wine-shard-b, given so that both hold about
# the same cost. scripts/test.sh runs a tree's two shards side by side on two benches of their own
# (WINE_BENCH_SHARD, tests/wine/bench.sh) where a CPU would otherwise wait: most of a Wine test is
# waiting on windows and timers, and the "devices" lock otherwise runs nearly every test in a row.
# Tests on the display all go to shard a, which alone then needs a display prefix.
#
# Test names: wine32.<name>[.<version>] and wine64.<name>[.<version>]. Every test requires the
# fixture "wine" (one prefix and one persistent wineserver per run, see tests/wine/bench.sh).
if(WIN32)
  set(WINE_BENCH ${PROJECT_SOURCE_DIR}/tests/wine/bench.sh)
  if(VELMOR_ARCH STREQUAL x64)
    set(WINE_TEST_PREFIX wine64)
  else()
    set(WINE_TEST_PREFIX wine32)
  endif()
  # The bench's answer for a 32-bit program on a host that cannot execute i386 programs.
  set(WINE_BENCH_SKIP_CODE 77)
endif()

function(add_wine_test name)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(W "VERSION_MANIFEST;DISPLAY;NO_GTEST_MAIN" "TIMEOUT;COST"
                        "SOURCES;LIBS;VERSIONS;LOCK;ARGS;ENV" ${ARGN})
  set(sources ${W_SOURCES})
  if(W_VERSION_MANIFEST)
    list(APPEND sources ${PROJECT_SOURCE_DIR}/tests/wine/common/supported_os.rc)
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE velmor_warnings velmor_test_support ${W_LIBS})
  if(NOT W_NO_GTEST_MAIN)
    target_link_libraries(${name} PRIVATE gtest_main gtest)
  endif()
  if(NOT W_TIMEOUT)
    set(W_TIMEOUT 120)
  endif()
  if(NOT W_VERSIONS)
    set(W_VERSIONS default)
  endif()
  set(display_flag)
  set(shard_flag)
  if(W_DISPLAY)
    set(display_flag --display)
    set(shard_flag SHARD a)
  endif()
  if(NOT W_COST)
    set(W_COST 6)
  endif()
  foreach(ver IN LISTS W_VERSIONS)
    set(test_name ${name})
    if(NOT ver STREQUAL default)
      set(test_name ${name}.${ver})
    endif()
    add_wine_command_test(${test_name}
      COMMAND ${WINE_BENCH} run --version ${ver} ${display_flag} -- $<TARGET_FILE:${name}> ${W_ARGS}
      LOCK ${W_LOCK} ENV ${W_ENV} TIMEOUT ${W_TIMEOUT} COST ${W_COST} ${shard_flag})
  endforeach()
endfunction()

# A test that is not one program's run (a script reading what a program left, a run in another
# kind of prefix): wine32.<name> / wine64.<name> with the fixture "wine" and the bench's root.
#   add_wine_command_test(<name> COMMAND <command...> [LOCK <resources...>] [TIMEOUT <s>]
#                         [ENV <NAME=value...>] [COST <s>] [SHARD a|b])
function(add_wine_command_test name)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(W "" "TIMEOUT;COST;SHARD" "COMMAND;LOCK;ENV" ${ARGN})
  if(NOT W_TIMEOUT)
    set(W_TIMEOUT 120)
  endif()
  if(NOT W_COST)
    set(W_COST 6)
  endif()
  foreach(shard a b)
    get_property(load_${shard} GLOBAL PROPERTY VELMOR_WINE_SHARD_LOAD_${shard})
    if(NOT load_${shard})
      set(load_${shard} 0)
    endif()
  endforeach()
  if(NOT W_SHARD)
    if(load_b LESS load_a)
      set(W_SHARD b)
    else()
      set(W_SHARD a)
    endif()
  endif()
  math(EXPR load "${load_${W_SHARD}} + ${W_COST}")
  set_property(GLOBAL PROPERTY VELMOR_WINE_SHARD_LOAD_${W_SHARD} ${load})
  set(test_name ${WINE_TEST_PREFIX}.${name})
  add_test(NAME ${test_name} COMMAND ${W_COMMAND})
  set_tests_properties(${test_name} PROPERTIES
    FIXTURES_REQUIRED wine
    SKIP_RETURN_CODE ${WINE_BENCH_SKIP_CODE}
    TIMEOUT ${W_TIMEOUT}
    COST ${W_COST}
    LABELS wine-shard-${W_SHARD}
    ENVIRONMENT "WINE_BENCH_ROOT=${VELMOR_WINE_ROOT}")
  if(W_ENV)
    set_property(TEST ${test_name} APPEND PROPERTY ENVIRONMENT ${W_ENV})
  endif()
  if(W_LOCK)
    set_tests_properties(${test_name} PROPERTIES RESOURCE_LOCK "${W_LOCK}")
  endif()
endfunction()

# The 64-bit build of the installer suite's device-installer stand-in (tests/wine/installer), for
# tests of either app build: on 64-bit Windows both start the 64-bit installer, which it holds. The
# win32 tree takes it from the win64 tree by file.
function(velmor_newdev_standin_x64 out)
  if(VELMOR_ARCH STREQUAL x86)
    get_filename_component(path ${PROJECT_BINARY_DIR}/../win64/tests/wine/installer/newdev.dll ABSOLUTE)
  else()
    set(path $<TARGET_FILE:installer_newdev_standin>)
  endif()
  set(${out} ${path} PARENT_SCOPE)
endfunction()

# The fixture: one prefix and one persistent wineserver for the whole CTest run.
function(add_wine_fixture)
  if(NOT WIN32)
    return()
  endif()
  math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
  add_test(NAME ${WINE_TEST_PREFIX}.bench_start COMMAND ${WINE_BENCH} start --bits ${bits})
  add_test(NAME ${WINE_TEST_PREFIX}.bench_stop COMMAND ${WINE_BENCH} stop)
  set_tests_properties(${WINE_TEST_PREFIX}.bench_start PROPERTIES
    FIXTURES_SETUP wine ENVIRONMENT "WINE_BENCH_ROOT=${VELMOR_WINE_ROOT}" TIMEOUT 300)
  set_tests_properties(${WINE_TEST_PREFIX}.bench_stop PROPERTIES
    FIXTURES_CLEANUP wine ENVIRONMENT "WINE_BENCH_ROOT=${VELMOR_WINE_ROOT}")
endfunction()

# The recording wintrust/mssign32 stand-ins (tests/wine/catalog/standin) for one test program: the
# product loads system modules from the system folder only, so the program puts both there when it
# starts (standin_session.h); it learns where they are built from these definitions, and gets the
# stand-ins' record reader (record.h).
function(velmor_use_crypt_standins target)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/wine/catalog/standin)
  target_compile_definitions(${target} PRIVATE
    VELMOR_WINTRUST_STANDIN_UNIX_PATH="$<TARGET_FILE:wintrust_standin>"
    VELMOR_MSSIGN32_STANDIN_UNIX_PATH="$<TARGET_FILE:mssign32_standin>")
  add_dependencies(${target} wintrust_standin mssign32_standin)
endfunction()
