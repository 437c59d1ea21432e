# Building payload tables: the fixed entry list, the stand-in files, and the library that carries
# one table. Used by payload/CMakeLists.txt and by tests that embed a folder of their own.

set(VELMOR_PAYLOAD_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/payload_table.cmake)
set(VELMOR_PAYLOAD_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)

# The 28 entries in table order: subdir|file name|table time (seconds since 1970 UTC).
set(VELMOR_PAYLOAD_ENTRIES
  "x86|WdfCoInstaller01011.dll|1606897675"      # 2020-12-02 08:27:55
  "x86|winusbcoinstaller2.dll|1606897730"       # 2020-12-02 08:28:50
  "amd64|WdfCoInstaller01011.dll|1606897786"    # 2020-12-02 08:29:46
  "amd64|winusbcoinstaller2.dll|1606897786"     # 2020-12-02 08:29:46
  "x86|libusb0_x86.dll|1606898059"              # 2020-12-02 08:34:19
  "x86|install-filter.exe|1606898639"           # 2020-12-02 08:43:59
  "x86|libusb0.dll|1606898639"                  # 2020-12-02 08:43:59
  "amd64|libusb0_x86.dll|1606898639"            # 2020-12-02 08:43:59
  "x86|libusb0.sys|1606898059"                  # 2020-12-02 08:34:19
  "amd64|libusb0.dll|1606898676"                # 2020-12-02 08:44:36
  "amd64|libusb0.sys|1606898676"                # 2020-12-02 08:44:36
  "amd64|install-filter.exe|1606898676"         # 2020-12-02 08:44:36
  "license/libusb0|installer_license.txt|1606898750"  # 2020-12-02 08:45:50
  "x86|libusbK.sys|1606898953"                  # 2020-12-02 08:49:13
  "x86|libusbK.dll|1606899045"                  # 2020-12-02 08:50:45
  "amd64|libusbK_x86.dll|1606899045"            # 2020-12-02 08:50:45
  "amd64|libusbK.sys|1606899100"                # 2020-12-02 08:51:40
  "amd64|libusbK.dll|1606899081"                # 2020-12-02 08:51:21
  ".|installer_x86.exe|1608518008"              # 2020-12-21 02:33:28
  ".|installer_x64.exe|1608518008"              # 2020-12-21 02:33:28
  "|winusb.inf.in|1524727651"                   # 2018-04-26 07:27:31
  "|libusb0.inf.in|1524727650"                  # 2018-04-26 07:27:30
  "|libusbk.inf.in|1524727650"
  "|usbser.inf.in|1524727650"
  "|winusb.cat.in|1524727650"
  "|libusb0.cat.in|1524727650"
  "|libusbk.cat.in|1524727650"
  "|usbser.cat.in|1524727650"
)

# Stand-ins (subdir/name, kind, version, role). Entries not listed here reuse the bytes of another
# entry, as the real payload does: x86/libusb0.dll and amd64/libusb0_x86.dll are
# x86/install-filter.exe, amd64/libusbK_x86.dll is x86/libusbK.dll. The kind "coinstaller:<entry>"
# is a co-installer of our own exporting <entry>, the entry point the WinUSB INF names for it.
set(VELMOR_STANDINS
  "x86/WdfCoInstaller01011.dll|coinstaller:WdfCoInstaller|1.11.9200.16384|KMDF 1.11 co-installer, 32-bit"
  "x86/winusbcoinstaller2.dll|coinstaller:CoDeviceInstall|6.1.7600.16385|WinUSB co-installer, 32-bit"
  "amd64/WdfCoInstaller01011.dll|coinstaller:WdfCoInstaller|1.11.9200.16384|KMDF 1.11 co-installer, 64-bit"
  "amd64/winusbcoinstaller2.dll|coinstaller:CoDeviceInstall|6.1.7600.16385|WinUSB co-installer, 64-bit"
  "x86/libusb0_x86.dll|dll|1.2.6.0|libusb0 user-mode DLL, 32-bit"
  "x86/install-filter.exe|exe|1.2.6.0|libusb0 filter-install tool, 32-bit"
  "x86/libusb0.sys|sys|1.2.6.0|libusb0 kernel driver, 32-bit"
  "amd64/libusb0.dll|dll|1.2.6.0|libusb0 user-mode DLL, 64-bit"
  "amd64/libusb0.sys|sys|1.2.6.0|libusb0 kernel driver, 64-bit"
  "amd64/install-filter.exe|exe|1.2.6.0|libusb0 filter-install tool, 64-bit"
  "x86/libusbK.sys|sys|3.0.7.0|libusbK kernel driver, 32-bit"
  "x86/libusbK.dll|dll|3.0.7.0|libusbK user-mode DLL, 32-bit"
  "amd64/libusbK.sys|sys|3.0.7.0|libusbK kernel driver, 64-bit"
  "amd64/libusbK.dll|dll|3.0.7.0|libusbK user-mode DLL, 64-bit"
)
set(VELMOR_STANDIN_ALIASES
  "x86/libusb0.dll|x86/install-filter.exe"
  "amd64/libusb0_x86.dll|x86/install-filter.exe"
  "amd64/libusbK_x86.dll|x86/libusbK.dll"
)

