# Delay-loaded system modules: velmor_delayed_<module> links a program against <module>.dll so that
# the module is loaded at the first call of one of its functions, not when the program starts.
# The command line (/list, /check) then never waits for the window and shell modules, which are
# the bulk of a start under Wine. The libraries are made once, at configure time, from the
# toolchain's import libraries (cmake/delay_import_library.py); the modules stay known DLLs, which
# the loader takes from the system folder only.
#
# On i386, GNU ld drops the code of an import library's member when only its "__imp_" pointer is
# referenced, and a delay import's first call runs that code. Calls to system functions are
# therefore made to the functions themselves (DECLSPEC_IMPORT empty): the linker keeps the delay
# thunks, and plain import libraries supply their jump stubs as before.
if(NOT WIN32)
  return()
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_compile_definitions(DECLSPEC_IMPORT=)

if(VELMOR_ARCH STREQUAL x86)
  set(velmor_delay_machine i386)
else()
  set(velmor_delay_machine x64)
endif()

function(velmor_delay_import module)
  set(target velmor_delayed_${module})
  set(output ${CMAKE_BINARY_DIR}/delay_imports/lib${module}_delayed.a)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=lib${module}.a
                  OUTPUT_VARIABLE library OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EXISTS "${library}")
    message(FATAL_ERROR "No import library lib${module}.a in the toolchain")
  endif()
  if(NOT EXISTS ${output} OR ${library} IS_NEWER_THAN ${output}
     OR ${PROJECT_SOURCE_DIR}/cmake/delay_import_library.py IS_NEWER_THAN ${output})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/delay_imports)
    execute_process(COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/delay_import_library.py
                            ${CMAKE_NM} ${CMAKE_DLLTOOL} ${velmor_delay_machine} ${library} ${module}.dll ${output}
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "Could not make the delay-import library of ${module}.dll")
    endif()
  endif()
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${output})
endfunction()

foreach(module user32 gdi32 shell32 ole32)
  velmor_delay_import(${module})
endforeach()
