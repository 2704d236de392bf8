# The layers of the source: each folder is one static library that links only the layers below
# it. Beside linking, every build checks what each file of a layer includes: a project header
# only from the layer itself or the folders it may use, and for every layer but the windows' (the
# configurator's form/ and the station's operator/, each marked GUI) no
# header of Qt GUI or Qt Widgets, so that the engine can never come to need a display.

set(VESTRA_QT_HEADERS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_HEADERS}")

# vestra_layer(FOLDER USES folder... LINKS target... [GUI])
function(vestra_layer folder)
  cmake_parse_arguments(LAYER "GUI" "" "USES;LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.h)
  vestra_platform_sources(sources)
  set(target vestra_${folder})
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${LAYER_LINKS})
  vestra_check_layer(${target} ${folder} "${LAYER_USES}" ${LAYER_GUI} ${sources})
endfunction()

# The check of `target`'s files, run whenever one of them changes.
function(vestra_check_layer target folder uses gui)
  set(files ${ARGN})
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.layer-checked)
  string(REPLACE ";" "," files_arg "${files}")
  string(REPLACE ";" "," uses_arg "${folder};${uses}")
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFILES=${files_arg} -DUSES=${uses_arg} -DGUI=${gui}
            -DQT_HEADERS=${VESTRA_QT_HEADERS} -DSTAMP=${stamp}
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayer.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/CheckLayer.cmake
    COMMENT "Checking the includes of ${folder}/" VERBATIM)
  add_custom_target(${target}_layer DEPENDS ${stamp})
  add_dependencies(${target} ${target}_layer)
endfunction()
