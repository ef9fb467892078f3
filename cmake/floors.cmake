# The house's floors, held by the build itself: cmake/check-floors.py reads every source's
# #include "..." lines and fails, naming the file, the line and the header, where one crosses a
# floor the wrong way (the core, a tool or the benchmark including a layer's own header, say).
# Every library and program of a floor waits for the check, so `cmake --build` stops on it.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(GLOB_RECURSE VELMORA_CHECKED_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/radio/*.[ch]* ${PROJECT_SOURCE_DIR}/schedule/*.[ch]*
     ${PROJECT_SOURCE_DIR}/app/*.[ch]* ${PROJECT_SOURCE_DIR}/platform/*.[ch]*
     ${PROJECT_SOURCE_DIR}/tools/*.[ch]* ${PROJECT_SOURCE_DIR}/bench/*.[ch]*)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/floors-checked
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/check-floors.py ${PROJECT_SOURCE_DIR}
          ${PROJECT_BINARY_DIR}/floors-checked
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/check-floors.py ${VELMORA_CHECKED_SOURCES}
  COMMENT "Checking that every include keeps to its floor"
  VERBATIM)
add_custom_target(velmora_floors_checked DEPENDS ${PROJECT_BINARY_DIR}/floors-checked)

# Makes each target wait for the check.
function(velmora_floor)
  foreach(target ${ARGN})
    add_dependencies(${target} velmora_floors_checked)
  endforeach()
endfunction()