# Both bitnesses are built in either Windows tree, so each tree carries the same bytes.
function(_velmor_find_standin_tools)
  foreach(arch i686 x86_64)
    string(TOUPPER ${arch} var)
    find_program(VELMOR_STANDIN_CC_${var} NAMES ${arch}-w64-mingw32-gcc ${arch}-w64-mingw32-gcc-posix)
    find_program(VELMOR_STANDIN_RC_${var} NAMES ${arch}-w64-mingw32-windres)
    if(NOT VELMOR_STANDIN_CC_${var} OR NOT VELMOR_STANDIN_RC_${var})
      message(FATAL_ERROR "The payload stand-ins need ${arch}-w64-mingw32-gcc and -windres")
    endif()
  endforeach()
endfunction()

# Builds one stand-in PE file at <out> and appends it to the list <files_var>.
#   arch: x86 or amd64; kind: dll, sys, exe or coinstaller:<entry>; the notice is what the file
#   says it is.
function(velmor_add_standin files_var out arch kind version role notice)
  _velmor_find_standin_tools()
  get_filename_component(name "${out}" NAME)
  set(standin_coinstaller_entry "")
  if(kind MATCHES "^coinstaller:([A-Za-z_][A-Za-z0-9_]*)$")
    set(standin_coinstaller_entry ${CMAKE_MATCH_1})
    set(kind coinstaller)
  endif()
  if(arch STREQUAL x86)
    set(cc ${VELMOR_STANDIN_CC_I686})
    set(rc ${VELMOR_STANDIN_RC_I686})
    set(entry_dll _standin_entry@12)
    set(entry_sys _standin_entry@8)
    set(entry_exe _standin_entry)
  else()
    set(cc ${VELMOR_STANDIN_CC_X86_64})
    set(rc ${VELMOR_STANDIN_RC_X86_64})
    set(entry_dll standin_entry)
    set(entry_sys standin_entry)
    set(entry_exe standin_entry)
  endif()
  # A DLL's automatic image base is a hash of its output path: fixed here, so that the bytes do not
  # depend on the build folder.
  if(kind STREQUAL dll OR kind STREQUAL coinstaller)
    set(link_flags -shared -Wl,--disable-auto-image-base -Wl,--entry,${entry_dll})
    if(kind STREQUAL coinstaller AND arch STREQUAL x86)
      # The system looks the entry point up by its plain name, without stdcall decoration.
      list(APPEND link_flags -Wl,--kill-at)
    endif()
    set(standin_file_type VFT_DLL)
    set(standin_file_subtype 0)
  elseif(kind STREQUAL sys)
    set(link_flags -shared -Wl,--disable-auto-image-base -Wl,--subsystem,native -Wl,--entry,${entry_sys})
    set(standin_file_type VFT_DRV)
    set(standin_file_subtype VFT2_DRV_SYSTEM)
  else()
    set(link_flags -Wl,--subsystem,console -Wl,--entry,${entry_exe} -lkernel32)
    set(standin_file_type VFT_APP)
    set(standin_file_subtype 0)
  endif()
  set(standin_name "${name}")
  set(standin_role "${role}")
  set(standin_version "${version}")
  string(REPLACE "." "," standin_version_commas "${version}")
  set(standin_notice "${notice}")
  if(role MATCHES "^placeholder")
    set(standin_label "Placeholder")
    set(standin_special "Placeholder, not the installer program")
  else()
    set(standin_label "Stand-in")
    set(standin_special "Stand-in, not the real file")
  endif()
  set(work "${out}.d")
  set(src ${VELMOR_PAYLOAD_SOURCE_DIR}/standins)
  configure_file(${src}/standin_info.h.in ${work}/standin_info.h @ONLY)
  add_custom_command(OUTPUT "${out}"
    COMMAND ${rc} -I${work} -i ${src}/standin.rc -o ${work}/version.o
    COMMAND ${cc} -Os -s -nostdlib -Wall -Wextra -Werror -Wl,--no-insert-timestamp -I${work}
            ${src}/standin_${kind}.c ${work}/version.o ${link_flags} -o "${out}"
    DEPENDS ${src}/standin.rc ${src}/standin_${kind}.c ${work}/standin_info.h
    COMMENT "Building payload stand-in ${arch}/${name}"
    VERBATIM)
  set(${files_var} ${${files_var}} "${out}" PARENT_SCOPE)
endfunction()

