# The simulated phone: the seam's implementation on a development host (platform/host/), over
# SQLite and ncurses. Defines velmora_seam (what compiling against the seam takes),
# velmora_host, the layer, as velmora_platform, and VELMORA_ENTRY_SOURCES, the process entry
# that hands the command line to the program's WinMain.
find_package(SQLite3 REQUIRED)

# The phone starts the program afresh at every switch. Loading shared libraries (and relocating
# the C++ library) is most of such a short process's start-up time and resident memory, so the
# programs are linked statically where a static SQLite is installed. Sanitizers need dynamic
# linking.
set(VELMORA_LINK_STATIC OFF)
if(VELMORA_STATIC AND NOT VELMORA_SANITIZE)
  find_library(VELMORA_SQLITE3_ARCHIVE NAMES libsqlite3.a)
  if(VELMORA_SQLITE3_ARCHIVE)
    set_target_properties(SQLite::SQLite3 PROPERTIES IMPORTED_LOCATION ${VELMORA_SQLITE3_ARCHIVE})
    set(VELMORA_LINK_STATIC ON)
  endif()
endif()

# The dialog's full-screen terminal interface: wide-character ncurses and its terminfo library,
# as archives when the programs are linked statically.
set(CURSES_NEED_NCURSES TRUE)
set(CURSES_NEED_WIDE TRUE)
find_package(Curses REQUIRED)
if(VELMORA_LINK_STATIC)
  find_library(VELMORA_NCURSESW NAMES libncursesw.a)
  find_library(VELMORA_TINFO NAMES libtinfo.a)
endif()
find_library(VELMORA_NCURSESW NAMES ncursesw REQUIRED)
find_library(VELMORA_TINFO NAMES tinfo)
set(VELMORA_CURSES_LIBRARIES ${VELMORA_NCURSESW})
if(VELMORA_TINFO)
  list(APPEND VELMORA_CURSES_LIBRARIES ${VELMORA_TINFO})
endif()

add_library(velmora_seam INTERFACE)
target_include_directories(velmora_seam INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_definitions(velmora_seam INTERFACE VELMORA_SIMULATED_PHONE)
target_link_libraries(velmora_seam INTERFACE velmora_options)

file(GLOB HOST_SOURCES CONFIGURE_DEPENDS platform/host/*.cpp)
list(REMOVE_ITEM HOST_SOURCES ${PROJECT_SOURCE_DIR}/platform/host/process_main.cpp
                              ${PROJECT_SOURCE_DIR}/platform/host/static_link.cpp)
set(VELMORA_LAYER velmora_host)
add_library(velmora_host STATIC ${HOST_SOURCES})
target_link_libraries(velmora_host PUBLIC velmora_seam PRIVATE SQLite::SQLite3
                      ${VELMORA_CURSES_LIBRARIES})
target_include_directories(velmora_host PRIVATE ${CURSES_INCLUDE_DIRS})
add_library(velmora_platform ALIAS velmora_host)

set(VELMORA_ENTRY_SOURCES ${PROJECT_SOURCE_DIR}/platform/host/process_main.cpp)
if(VELMORA_LINK_STATIC)
  # SQLite's extension loading refers to dlopen, which the linker warns about in a static
  # program; nothing here loads an extension, so the static programs take a dlopen that always
  # fails (static_link.cpp, linked into each program itself, after the libraries have been read)
  # and the build stays quiet.
  set(VELMORA_PROGRAM_LINK_OPTIONS -static -Wl,--wrap=dlopen)
  set(VELMORA_PROGRAM_SOURCES ${PROJECT_SOURCE_DIR}/platform/host/static_link.cpp)
endif()
