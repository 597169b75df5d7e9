# Installation and the Debian package (cpack -G DEB, or scripts/package).
#
# The package installs under /usr whatever CMAKE_INSTALL_PREFIX says: the systemd unit names
# /usr/bin/dialvane, and Debian keeps packaged programs there.

set(_pkg ${CMAKE_CURRENT_LIST_DIR}/../packaging)

# Packing never builds: scripts/package builds the programs first, and the package test packs
# what its build tree holds while other tests run from that tree. (Also: "make install" installs
# what is built and builds nothing.)
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

if(TARGET dialvane)
    install(TARGETS dialvane RUNTIME DESTINATION bin)
endif()
if(TARGET dialvane-site)
    install(TARGETS dialvane-site RUNTIME DESTINATION bin)
endif()
# Relative, so /usr/lib/systemd/system in the package: systemd reads it there, and on a
# merged-/usr system it is the same folder as /lib/systemd/system.
install(FILES ${_pkg}/dialvane@.service DESTINATION lib/systemd/system)
install(FILES ${_pkg}/dialvane.desktop DESTINATION share/applications)
# XPM is what the window itself uses; desktops look up Icon=dialvane in pixmaps as well.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../src/mainwindow/icons/dialvane.xpm
        DESTINATION share/pixmaps)
install(FILES ${_pkg}/example/Dialvane.ini DESTINATION share/doc/dialvane/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dialvane)
set(CPACK_PACKAGE_VENDOR "Dialvane developers")
set(CPACK_PACKAGE_CONTACT "Dialvane developers <dialvane@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "unattended data-exchange station for remote restaurant sites")
set(CPACK_PACKAGE_DESCRIPTION
    "Dialvane answers the calls of restaurant sites on a modem, a serial cable\n\
or a network line. It files the data each site sends under that restaurant's\n\
folder and sends the files a site fetches, with a transfer log for each. It\n\
runs as a window for an operator, or unattended as a systemd service, one\n\
instance per line (dialvane@<line>). The package also holds dialvane-site,\n\
which plays a restaurant site for tests.")
# A test build carries debugging information that the package has no use for.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # dialvane_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Dialvane developers <dialvane@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries come from dpkg-shlibdeps; the maintainer scripts need adduser.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
# The window needs a platform plugin, and Liberation Mono keeps the status window's fixed
# layout; the service needs neither.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_pkg}/postinst ${_pkg}/prerm ${_pkg}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
