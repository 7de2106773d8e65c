# What Windows reads from a program before and around its start: its manifest (rights, Windows
# versions, DPI awareness, common controls), its icon and its version resource, made from
# frontends/identity/ for each program of the Windows tree.
#
#   norvik_windows_program(<target> [WINDOW] LEVEL asInvoker|requireAdministrator DESCRIPTION <text>)
#
# WINDOW: the program makes the window, whose dialog template and glyphs
# (frontends/win32/NorvikMain.rc) are compiled with the program's own resources.
#
# The version is the project's (project(VERSION) at the top), so Explorer shows what --version
# prints.

include_guard(GLOBAL)

function(norvik_windows_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "WINDOW" "LEVEL;DESCRIPTION" "")
  if(NOT arg_LEVEL MATCHES "^(asInvoker|requireAdministrator)$" OR NOT arg_DESCRIPTION)
    message(FATAL_ERROR "norvik_windows_program(${target} LEVEL asInvoker|requireAdministrator DESCRIPTION <text>)")
  endif()
  set(identity "${PROJECT_SOURCE_DIR}/frontends/identity")
  set(NORVIK_PROGRAM_NAME "${target}")
  set(NORVIK_PROGRAM_DESCRIPTION "${arg_DESCRIPTION}")
  set(NORVIK_EXECUTION_LEVEL "${arg_LEVEL}")
  set(NORVIK_VERSION_DOTTED "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(NORVIK_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(NORVIK_ICON_FILE "${identity}/Norvik.ico")
  set(NORVIK_MANIFEST_FILE "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  configure_file("${identity}/Program.manifest.in" "${NORVIK_MANIFEST_FILE}" @ONLY)
  set(depends "${NORVIK_MANIFEST_FILE};${NORVIK_ICON_FILE}")
  set(NORVIK_WINDOW_RESOURCES "")
  set(window "${PROJECT_SOURCE_DIR}/frontends/win32")
  if(arg_WINDOW)
    set(NORVIK_WINDOW_RESOURCES "#include \"frontends/win32/NorvikMain.rc\"")
    list(APPEND depends "${window}/Update.ico" "${window}/Close.ico")
  endif()
  set(resources "${CMAKE_CURRENT_BINARY_DIR}/${target}-identity.rc")
  configure_file("${identity}/Program.rc.in" "${resources}" @ONLY)
  set_source_files_properties("${resources}" PROPERTIES OBJECT_DEPENDS "${depends}"
    INCLUDE_DIRECTORIES "${PROJECT_SOURCE_DIR};${window}")
  target_sources(${target} PRIVATE "${resources}")
endfunction()