# The library <target> defining payload_table from 28 entry lines
# (subdir|name|table time|source|fallback, see payload_table.cmake).
#   DEPENDS   files and targets whose change must regenerate the table
#   RECHECK   also regenerate on every build (a source that may appear later, from another tree)
function(velmor_add_payload_library target)
  cmake_parse_arguments(P "RECHECK" "SYMBOL_PREFIX" "LINES;DEPENDS" ${ARGN})
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/${target}_generated)
  string(REPLACE ";" "\n" content "${P_LINES}")
  file(GENERATE OUTPUT ${gen}/entries.txt CONTENT "${content}\n")
  set(deps ${gen}/entries.txt ${VELMOR_PAYLOAD_SCRIPT} ${P_DEPENDS})
  if(P_RECHECK)
    add_custom_command(OUTPUT ${gen}/recheck COMMAND ${CMAKE_COMMAND} -E true VERBATIM)
    set_source_files_properties(${gen}/recheck PROPERTIES SYMBOLIC TRUE)
    list(APPEND deps ${gen}/recheck)
  endif()
  add_custom_command(OUTPUT ${gen}/payload_table.cpp ${gen}/payload_blocks.c
    COMMAND ${CMAKE_COMMAND} -DENTRIES=${gen}/entries.txt -DSTAGE_DIR=${gen}/folder
            -DOUT_CPP=${gen}/payload_table.cpp -DOUT_BLOCKS=${gen}/payload_blocks.c
            -DSYMBOL_PREFIX=${P_SYMBOL_PREFIX} -P ${VELMOR_PAYLOAD_SCRIPT}
    DEPENDS ${deps}
    COMMENT "Generating ${target} (payload_table)"
    VERBATIM)
  add_library(${target} STATIC ${gen}/payload_table.cpp ${gen}/payload_blocks.c)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE velmor_warnings)
endfunction()

# Entry lines for a payload: driver files from FOLDER (keeping their own times) or, without one,
# the stand-in files STANDIN_DIR/<subdir>/<name> (stamped with the table's times); the installer
# builds (or their placeholders); the templates of TEMPLATE_DIR.
#   INSTALLER_X86 <source> [<fallback>], INSTALLER_X64 <source> [<fallback>]
function(velmor_payload_lines out_var)
  cmake_parse_arguments(P "" "FOLDER;STANDIN_DIR;TEMPLATE_DIR;LICENSE" "INSTALLER_X86;INSTALLER_X64" ${ARGN})
  set(lines "")
  set(index 0)
  foreach(entry IN LISTS VELMOR_PAYLOAD_ENTRIES)
    math(EXPR index "${index} + 1")
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 subdir)
    list(GET fields 1 name)
    list(GET fields 2 time)
    set(fallback "")
    if(index LESS_EQUAL 18)
      if(P_FOLDER)
        set(source "${P_FOLDER}/${subdir}/${name}")
        set(time "")
      elseif(name STREQUAL installer_license.txt)
        set(source "${P_LICENSE}")
      else()
        set(key "${subdir}/${name}")
        foreach(alias IN LISTS VELMOR_STANDIN_ALIASES)
          string(REPLACE "|" ";" pair "${alias}")
          list(GET pair 0 from)
          if(from STREQUAL key)
            list(GET pair 1 key)
          endif()
        endforeach()
        set(source "${P_STANDIN_DIR}/${key}")
      endif()
    elseif(index EQUAL 19)
      list(GET P_INSTALLER_X86 0 source)
      list(LENGTH P_INSTALLER_X86 given)
      if(given GREATER 1)
        list(GET P_INSTALLER_X86 1 fallback)
      endif()
    elseif(index EQUAL 20)
      list(GET P_INSTALLER_X64 0 source)
      list(LENGTH P_INSTALLER_X64 given)
      if(given GREATER 1)
        list(GET P_INSTALLER_X64 1 fallback)
      endif()
    else()
      set(source "${P_TEMPLATE_DIR}/${name}")
    endif()
    list(APPEND lines "${subdir}|${name}|${time}|${source}|${fallback}")
  endforeach()
  set(${out_var} "${lines}" PARENT_SCOPE)
endfunction()

# The release check's view of payload lines: index|subdir|name|table time|source|role per entry,
# role one of driver (from a release folder), standin, license, installer, template.
function(velmor_payload_expectation out_var lines folder)
  set(text "")
  set(index 0)
  foreach(line IN LISTS lines)
    math(EXPR index "${index} + 1")
    string(REPLACE "|" ";" fields "${line}")
    list(GET fields 0 subdir)
    list(GET fields 1 name)
    list(GET fields 2 time)
    list(GET fields 3 source)
    if(index GREATER 20)
      set(role template)
    elseif(index GREATER 18)
      set(role installer)
    elseif(folder)
      set(role driver)
    elseif(name STREQUAL installer_license.txt)
      set(role license)
    else()
      set(role standin)
    endif()
    string(APPEND text "${index}|${subdir}|${name}|${time}|${source}|${role}\n")
  endforeach()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()
