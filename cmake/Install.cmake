# Installed layout. The driver finds libldv32.so in its own folder first, so the programs
# and the library live together in a private folder; bin/ holds links to the programs.
#   <prefix>/lib/lonworks-driver/{lonworks-driver,lonctl,lonsim-channel,lonip-config-server,lonsim-usb,
#                                 lonworks-gateway,lonworks-web,libldv32.so}
#   <prefix>/bin/{the same programs} -> the programs above
#   <prefix>/share/man/man1/*.1.gz                   manual pages (ManualPages.cmake)
#   <prefix>/share/dbus-1/services/QelLonWorks.QelLonWorksCom.service   activation
#   <prefix>/share/bash-completion/completions/lonctl
#   <prefix>/share/lonworks-driver/networks/*.json   network descriptions (LON1 is built in)
#   <prefix>/share/dbus-1/interfaces/*.xml           introspection XML of the bus interfaces
#   <prefix>/share/doc/lonworks-driver/              the documentation, changelog, copyright
set(LW_PRIVATE_DIR ${CMAKE_INSTALL_LIBDIR}/lonworks-driver)
set(LW_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/lonworks-driver)
# User units of long-running programs: systemd looks in lib/systemd/user of /usr and
# /usr/local, whatever libdir is. The driver has none: the bus starts it on demand.
set(LW_USER_UNIT_DIR lib/systemd/user)

include(${CMAKE_CURRENT_LIST_DIR}/ManualPages.cmake)

# The links are made at install time, relative from bin/ to the private folder, so that
# they hold for any --prefix, DESTDIR and the package's staging folder.
set(lw_programs)
foreach(program lonworks-driver lonctl lonsim-channel lonip-config-server lonsim-usb lonworks-gateway lonworks-web)
  if(TARGET ${program})
    list(APPEND lw_programs ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${LW_PRIVATE_DIR})
    install(CODE "
      set(lw_bin \"${CMAKE_INSTALL_BINDIR}\")
      cmake_path(ABSOLUTE_PATH lw_bin BASE_DIRECTORY \"\${CMAKE_INSTALL_PREFIX}\" NORMALIZE)
      set(lw_program \"${LW_PRIVATE_DIR}/${program}\")
      cmake_path(ABSOLUTE_PATH lw_program BASE_DIRECTORY \"\${CMAKE_INSTALL_PREFIX}\" NORMALIZE)
      file(RELATIVE_PATH lw_target \"\${lw_bin}\" \"\${lw_program}\")
      file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${lw_bin}\")
      message(STATUS \"Installing: \$ENV{DESTDIR}\${lw_bin}/${program} -> \${lw_target}\")
      file(CREATE_LINK \"\${lw_target}\" \"\$ENV{DESTDIR}\${lw_bin}/${program}\" SYMBOLIC)")
    # lonctl: one page per command as well (man lonctl write).
    set(lw_page_options)
    if(program STREQUAL "lonctl")
      set(lw_page_options SUBCOMMANDS)
    endif()
    lw_add_manual_page(${program} ${lw_page_options})
  endif()
endforeach()

# The installed programs, one a line, for the test of their manual pages.
list(JOIN lw_programs "\n" lw_programs)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/packaging/programs.txt CONTENT "${lw_programs}\n")

if(TARGET ldv32)
  install(TARGETS ldv32 LIBRARY DESTINATION ${LW_PRIVATE_DIR})
endif()

# The activation file names the installed driver by its absolute path, so it is made at
# install time for the prefix installed to (the package's /usr included). The session bus
# reads activation files from dbus-1/services of every XDG data folder.
if(TARGET lonworks-driver)
  install(CODE "
    set(LW_DRIVER_PROGRAM \"${LW_PRIVATE_DIR}/lonworks-driver\")
    cmake_path(ABSOLUTE_PATH LW_DRIVER_PROGRAM BASE_DIRECTORY \"\${CMAKE_INSTALL_PREFIX}\" NORMALIZE)
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/QelLonWorks.QelLonWorksCom.service.in\"
                   \"${CMAKE_BINARY_DIR}/packaging/QelLonWorks.QelLonWorksCom.service\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/dbus-1/services\"
         TYPE FILE FILES \"${CMAKE_BINARY_DIR}/packaging/QelLonWorks.QelLonWorksCom.service\")")
endif()

if(TARGET lonctl)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lonctl.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME lonctl)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/lonsim/networks/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lonworks-driver/networks FILES_MATCHING PATTERN "*.json")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/automation/dbus/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces FILES_MATCHING PATTERN "*.xml")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${LW_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
  DESTINATION ${LW_DOC_DIR})

# The changelog, compressed as Debian keeps it (no time stamp in the gzip header).
set(lw_changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${lw_changelog_gz}
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${lw_changelog_gz}.new
  COMMAND ${CMAKE_COMMAND} -E rename ${lw_changelog_gz}.new ${lw_changelog_gz}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  COMMENT "Compressing the changelog")
add_custom_target(lw-changelog ALL DEPENDS ${lw_changelog_gz})
install(FILES ${lw_changelog_gz} DESTINATION ${LW_DOC_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/DebianPackage.cmake)
