# orvane_install_pkg_config(<template.pc.in>): installs <name>.pc into
# <libdir>/pkgconfig of the dev component. The file is written when it is
# installed, with @prefix@ the prefix of that install, so the same build
# gives /usr in the Debian package and ~/.local for
# `cmake --install build --prefix ~/.local`. The template may also use
# @libdir@, @includedir@ (relative to the prefix) and @PROJECT_VERSION@.
function(orvane_install_pkg_config template)
  get_filename_component(name ${template} NAME)
  string(REGEX REPLACE "\\.in$" "" name ${name})
  get_filename_component(template ${template} ABSOLUTE)
  set(staged ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name})
  install(CODE "
    set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
    set(libdir \"${CMAKE_INSTALL_LIBDIR}\")
    set(includedir \"${CMAKE_INSTALL_INCLUDEDIR}\")
    set(PROJECT_VERSION \"${PROJECT_VERSION}\")
    configure_file(\"${template}\" \"${staged}\" @ONLY)"
    COMPONENT dev)
  install(FILES ${staged} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endfunction()
