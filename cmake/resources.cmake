# The program's resources: the icon is drawn by tools/make-icon.py and app/velmora.rc is
# compiled with windres. On desktop Win32 the compiled resources are linked into each program
# as real resources; on the host the .res image's bytes become a static library that every
# executable links, so that FindResource finds them in the running program. Either way the core
# links velmora_resources.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(WIN32)
  set(VELMORA_WINDRES ${CMAKE_RC_COMPILER})
else()
  find_program(VELMORA_WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)
endif()

set(VELMORA_RES_DIR ${PROJECT_BINARY_DIR}/resources)
file(MAKE_DIRECTORY ${VELMORA_RES_DIR})

add_custom_command(
  OUTPUT ${VELMORA_RES_DIR}/velmora.ico
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/make-icon.py
          ${VELMORA_RES_DIR}/velmora.ico
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make-icon.py
  COMMENT "Drawing the icon"
  VERBATIM)

# windres preprocesses the script with the C compiler of the build (a host build needs no cross
# compiler) and reads it as UTF-8; the icon is found through the include path.
if(WIN32)
  set(VELMORA_RES_FORMAT coff)
  set(VELMORA_RES_FILE ${VELMORA_RES_DIR}/velmora_res.o)
else()
  set(VELMORA_RES_FORMAT res)
  set(VELMORA_RES_FILE ${VELMORA_RES_DIR}/velmora.res)
endif()
add_custom_command(
  OUTPUT ${VELMORA_RES_FILE}
  COMMAND ${VELMORA_WINDRES}
          --preprocessor=${CMAKE_C_COMPILER} --preprocessor-arg=-E --preprocessor-arg=-xc
          --preprocessor-arg=-DRC_INVOKED
          -c 65001 -I ${PROJECT_SOURCE_DIR}/app -I ${VELMORA_RES_DIR}
          -O ${VELMORA_RES_FORMAT} -i ${PROJECT_SOURCE_DIR}/app/velmora.rc -o ${VELMORA_RES_FILE}
  DEPENDS ${PROJECT_SOURCE_DIR}/app/velmora.rc ${PROJECT_SOURCE_DIR}/app/resource.h
          ${VELMORA_RES_DIR}/velmora.ico
  COMMENT "Compiling the resource script"
  VERBATIM)

if(WIN32)
  # An object file, not an archive member, so that every program that links it carries it.
  add_custom_target(velmora_resource_object DEPENDS ${VELMORA_RES_FILE})
  add_library(velmora_resources INTERFACE)
  target_link_libraries(velmora_resources INTERFACE ${VELMORA_RES_FILE})
  add_dependencies(velmora_resources velmora_resource_object)
  return()
endif()

add_custom_command(
  OUTPUT ${VELMORA_RES_DIR}/resource_image.cpp
  COMMAND ${CMAKE_COMMAND} -DINPUT=${VELMORA_RES_DIR}/velmora.res
          -DOUTPUT=${VELMORA_RES_DIR}/resource_image.cpp
          -P ${PROJECT_SOURCE_DIR}/cmake/embed-resources.cmake
  DEPENDS ${VELMORA_RES_DIR}/velmora.res ${PROJECT_SOURCE_DIR}/cmake/embed-resources.cmake
  COMMENT "Embedding the compiled resources"
  VERBATIM)

add_library(velmora_resources STATIC ${VELMORA_RES_DIR}/resource_image.cpp)
target_include_directories(velmora_resources PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(velmora_resources PRIVATE velmora_options)
