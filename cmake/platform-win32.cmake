# Desktop Win32 (mingw-w64, run under Wine): the platform's own libraries answer the calls, and
# platform/win32/ adds the phone's rules and the calls only the phone has. Defines
# velmora_platform, the library the portable core links, and VELMORA_ENTRY_SOURCES, the
# process entry that hands the wide command line to the program's WinMain.
file(GLOB WIN32_SOURCES CONFIGURE_DEPENDS platform/win32/*.cpp)
list(REMOVE_ITEM WIN32_SOURCES ${PROJECT_SOURCE_DIR}/platform/win32/process_main.cpp)
# The dialog's line commands and the phone's own rules, which every layer serves.
file(GLOB PHONE_SOURCES CONFIGURE_DEPENDS platform/phone/*.cpp)
list(APPEND WIN32_SOURCES ${PROJECT_SOURCE_DIR}/platform/dialog_script.cpp ${PHONE_SOURCES})
add_library(velmora_win32 STATIC ${WIN32_SOURCES})
target_include_directories(velmora_win32 PUBLIC ${PROJECT_SOURCE_DIR})
# Wide strings throughout, as on the phone. Telephony is the layer's own: tapi32 is not linked.
target_compile_definitions(velmora_win32 PUBLIC UNICODE _UNICODE)
target_link_libraries(velmora_win32 PUBLIC velmora_options comctl32 user32 gdi32 advapi32 ntdll)
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
