# Unit tests (GoogleTest, built from the sources Debian ships), the Windows-only tests
# (run under Wine through CMAKE_CROSSCOMPILING_EMULATOR) and the end-to-end tests that
# drive the real executable over pipes.

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

find_package(Python3 REQUIRED COMPONENTS Interpreter)

file(GLOB_RECURSE TESSIVA_UNIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(tessiva_unit_tests ${TESSIVA_UNIT_SOURCES})
target_link_libraries(tessiva_unit_tests PRIVATE tessiva_lib GTest::gtest_main)
target_include_directories(tessiva_unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
if(WIN32)
  target_link_options(tessiva_unit_tests PRIVATE -static)
endif()
add_test(NAME unit COMMAND tessiva_unit_tests --gtest_brief=1)

if(WIN32)
  file(GLOB_RECURSE TESSIVA_WINDOWS_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/*.cpp)
  if(TESSIVA_WINDOWS_TEST_SOURCES)
    add_executable(tessiva_windows_tests ${TESSIVA_WINDOWS_TEST_SOURCES})
    target_link_libraries(tessiva_windows_tests PRIVATE tessiva_lib GTest::gtest_main)
    target_include_directories(tessiva_windows_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_options(tessiva_windows_tests PRIVATE -static -municode)
    # Some of these tests read tessiva.exe itself (its icon and version resource).
    add_dependencies(tessiva_windows_tests tessiva)
    add_test(NAME windows COMMAND tessiva_windows_tests --gtest_brief=1)
    set_tests_properties(windows PROPERTIES RUN_SERIAL TRUE ENVIRONMENT "TESSIVA_WINE_STATE=${CMAKE_BINARY_DIR}/wine")
  endif()
  # The executable imports only kernel32 and the C runtime; every other system library
  # is loaded on first use, so that start-up does not pay for it.
  add_test(NAME imports COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/windows/check_imports.py
    $<TARGET_FILE:tessiva>)
  set(TESSIVA_E2E_HOST --wine ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh $<TARGET_FILE:tessiva>)
  # A library that the e2e tests plant beside a copy of tessiva.exe under a system
  # library's name: the host must never load it.
  add_library(tessiva_planted_library SHARED ${CMAKE_SOURCE_DIR}/tests/windows/planted_library.c)
  set_target_properties(tessiva_planted_library PROPERTIES PREFIX "")
  set(TESSIVA_E2E_EXTRA_ENVIRONMENT ";TESSIVA_PLANTED_LIBRARY=$<TARGET_FILE:tessiva_planted_library>")
  set_property(TEST unit PROPERTY ENVIRONMENT "TESSIVA_WINE_STATE=${CMAKE_BINARY_DIR}/wine")
  set_property(TEST unit PROPERTY RUN_SERIAL TRUE)
else()
  set(TESSIVA_E2E_HOST --native $<TARGET_FILE:tessiva>)
  set(TESSIVA_E2E_EXTRA_ENVIRONMENT "")
  if(TESSIVA_SANITIZE)
    # A sanitized host loads the sanitizers' runtimes and the shared C++ runtime.
    set(TESSIVA_E2E_EXTRA_ENVIRONMENT ";TESSIVA_HOST_SANITIZED=1")
  endif()
  # The program as the self-check's tests run it: the shipped sources and the test
  # settings of the check (tests/hooks), which the shipped program leaves out. Its test
  # gets both programs, to prove that the shipped one holds no trace of them.
  add_executable(tessiva_test_host ${TESSIVA_ENTRY} ${CMAKE_SOURCE_DIR}/tests/hooks/check_hooks.cpp)
  target_link_libraries(tessiva_test_host PRIVATE tessiva_lib)
  set(TESSIVA_E2E_HOST_test_check --native $<TARGET_FILE:tessiva_test_host> --shipped $<TARGET_FILE:tessiva>)
  set(TESSIVA_E2E_HOST_test_sandbox --native $<TARGET_FILE:tessiva_test_host>)
endif()

# Every e2e script is one ctest test, run against this build's executable. Every
# script test names Python by its path, never by the imported Python target: ctest
# would run a target through the cross-compiling emulator (Wine), which loses the
# script's exit status (the test "test_commands" below fails when one does).
file(GLOB TESSIVA_E2E_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
foreach(script ${TESSIVA_E2E_SCRIPTS})
  get_filename_component(name ${script} NAME_WE)
  set(host ${TESSIVA_E2E_HOST})
  if(DEFINED TESSIVA_E2E_HOST_${name})
    set(host ${TESSIVA_E2E_HOST_${name}})
  endif()
  add_test(NAME e2e_${name}
    COMMAND ${Python3_EXECUTABLE} ${script} ${host})
  set_property(TEST e2e_${name} PROPERTY ENVIRONMENT
    "TESSIVA_WINE_STATE=${CMAKE_BINARY_DIR}/wine;PYTHONDONTWRITEBYTECODE=1;TESSIVA_BARE_ONCE=$<TARGET_FILE:bare_once>${TESSIVA_E2E_EXTRA_ENVIRONMENT}")
  set_property(TEST e2e_${name} PROPERTY TIMEOUT 600)
  if(WIN32)
    # The Wine tests of one build share one prefix, and with it one config.json.
    set_property(TEST e2e_${name} PROPERTY RUN_SERIAL TRUE)
  endif()
endforeach()

# Fault tests (hosts killed, floods, full disks, files held open) are scripts like the
# end-to-end ones and print the seed of their random choices. Under Wine they share one
# prefix of their own, apart from the end-to-end tests' (they kill hosts and leave
# random settings behind), and use a small Windows helper that holds files open and
# reads handle counts.
set(TESSIVA_FAULT_ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")
if(WIN32)
  add_executable(tessiva_fault_helper ${CMAKE_SOURCE_DIR}/tests/faults/fault_helper.cpp)
  target_include_directories(tessiva_fault_helper PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_options(tessiva_fault_helper PRIVATE -static -municode)
  list(APPEND TESSIVA_FAULT_ENVIRONMENT "TESSIVA_WINE_STATE=${CMAKE_BINARY_DIR}/wine-faults"
    "TESSIVA_FAULT_HELPER=$<TARGET_FILE:tessiva_fault_helper>")
endif()
file(GLOB TESSIVA_FAULT_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/faults/test_*.py)
foreach(script ${TESSIVA_FAULT_SCRIPTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME fault_${name} COMMAND ${Python3_EXECUTABLE} ${script} ${TESSIVA_E2E_HOST})
  set_property(TEST fault_${name} PROPERTY ENVIRONMENT "${TESSIVA_FAULT_ENVIRONMENT}")
  set_property(TEST fault_${name} PROPERTY TIMEOUT 300)
  # A script that cannot run here (no right to mount, a Windows-only test) says why
  # and exits with 77.
  set_property(TEST fault_${name} PROPERTY SKIP_RETURN_CODE 77)
  if(WIN32)
    # The flood takes minutes under Wine, where every file operation of the host is a
    # round trip to the wineserver.
    set_property(TEST fault_${name} PROPERTY TIMEOUT 600)
    set_property(TEST fault_${name} PROPERTY RUN_SERIAL TRUE)
  endif()
endforeach()

if(TARGET tessiva_msi)
  # The Windows installer package, installed, upgraded, repaired and removed under Wine
  # in a prefix of the test's own.
  add_test(NAME package_msi COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/package/test_msi.py
    ${TESSIVA_E2E_HOST})
  set_property(TEST package_msi PROPERTY ENVIRONMENT
    "TESSIVA_MSI=${TESSIVA_MSI};TESSIVA_MAKE_MSI=${CMAKE_BINARY_DIR}/make_msi.sh;PYTHONDONTWRITEBYTECODE=1")
  set_property(TEST package_msi PROPERTY TIMEOUT 600)
endif()

if(NOT WIN32)
  # The Debian package, built and read back where dpkg-deb exists; from the release
  # build only, as it is shipped.
  find_program(TESSIVA_DPKG_DEB dpkg-deb)
  if(TESSIVA_DPKG_DEB AND NOT TESSIVA_SANITIZE)
    add_test(NAME package_deb COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/package/test_deb.py
      ${CMAKE_BINARY_DIR})
    set_property(TEST package_deb PROPERTY TIMEOUT 600)
  endif()

  # Tests that need libraries only the build machine has (libpng reads our PNGs back).
  find_package(PNG REQUIRED)
  file(GLOB_RECURSE TESSIVA_NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
  add_executable(tessiva_native_tests ${TESSIVA_NATIVE_TEST_SOURCES})
  target_link_libraries(tessiva_native_tests PRIVATE tessiva_lib GTest::gtest_main PNG::PNG)
  target_include_directories(tessiva_native_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME native COMMAND tessiva_native_tests --gtest_brief=1)
  # Code under test that finds its folders through HOME and the XDG variables must
  # never reach the real profile of whoever runs the tests: both programs get a
  # private home in the build folder.
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-home)
  set_property(TEST unit native PROPERTY ENVIRONMENT_MODIFICATION
    "HOME=set:${CMAKE_BINARY_DIR}/test-home" XDG_CONFIG_HOME=unset: XDG_CACHE_HOME=unset:
    XDG_DATA_HOME=unset: XDG_STATE_HOME=unset:)
  # A GTK module that the picker test loads into the host (GTK_MODULES) to read what its
  # dialogs show: titles, buttons, labels, and the rows of lists with their icons.
  add_library(tessiva_dialog_probe MODULE ${CMAKE_SOURCE_DIR}/tests/e2e/dialog_probe.c)
  target_include_directories(tessiva_dialog_probe SYSTEM PRIVATE ${TESSIVA_DESKTOP_INCLUDE_DIRS})
  target_link_libraries(tessiva_dialog_probe PRIVATE ${TESSIVA_DESKTOP_LINK_LIBRARIES})
  target_compile_options(tessiva_dialog_probe PRIVATE -Wall -Wextra -Werror)
  set_property(TEST e2e_test_pickers_display APPEND PROPERTY ENVIRONMENT
    "TESSIVA_DIALOG_PROBE=$<TARGET_FILE:tessiva_dialog_probe>")
  add_test(NAME nmclient COMMAND ${Python3_EXECUTABLE} -m unittest discover -s ${CMAKE_SOURCE_DIR}/tools/nmclient -p "test_*.py")
endif()

# No file includes a header of a layer above its own (the map comes from tessiva_layer).
add_test(NAME layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/layers/check_includes.py
  ${TESSIVA_LAYER_MAP} ${CMAKE_SOURCE_DIR}/src)

# A test that could not fail is worse than none: this one fails when a registered test
# is started through the emulator (Wine) without being a Windows program, or runs a
# script with another Python than the real one.
add_test(NAME test_commands COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/suite/check_test_commands.py
  ${CMAKE_CTEST_COMMAND} ${CMAKE_BINARY_DIR} ${Python3_EXECUTABLE})
