# The tests of the desktop Win32 build. The programs are checked to need no mingw DLLs; on
# x86_64 the GoogleTest programs run under Wine, in one prefix for the whole run: a ctest
# fixture sets it up and ends its server, and a resource lock keeps the tests that use it one
# at a time (each test makes a new phone in it by deleting the phone's keys).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(VELMORA_WINE_TESTS_DEFAULT ON)
else()
  set(VELMORA_WINE_TESTS_DEFAULT OFF)
endif()
option(VELMORA_WINE_TESTS "Build the tests that run under Wine" ${VELMORA_WINE_TESTS_DEFAULT})

find_program(VELMORA_OBJDUMP NAMES ${VELMORA_MINGW_TRIPLE}-objdump objdump REQUIRED)
add_test(NAME win32_programs_need_only_system_dlls
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VELMORA_OBJDUMP}
          -DPROGRAMS=$<TARGET_FILE:velmora>|$<TARGET_FILE:velmora-state>
          -DMACHINE=${CMAKE_SYSTEM_PROCESSOR}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/check_imports.cmake)

if(NOT VELMORA_WINE_TESTS)
  return()
endif()

# GoogleTest from its sources (Debian's googletest package), built with the cross compiler.
set(VELMORA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VELMORA_GTEST_SOURCE} googletest EXCLUDE_FROM_ALL)

file(GLOB WINE_SUPPORT_SOURCES CONFIGURE_DEPENDS support/win32/*.cpp)
add_library(velmora_wine_test_support STATIC ${WINE_SUPPORT_SOURCES})
target_link_libraries(velmora_wine_test_support PUBLIC velmora_core gtest)
target_include_directories(velmora_wine_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
# GoogleTest's and the platform's headers are most of each test's compile time.
target_precompile_headers(velmora_wine_test_support PRIVATE <gtest/gtest.h> <windows.h>
                          <commctrl.h> <tapi.h> <optional> <string> <vector>)
# As with the simulated phone's tests: through the precompiled header GCC 12's optimiser warns
# inside std::string's copies (bounds and overlaps that cannot happen). Off for the tests' code.
target_compile_options(velmora_wine_test_support PUBLIC -Wno-array-bounds -Wno-restrict
                       -Wno-stringop-overflow -Wno-stringop-overread)

set(VELMORA_TEST_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(VELMORA_WINE_ENVIRONMENT VELMORA_WINEPREFIX=${VELMORA_TEST_PREFIX} VELMORA_WINE_TIMEOUT=240)
add_test(NAME wine_prefix_setup COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix setup)
add_test(NAME wine_prefix_stop COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix stop)
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 400
  RESOURCE_LOCK wine_prefix ENVIRONMENT "${VELMORA_WINE_ENVIRONMENT}")
set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60
  RESOURCE_LOCK wine_prefix ENVIRONMENT "${VELMORA_WINE_ENVIRONMENT}")

# A GoogleTest program run under Wine, in the shared prefix with a display of its own.
function(add_wine_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE velmora_wine_test_support gtest_main)
  target_precompile_headers(${name} REUSE_FROM velmora_wine_test_support)
  target_link_options(${name} PRIVATE -static)
  add_dependencies(${name} velmora velmora-state)
  add_test(NAME ${name}
    COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix run --own-display $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix
    RESOURCE_LOCK wine_prefix TIMEOUT 300 ENVIRONMENT "${VELMORA_WINE_ENVIRONMENT}")
endfunction()

add_wine_test(test_platform_contract ${CONTRACT_TESTS} platform/contract/win32_phone.cpp)
file(GLOB WIN32_TESTS CONFIGURE_DEPENDS platform/win32/*_test.cpp)
add_wine_test(test_platform_win32 ${WIN32_TESTS})
file(GLOB APP_WINE_TESTS CONFIGURE_DEPENDS app/wine/*_test.cpp)
add_wine_test(test_app_wine ${APP_WINE_TESTS})
# The dialog's pictures are read back with the platform's own image codecs.
target_link_libraries(test_app_wine PRIVATE windowscodecs ole32 uuid)
