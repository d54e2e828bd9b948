# What `cmake --install` puts where, in two components: "program" (the bot, its shared
# files, the sample plug-ins, the man page, the systemd user units and, with the window, the
# desktop entry) and "sdk" (the plug-in header and its pkg-config file); and the Debian
# packages CPack makes of them. tools/package.sh builds twice, with and without the window,
# to make all three packages.

set(CORVANE_APP_ID "net.corvane.Corvane" CACHE STRING
    "Reverse-DNS id of the desktop program in its AppStream metadata")
set(CORVANE_PACKAGE_MAINTAINER "Corvane developers <corvane@example.org>" CACHE STRING
    "Maintainer field of the Debian packages")

# The window program and the console-only one both install /usr/bin/corvane and its shared
# files, so their packages replace each other.
if(TARGET corvane_ui)
  set(corvane_package corvane)
  set(corvane_other_package corvane-headless)
else()
  set(corvane_package corvane-headless)
  set(corvane_other_package corvane)
endif()
set(corvane_docdir ${CMAKE_INSTALL_DATADIR}/doc/${corvane_package})
set(corvane_sdk_docdir ${CMAKE_INSTALL_DATADIR}/doc/corvane-dev)
set(corvane_datadir ${CMAKE_INSTALL_DATADIR}/corvane)
set(corvane_package_src ${CMAKE_SOURCE_DIR}/tools/package)
set(corvane_install_gen ${CMAKE_BINARY_DIR}/install)

# Dates of the changelog and the AppStream release: string(TIMESTAMP) honours
# SOURCE_DATE_EPOCH, which tools/package.sh sets to the commit's time, so that the same
# commit gives the same packages.
string(TIMESTAMP corvane_release_date "%Y-%m-%d" UTC)
string(TIMESTAMP corvane_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)

# Debian wants the man page and the changelog compressed, without a time stamp; where gzip
# is missing they are installed as they are.
find_program(CORVANE_GZIP gzip)
set(corvane_compressed)
function(corvane_compress source out_var)
  get_filename_component(name ${source} NAME)
  set(plain ${corvane_install_gen}/${name})
  if(CORVANE_GZIP)
    add_custom_command(OUTPUT ${plain}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
      COMMAND ${CORVANE_GZIP} -9nf ${plain}
      DEPENDS ${source}
      VERBATIM)
    set(${out_var} ${plain}.gz PARENT_SCOPE)
    set(corvane_compressed ${corvane_compressed} ${plain}.gz PARENT_SCOPE)
  else()
    set(${out_var} ${source} PARENT_SCOPE)
  endif()
endfunction()

configure_file(${corvane_package_src}/changelog.in ${corvane_install_gen}/src/changelog @ONLY)
corvane_compress(${corvane_install_gen}/src/changelog corvane_changelog)
corvane_compress(${CMAKE_SOURCE_DIR}/docs/corvane.1 corvane_man)
add_custom_target(corvane_install_files ALL DEPENDS ${corvane_compressed})

# ---- program ----------------------------------------------------------------------------
install(TARGETS corvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(FILES ${corvane_languages} DESTINATION ${corvane_datadir}/lang COMPONENT program)
install(FILES ${corvane_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
foreach(unit corvane.service corvane@.service)
  configure_file(${CMAKE_SOURCE_DIR}/tools/systemd/${unit}.in ${corvane_install_gen}/${unit}
                 @ONLY)
  install(FILES ${corvane_install_gen}/${unit}
          DESTINATION lib/systemd/user COMPONENT program)
endforeach()
install(FILES README.md docs/headless.md docs/plugins.md ${corvane_changelog}
              ${corvane_package_src}/copyright
        DESTINATION ${corvane_docdir} COMPONENT program)

# The window's own files: the member icons and the application icon it shows, and what a
# desktop needs to list it. A console-only build has no use for them.
if(TARGET corvane_ui)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/ DESTINATION ${corvane_datadir}/icons
          COMPONENT program FILES_MATCHING PATTERN "*.bmp")
  # The window finds its own icon among the shipped ones: links to the desktop's copies.
  file(MAKE_DIRECTORY ${corvane_install_gen}/icons)
  foreach(size 16 22 24 32 48 64 128 256)
    set(theme_dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    install(FILES ${CMAKE_BINARY_DIR}/icons/corvane-${size}.png DESTINATION ${theme_dir}
            RENAME corvane.png COMPONENT program)
    file(CREATE_LINK ../../icons/hicolor/${size}x${size}/apps/corvane.png
         ${corvane_install_gen}/icons/corvane-${size}.png SYMBOLIC)
    install(FILES ${corvane_install_gen}/icons/corvane-${size}.png
            DESTINATION ${corvane_datadir}/icons COMPONENT program)
  endforeach()
  install(FILES ${corvane_package_src}/corvane.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)
  configure_file(${corvane_package_src}/corvane.metainfo.xml.in
                 ${corvane_install_gen}/${CORVANE_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${corvane_install_gen}/${CORVANE_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT program)
endif()

# ---- sdk: the plug-in header alone, so its pkg-config file is architecture-independent ---
install(FILES include/corvane/plugin.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvane
        COMPONENT sdk)
configure_file(${corvane_package_src}/corvane-plugin.pc.in ${corvane_install_gen}/corvane-plugin.pc
               @ONLY)
install(FILES ${corvane_install_gen}/corvane-plugin.pc
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pkgconfig COMPONENT sdk)
install(FILES docs/plugins.md ${corvane_changelog} ${corvane_package_src}/copyright
        DESTINATION ${corvane_sdk_docdir} COMPONENT sdk)

# ---- the Debian packages (cpack in the build folder; tools/package.sh) -------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# The prefix the configured files (units, pkg-config file) name: /usr for Debian.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
# Not the umask of whoever builds.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program sdk)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CORVANE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SOURCE corvane)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME ${corvane_package})
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_CONFLICTS ${corvane_other_package})
set(CPACK_DEBIAN_PROGRAM_PACKAGE_REPLACES ${corvane_other_package})
# Description lines stay under 80 columns.
set(corvane_about
    "Corvane logs on to a Battle.net-protocol chat server (the classic Battle.net
chat service or a PvPGN server) and runs its home channel for its owner: bot
users with access levels and flags, commands after a trigger, kicks and bans,
safe and shit lists, custom commands, greetings, anti-idle lines, channel
protection and native plug-ins.")
if(TARGET corvane_ui)
  set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "chat bot for Battle.net-protocol chat servers
${corvane_about}

This package holds the program with its Qt window; it also runs without a
display (corvane --headless). corvane-headless is the same bot without the
window and without Qt.")
else()
  set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "chat bot for Battle.net-protocol chat servers, console only
${corvane_about}

This package holds the program without its window and without Qt, for
servers: it runs in a terminal or as a systemd user service. The corvane
package is the same bot with its Qt window.")
endif()

set(CPACK_DEBIAN_SDK_PACKAGE_NAME corvane-dev)
set(CPACK_DEBIAN_SDK_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_SDK_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_SDK_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_SDK_PACKAGE_SUGGESTS "corvane | corvane-headless, pkg-config")
set(CPACK_DEBIAN_SDK_DESCRIPTION "plug-in interface of the Corvane chat bot
Corvane is a chat bot for Battle.net-protocol chat servers. Its plug-ins are
shared objects that it loads from its home's plugins folder.

This package holds the C header of the plug-in interface, its pkg-config
file (corvane-plugin) and the sources of the sample plug-ins.")

include(CPack)
