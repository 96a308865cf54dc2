# Installed layout. On Linux the programs, the render engine and the programs' assets share one
# private folder, lib/quillmark, as they share build/bin: each program finds the engine and its
# assets beside itself (its folder is read from /proc/self/exe, so through a link too), and bin/
# holds links to the programs. On Windows everything lands in the installation folder itself.
include(GNUInstallDirs)
set(VY_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
if(WIN32)
  set(VY_INSTALL_PROGRAM_DIR .)
else()
  set(VY_INSTALL_PROGRAM_DIR lib/quillmark)
endif()

# The hicolor theme's sizes that desktops look up before falling back to the scalable icon.
set(VY_ICON_SIZES 16 22 24 32 48 64 128 256)
find_program(VY_RSVG_CONVERT rsvg-convert)
find_program(VY_GZIP gzip)

# vy_install_program(TARGET [DESKTOP NAME] [ASSETS FOLDER] [MAN PAGE]) installs a program (or the
# engine library) into the program folder, with a link in bin/ for programs. DESKTOP installs
# packaging/linux/NAME.desktop and the icon packaging/icons/NAME.svg; ASSETS copies FOLDER beside
# the program as assets/; MAN installs packaging/man/PAGE (say quillmark.1), compressed.
function(vy_install_program target)
  cmake_parse_arguments(I "" "DESKTOP;ASSETS;MAN" "" ${ARGN})
  install(TARGETS ${target}
    RUNTIME DESTINATION ${VY_INSTALL_PROGRAM_DIR}
    LIBRARY DESTINATION ${VY_INSTALL_PROGRAM_DIR}
    # mingw's import library is of no use to anything installed.
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} EXCLUDE_FROM_ALL)
  set_property(GLOBAL APPEND PROPERTY VY_INSTALLED_TARGETS ${target})
  if(I_ASSETS)
    install(DIRECTORY ${I_ASSETS}/ DESTINATION ${VY_INSTALL_PROGRAM_DIR}/assets)
  endif()
  if(WIN32)
    if(I_DESKTOP)
      vy_install_icon(${I_DESKTOP})
    endif()
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    file(RELATIVE_PATH into /${CMAKE_INSTALL_BINDIR} /${VY_INSTALL_PROGRAM_DIR}/${target})
    set(link ${CMAKE_BINARY_DIR}/install-links/${target})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
    file(CREATE_LINK ${into} ${link} SYMBOLIC)
    install(FILES ${link} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  if(I_DESKTOP)
    install(FILES ${VY_PACKAGING_DIR}/linux/${I_DESKTOP}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    vy_install_icon(${I_DESKTOP})
  endif()
  if(I_MAN)
    string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${I_MAN})
    set(gz ${CMAKE_BINARY_DIR}/man/${I_MAN}.gz)
    # -n leaves the time and name out, so that the package is the same from build to build.
    add_custom_command(OUTPUT ${gz}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${VY_GZIP} -9nc ${VY_PACKAGING_DIR}/man/${I_MAN} > ${gz}
      DEPENDS ${VY_PACKAGING_DIR}/man/${I_MAN} VERBATIM)
    add_custom_target(man_${target} ALL DEPENDS ${gz})
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endif()
endfunction()

# vy_install_icon(NAME) renders packaging/icons/NAME.svg into every hicolor size and installs
# those with the scalable original; on Windows it packs them into NAME.ico beside the programs,
# for the Start-menu entries.
function(vy_install_icon name)
  if(NOT VY_RSVG_CONVERT)
    message(FATAL_ERROR "vy_install_icon: rsvg-convert (librsvg2-bin) is needed to render ${name}.svg")
  endif()
  set(svg ${VY_PACKAGING_DIR}/icons/${name}.svg)
  set(theme ${CMAKE_BINARY_DIR}/icons/hicolor)
  set(outputs)
  foreach(size ${VY_ICON_SIZES})
    set(png ${theme}/${size}x${size}/apps/${name}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${theme}/${size}x${size}/apps
      COMMAND ${VY_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
      DEPENDS ${svg} VERBATIM)
    list(APPEND outputs ${png})
    if(NOT WIN32)
      install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endif()
  endforeach()
  if(WIN32)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(ico ${CMAKE_BINARY_DIR}/icons/${name}.ico)
    add_custom_command(OUTPUT ${ico}
      COMMAND Python3::Interpreter ${VY_PACKAGING_DIR}/icons/png_to_ico.py ${ico} ${outputs}
      DEPENDS ${outputs} ${VY_PACKAGING_DIR}/icons/png_to_ico.py VERBATIM)
    add_custom_target(icon_${name} ALL DEPENDS ${ico})
    install(FILES ${ico} DESTINATION ${VY_INSTALL_PROGRAM_DIR})
    return()
  endif()
  add_custom_target(icon_${name} ALL DEPENDS ${outputs})
  install(FILES ${svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endfunction()
