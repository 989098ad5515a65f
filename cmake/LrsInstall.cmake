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
