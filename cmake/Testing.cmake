# Test plumbing shared by both builds.
#
# Host build: GoogleTest from the system, tests labelled "native".
# Windows builds: GoogleTest cross-compiled from Debian's sources, every test program run under
# Wine through CMAKE_CROSSCOMPILING_EMULATOR in a throwaway prefix inside the build directory
# (never ~/.wine), tests labelled "wine". The prefix is created and warmed once by the
# "wine_prefix" fixture and its wineserver is stopped after the run. The 64-bit build runs in a
# win64 prefix through the 64-bit loader, so its programs and the script hosts, regsvr32 and reg
# that its tests start are the 64-bit ones (scripts/wine-env.sh).
include(CTest)
if(NOT BUILD_TESTING)
  return()
endif()

if(PELLMORA_WINDOWS)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(PELLMORA_GTEST_LIBS gtest gtest_main)
  set(PELLMORA_TEST_LABEL wine)

  set(PELLMORA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  if(PELLMORA_WINE_ARCH STREQUAL "win64")
    set(PELLMORA_WINE_LOADER /usr/lib/wine/wine64)
  else()
    set(PELLMORA_WINE_LOADER wine)
  endif()
  # Every Wine test runs in the prefix's environment, as the shell-driven tests do: where this
  # machine has no 32-bit Wine of its own, the 32-bit programs run in the emulated i386 root
  # (scripts/wine-env.sh decides at run time).
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh ${PELLMORA_WINE_PREFIX} run ${PELLMORA_WINE_LOADER})

  add_test(NAME wine_prefix_start
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh ${PELLMORA_WINE_PREFIX} start ${PELLMORA_WINE_ARCH})
  # Making the emulated i386 root, where one is needed and none is cached, takes minutes.
  set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine_prefix LABELS wine TIMEOUT 1800)
  add_test(NAME wine_prefix_stop
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh ${PELLMORA_WINE_PREFIX} stop)
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS wine)
else()
  find_package(GTest REQUIRED)
  set(PELLMORA_GTEST_LIBS GTest::gtest GTest::gtest_main)
  set(PELLMORA_TEST_LABEL native)
endif()

# pellmora_add_gtest(<name> SOURCES <files...> [LIBS <targets...>])
# Builds one GoogleTest program and registers it with CTest for the current build.
function(pellmora_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${PELLMORA_GTEST_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  pellmora_label_test(${name})
  if(PELLMORA_WINDOWS)
    # A program that crashes under Wine can still end with exit code 0 (seen with the 64-bit
    # loader, the crash in a thread of its own): Wine's report of the crash fails the test.
    set_tests_properties(${name} PROPERTIES FAIL_REGULAR_EXPRESSION "wine: Unhandled")
  endif()
endfunction()

# pellmora_label_test(<test>): labels a registered test and, on the Windows build, ties it to
# the Wine prefix fixture.
function(pellmora_label_test name)
  set_tests_properties(${name} PROPERTIES LABELS ${PELLMORA_TEST_LABEL} TIMEOUT 600)
  if(PELLMORA_WINDOWS)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
  endif()
endfunction()
