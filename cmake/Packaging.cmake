# Installation and the Debian packages (cpack -G DEB, or scripts/package). One build makes two:
#   dialvane          the headless program, the reports, dialvane-site, the systemd unit, the
#                     example configuration and the manual pages; Qt Core, Network and
#                     SerialPort only, so a server installs no GUI library;
#   dialvane-desktop  the window program, its desktop entry and icon; depends on dialvane.
#
# The packages install under /usr whatever CMAKE_INSTALL_PREFIX says: the systemd unit names
# /usr/bin/dialvane, and Debian keeps packaged programs there.

set(_pkg ${CMAKE_CURRENT_LIST_DIR}/../packaging)
set(_gen ${CMAKE_BINARY_DIR}/packaging)

# The maintainer of the packages, also the contact in their copyright file and changelog.
set(DIALVANE_MAINTAINER_NAME "Dialvane developers" CACHE STRING "Debian packages' maintainer")
set(DIALVANE_MAINTAINER_MAIL "packaging@dialvane.org" CACHE STRING "Debian packages' maintainer")

# Packing never builds: scripts/package builds the programs first, and the package test packs
# what its build tree holds while other tests run from that tree. (Also: "make install" installs
# what is built and builds nothing.)
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
# Folders the packages make are 0755 whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The changelog's newest entry is the release being built: a version raised in project() without
# its entry would ship a package that says it is the previous one.
file(STRINGS ${_pkg}/changelog _newest LIMIT_COUNT 1)
if(NOT _newest MATCHES "^dialvane \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: the newest entry is not version ${PROJECT_VERSION}:"
                        " add an entry for it (\"${_newest}\")")
endif()

# Manual pages and the changelog go compressed with gzip -9n, as Debian wants them: no name
# and no time stamp in the header, so that the package is the same from build to build.
function(_dialvane_gzip source name out)
    configure_file(${source} ${_gen}/${name} @ONLY)
    add_custom_command(OUTPUT ${_gen}/${name}.gz
                       COMMAND gzip -9nf -k ${_gen}/${name}
                       DEPENDS ${_gen}/${name} ${source})
    set(${out} ${_gen}/${name}.gz PARENT_SCOPE)
endfunction()
set(VERSION ${PROJECT_VERSION})
_dialvane_gzip(${_pkg}/man/dialvane.8 dialvane.8 _man_station)
_dialvane_gzip(${_pkg}/man/dialvane-site.1 dialvane-site.1 _man_site)
_dialvane_gzip(${_pkg}/man/Dialvane.ini.5 Dialvane.ini.5 _man_ini)
_dialvane_gzip(${_pkg}/man/dialvane-window.1 dialvane-window.1 _man_window)
_dialvane_gzip(${_pkg}/changelog changelog _changelog)
configure_file(${_pkg}/copyright ${_gen}/copyright @ONLY)
add_custom_target(dialvane_package_files ALL
                  DEPENDS ${_man_station} ${_man_site} ${_man_ini} ${_man_window} ${_changelog})

# Component "station": the package dialvane.
if(TARGET dialvane)
    install(TARGETS dialvane RUNTIME DESTINATION bin COMPONENT station)
endif()
if(TARGET dialvane-site)
    install(TARGETS dialvane-site RUNTIME DESTINATION bin COMPONENT station)
endif()
# Relative, so /usr/lib/systemd/system in the package: systemd reads it there, and on a
# merged-/usr system it is the same folder as /lib/systemd/system.
install(FILES ${_pkg}/dialvane@.service DESTINATION lib/systemd/system COMPONENT station)
# Under /usr/share/dialvane, not only the documentation, which minimal images strip: a line's
# /etc/dialvane/<line>/Dialvane.ini is made from it, and its presence beside bin/ is how the
# program knows it is installed (station/ConfigFolder.h).
install(FILES ${_pkg}/example/Dialvane.ini DESTINATION share/dialvane COMPONENT station)
install(FILES ${_man_station} DESTINATION share/man/man8 COMPONENT station)
install(FILES ${_man_site} DESTINATION share/man/man1 COMPONENT station)
install(FILES ${_man_ini} DESTINATION share/man/man5 COMPONENT station)
install(FILES ${_gen}/copyright ${_changelog} DESTINATION share/doc/dialvane COMPONENT station)

# Component "desktop": the package dialvane-desktop.
if(TARGET dialvane-window)
    install(TARGETS dialvane-window RUNTIME DESTINATION bin COMPONENT desktop)
endif()
install(FILES ${_pkg}/dialvane.desktop DESTINATION share/applications COMPONENT desktop)
# XPM is what the window itself uses; desktops look up Icon=dialvane in pixmaps as well.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../src/mainwindow/icons/dialvane.xpm
        DESTINATION share/pixmaps COMPONENT desktop)
install(FILES ${_man_window} DESTINATION share/man/man1 COMPONENT desktop)
install(FILES ${_gen}/copyright ${_changelog} DESTINATION share/doc/dialvane-desktop
        COMPONENT desktop)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL station desktop)
set(CPACK_PACKAGE_NAME dialvane)
set(CPACK_PACKAGE_VENDOR "${DIALVANE_MAINTAINER_NAME}")
set(CPACK_PACKAGE_CONTACT "${DIALVANE_MAINTAINER_NAME} <${DIALVANE_MAINTAINER_MAIL}>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# A test build carries debugging information that the packages have no use for.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # <package>_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DIALVANE_MAINTAINER_NAME} <${DIALVANE_MAINTAINER_MAIL}>")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries come from dpkg-shlibdeps on each package's own programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_STATION_PACKAGE_NAME dialvane)
set(CPACK_DEBIAN_STATION_PACKAGE_SECTION net)
# The maintainer scripts need adduser; deb-systemd-invoke and deb-systemd-helper come with
# init-system-helpers, which every Debian system has.
set(CPACK_DEBIAN_STATION_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_STATION_PACKAGE_CONTROL_EXTRA ${_pkg}/postinst ${_pkg}/prerm ${_pkg}/postrm)
set(CPACK_DEBIAN_STATION_DESCRIPTION
    "unattended data-exchange station for restaurant sites\n\
Dialvane answers the calls of restaurant sites on a modem, a serial cable\n\
or a network line. It files the data each site sends under that\n\
restaurant's folder and sends the files a site fetches, with a transfer\n\
log for each. It runs unattended as a systemd service, one instance per\n\
line (dialvane@<line>), and reports on its calls from the command line.\n\
This package holds no window and needs no display; the window is in\n\
dialvane-desktop. It also holds dialvane-site, which plays a restaurant\n\
site for tests.")

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME dialvane-desktop)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION net)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "dialvane (= ${PROJECT_VERSION})")
# The window needs a platform plugin, and Liberation Mono keeps the status window's fixed
# layout.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "qt6-qpa-plugins, fonts-liberation")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION
    "window of the Dialvane data-exchange station\n\
The station of the package dialvane with its window: the panel of\n\
folders, port and connection, the restaurant list and the status of each\n\
call, for an operator at the station's own screen. The command dialvane\n\
without arguments opens it.")

include(CPack)
