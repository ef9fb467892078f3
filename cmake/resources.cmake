# The program's resources: the icon is drawn by tools/make-icon.py, app/velmora.rc is compiled
# with windres into a .res image, and the image's bytes become a static library that every
# executable links, so that FindResource finds them in the running program.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(VELMORA_WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)

set(VELMORA_RES_DIR ${PROJECT_BINARY_DIR}/resources)
file(MAKE_DIRECTORY ${VELMORA_RES_DIR})

add_custom_command(
  OUTPUT ${VELMORA_RES_DIR}/velmora.ico
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/make-icon.py
          ${VELMORA_RES_DIR}/velmora.ico
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make-icon.py
  COMMENT "Drawing the icon"
  VERBATIM)

# windres preprocesses the script with the host's C compiler (no cross compiler is needed) and
# reads it as UTF-8; the icon is found through the include path.
add_custom_command(
  OUTPUT ${VELMORA_RES_DIR}/velmora.res
  COMMAND ${VELMORA_WINDRES}
          --preprocessor=${CMAKE_C_COMPILER} --preprocessor-arg=-E --preprocessor-arg=-xc
          --preprocessor-arg=-DRC_INVOKED
          -c 65001 -I ${PROJECT_SOURCE_DIR}/app -I ${VELMORA_RES_DIR}
          -O res -i ${PROJECT_SOURCE_DIR}/app/velmora.rc -o ${VELMORA_RES_DIR}/velmora.res
  DEPENDS ${PROJECT_SOURCE_DIR}/app/velmora.rc ${PROJECT_SOURCE_DIR}/app/resource.h
          ${VELMORA_RES_DIR}/velmora.ico
  COMMENT "Compiling the resource script"
  VERBATIM)

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
