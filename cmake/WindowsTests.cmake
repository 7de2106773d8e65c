# The tests of the Windows tree: GoogleTest built from Debian's source (package googletest) with
# the tree's compiler, and every test program run under Wine in the tree's own 32-bit prefix
# (scripts/wine-run makes it when it is missing; scripts/build-windows makes it before the tests).
include_guard(GLOBAL)

set(NORVIK_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source, built in the Windows tree")
if(NOT EXISTS ${NORVIK_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest source in ${NORVIK_GOOGLETEST_SOURCE}: scripts/setup installs it "
                      "(Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "Install GoogleTest with the Windows tree" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "Build GoogleMock with GoogleTest" FORCE)
add_subdirectory(${NORVIK_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest's own build names its targets GTest::gtest, GTest::gtest_main, GTest::gmock, as the
# installed package does on Linux: the tests link them the same way in both trees.

# The emulator is one program without arguments, so that gtest_discover_tests can use it too
# (CMake 3.25 passes no arguments of the emulator there): a script in the tree that runs
# scripts/wine-run in the tree's prefix. It also runs a program of the tree by hand.
set(NORVIK_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "The Wine prefix the tests run in")
set(norvik_wine_run ${CMAKE_BINARY_DIR}/wine-run)
file(CONFIGURE OUTPUT ${norvik_wine_run} @ONLY CONTENT [[#!/bin/sh
# Written by CMake at configure time: runs a program of this tree under Wine in its own prefix.
exec "@PROJECT_SOURCE_DIR@/scripts/wine-run" "@NORVIK_WINE_PREFIX@" "$@"
]])
file(CHMOD ${norvik_wine_run} FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${norvik_wine_run})
