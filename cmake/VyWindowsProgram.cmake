# vy_program(TARGET [GUI] [ASSETS FOLDER]) finishes a program: on Windows it embeds the
# application manifest, makes GUI programs windowed (no console) and copies the program, and
# the contents of FOLDER into dist/assets/, into dist/, the folder that ships; elsewhere it does
# nothing. vy_ship(TARGET) only copies a built file into dist/.
if(WIN32)
  enable_language(RC)
  set(VY_MANIFEST_RC ${CMAKE_BINARY_DIR}/app_manifest.rc)
  # 1 = the process manifest, 24 = RT_MANIFEST.
  file(WRITE ${VY_MANIFEST_RC} "1 24 \"${CMAKE_SOURCE_DIR}/cmake/windows/app.manifest\"\n")
  set(VY_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
endif()

function(vy_ship target)
  if(NOT WIN32)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VY_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${VY_DIST_DIR}/)
endfunction()

function(vy_program target)
  cmake_parse_arguments(P "GUI" "ASSETS" "" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  target_sources(${target} PRIVATE ${VY_MANIFEST_RC})
  set_property(SOURCE ${VY_MANIFEST_RC} APPEND PROPERTY OBJECT_DEPENDS
               ${CMAKE_SOURCE_DIR}/cmake/windows/app.manifest)
  if(P_GUI)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
  vy_ship(${target})
  if(P_ASSETS)
    get_filename_component(assets ${P_ASSETS} ABSOLUTE)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_directory ${assets} ${VY_DIST_DIR}/assets)
  endif()
endfunction()
