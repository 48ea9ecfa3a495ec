# Installed layout. The driver finds libldv32.so in its own folder first, so the programs
# and the library live together in a private folder; bin/ holds links to the programs.
#   <prefix>/lib/lonworks-driver/{lonworks-driver,lonctl,lonsim-channel,lonsim-usb,libldv32.so}
#   <prefix>/bin/{lonworks-driver,lonctl,lonsim-channel,lonsim-usb} -> the programs above
#   <prefix>/share/lonworks-driver/networks/*.json   network descriptions (LON1 is built in)
#   <prefix>/share/dbus-1/interfaces/*.xml           introspection XML of the bus interfaces
#   <prefix>/share/doc/lonworks-driver/              the documentation
set(LW_PRIVATE_DIR ${CMAKE_INSTALL_LIBDIR}/lonworks-driver)
set(LW_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/lonworks-driver)

# The links are made at install time, relative from bin/ to the private folder, so that
# they hold for any --prefix, DESTDIR and the package's staging folder.
foreach(program lonworks-driver lonctl lonsim-channel lonsim-usb)
  if(TARGET ${program})
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
  endif()
endforeach()

if(TARGET ldv32)
  install(TARGETS ldv32 LIBRARY DESTINATION ${LW_PRIVATE_DIR})
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/lonsim/networks/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lonworks-driver/networks FILES_MATCHING PATTERN "*.json")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/automation/dbus/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces FILES_MATCHING PATTERN "*.xml")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${LW_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${LW_DOC_DIR})

# A Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME lonworks-driver)
set(CPACK_PACKAGE_VENDOR "LonWorks Network Driver developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "LonWorks network driver: an automation server on D-Bus")
set(CPACK_PACKAGE_DESCRIPTION
  "Gives building-automation front ends access to LonWorks networks over D-Bus: device
discovery, polling, reads and writes of points, site status and time. Ships a simulated
LonWorks network (libldv32.so) with a demonstration network, and the lonctl client.")
set(CPACK_PACKAGE_CONTACT "lonworks-driver maintainers <root@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "dbus, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus-user-session")
set(CPACK_GENERATOR DEB)
include(CPack)
