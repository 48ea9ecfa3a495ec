# The Debian package (cpack -G DEB in the build folder; scripts/package.sh makes and checks
# it). Stripped programs, the changelog and copyright of packaging/debian, no maintainer
# scripts: nothing needs doing at install, as the bus and systemd read their files when a
# user next needs them.
set(CPACK_PACKAGE_NAME lonworks-driver)
set(CPACK_PACKAGE_VENDOR "LonWorks Network Driver maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
  "Seed 3636628e maintainers <maintainers@users.noreply.c-seed-3636628e.example>")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "LonWorks network driver: an automation server on D-Bus
Gives building-automation front ends access to LonWorks networks over D-Bus:
device discovery, polling, reads and writes of points, site status and time.
The session bus starts the driver when a client first calls it.
.
Includes lonctl, a command-line client; libldv32.so, the driver library for
simulated LonWorks networks (with a demonstration network) and LonWorks/IP
(IP-852) channels; and lonsim-channel, which serves a simulated network on an
IP-852 channel; lonworks-gateway, which publishes points on MQTT; and
lonworks-web, a web console with live values, writes, trends and
diagnostics. A vendor's driver library for a real network interface can be
used in place of libldv32.so.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# A session bus is all the driver needs; dbus-user-session is Debian's default one.
# Chart.js for the web console's trends is served from Debian's own package.
set(LW_PACKAGE_DEPENDS "default-dbus-session-bus | dbus-session-bus, qt6-qpa-plugins, libjs-chart.js")
# The shared-library dependencies come from dpkg-shlibdeps in DebianDepends.cmake, not from
# CPack's own run: that run also adds ldconfig calls for any library below /usr/lib, which
# the private folder of libldv32.so does not need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${LW_PACKAGE_DEPENDS}")
set(CPACK_LW_PRIVATE_DIR ${LW_PRIVATE_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianDepends.cmake)
set(CPACK_GENERATOR DEB)
include(CPack)
