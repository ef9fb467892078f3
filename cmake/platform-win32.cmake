# Desktop Win32 (mingw-w64, run under Wine): the platform's own libraries answer the calls, and
# platform/win32/ keeps the phone's state in the prefix's registry and adds the calls only the
# phone has. Defines velmora_seam (what compiling against the seam takes), velmora_win32, the
# layer, as velmora_platform, and VELMORA_ENTRY_SOURCES, the process entry that hands the wide
# command line to the program's WinMain.
add_library(velmora_seam INTERFACE)
target_include_directories(velmora_seam INTERFACE ${PROJECT_SOURCE_DIR})
# Wide strings throughout, as on the phone.
target_compile_definitions(velmora_seam INTERFACE UNICODE _UNICODE)
target_link_libraries(velmora_seam INTERFACE velmora_options)

file(GLOB WIN32_SOURCES CONFIGURE_DEPENDS platform/win32/*.cpp)
list(REMOVE_ITEM WIN32_SOURCES ${PROJECT_SOURCE_DIR}/platform/win32/process_main.cpp)
set(VELMORA_LAYER velmora_win32)
add_library(velmora_win32 STATIC ${WIN32_SOURCES})
# Telephony is the phone's own (platform/phone/): tapi32 is not linked.
target_link_libraries(velmora_win32 PUBLIC velmora_seam comctl32 user32 gdi32 advapi32 ntdll)
add_library(velmora_platform ALIAS velmora_win32)
# The platform's headers are most of each file's compile time.
target_precompile_headers(velmora_win32 PRIVATE <windows.h> <commctrl.h> <tapi.h> <optional>
                          <string> <vector>)

set(VELMORA_ENTRY_SOURCES ${PROJECT_SOURCE_DIR}/platform/win32/process_main.cpp)
# The phone's entry takes a wide command line (wWinMain); the programs need no mingw DLLs.
set(VELMORA_PROGRAM_LINK_OPTIONS -municode -mwindows -static)
set(VELMORA_TOOL_LINK_OPTIONS -municode -static)
# Every program in one folder, so that the tests find the programs they start beside them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
