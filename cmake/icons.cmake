# The program's icon files (SVG, PNG, ICO), drawn by our own picture code at
# build time into ${VELLUM_ICONS_DIR}; the target vellum_icons makes them.
# A cross build cannot run what it builds, so there vellum-icons is made with
# the build machine's own compiler: it needs nothing but the C++ library.
set(VELLUM_ICONS_DIR ${CMAKE_BINARY_DIR}/icons)
set(VELLUM_ICON_FILES ${VELLUM_ICONS_DIR}/vellum.svg ${VELLUM_ICONS_DIR}/vellum-48.png
                      ${VELLUM_ICONS_DIR}/vellum-128.png ${VELLUM_ICONS_DIR}/vellum.ico)
set(icon_sources ${PROJECT_SOURCE_DIR}/tools/icons.cpp ${PROJECT_SOURCE_DIR}/app/pictures.cpp)

if(CMAKE_CROSSCOMPILING)
  find_program(VELLUM_BUILD_MACHINE_CXX NAMES c++ g++ REQUIRED)
  set(icons_tool ${CMAKE_BINARY_DIR}/build-machine/vellum-icons)
  add_custom_command(OUTPUT ${icons_tool}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/build-machine
    COMMAND ${VELLUM_BUILD_MACHINE_CXX} -std=c++20 -O2 -Wall -Wextra -Wconversion -Werror
            -I${PROJECT_SOURCE_DIR} ${icon_sources} -o ${icons_tool}
    DEPENDS ${icon_sources} ${PROJECT_SOURCE_DIR}/app/pictures.h
    COMMENT "Building vellum-icons for the build machine"
    VERBATIM)
else()
  add_executable(vellum-icons ${icon_sources})
  target_include_directories(vellum-icons PRIVATE ${PROJECT_SOURCE_DIR})
  vellum_warnings(vellum-icons)
  set(icons_tool vellum-icons)
endif()

add_custom_command(OUTPUT ${VELLUM_ICON_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VELLUM_ICONS_DIR}
  COMMAND ${icons_tool} ${VELLUM_ICONS_DIR}
  DEPENDS ${icons_tool}
  COMMENT "Drawing the program's icons"
  VERBATIM)
add_custom_target(vellum_icons ALL DEPENDS ${VELLUM_ICON_FILES})
