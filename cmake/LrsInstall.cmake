# Install helpers shared by the program folders. Each folder installs what
# it builds (program, man page, completion, desktop file, icon); the
# packaging (packaging/CMakeLists.txt) takes whatever they install.
include(GNUInstallDirs)

# Installs a man page, compressed as Debian wants it: lrs_install_man_page(FILE SECTION)
function(lrs_install_man_page source section)
  get_filename_component(name ${source} NAME)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND gzip -9n -c ${source} > ${compressed}
                     DEPENDS ${source}
                     COMMENT "Compressing man page ${name}")
  add_custom_target(man_${name} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()

# Renders the program icon's hicolor PNG sizes from its SVG with
# rsvg-convert (Debian's librsvg2-bin) at build time, and installs them
# with the SVG: lrs_install_icons(SVG NAME). Without rsvg-convert only the
# SVG is installed, unless LRS_ICONS_REQUIRED (the package build) asks for
# the sizes.
option(LRS_ICONS_REQUIRED "Fail the configure when the icon sizes cannot be rendered" OFF)
find_program(LRS_RSVG_CONVERT rsvg-convert)
set(LRS_ICON_SIZES 16 24 32 48 64 128 256)
function(lrs_install_icons svg name)
  install(FILES ${svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${name}.svg)
  if(NOT LRS_RSVG_CONVERT)
    if(LRS_ICONS_REQUIRED)
      message(FATAL_ERROR "rsvg-convert (librsvg2-bin) is needed for the icon sizes of ${name}")
    endif()
    message(STATUS "rsvg-convert not found: ${name} installs its SVG icon only")
    return()
  endif()
  set(pngs)
  foreach(size ${LRS_ICON_SIZES})
    set(png ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/${name}.png)
    add_custom_command(OUTPUT ${png}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}
                       COMMAND ${LRS_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
                       DEPENDS ${svg}
                       COMMENT "Rendering ${name} icon at ${size}x${size}")
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    list(APPEND pngs ${png})
  endforeach()
  add_custom_target(icons_${name} ALL DEPENDS ${pngs})
endfunction()
