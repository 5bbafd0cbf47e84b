# Installation as a desktop program and the Debian package.
#
# `cmake --install` puts velk in bin/, its desktop entry in share/applications, the icon in the
# hicolor theme (scalable) and the AppStream metainfo in share/metainfo, which is where desktops,
# menus and software centres look. `cpack` (run in the build folder) turns that tree into
# velk_<version>_<arch>.deb; dpkg-shlibdeps reads the binary and declares the packages of every
# shared library it links (Qt, libcurl, PCRE2, giflib, zlib...). The hosts compiled into velk are
# the VELK_*_HOST cache variables of the build the package is made from.
include(GNUInstallDirs)

set(VELK_APP_ID "io.velk.Velk")
set(_pkg "${CMAKE_CURRENT_LIST_DIR}/../packaging")

install(TARGETS velk RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${_pkg}/${VELK_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${_pkg}/${VELK_APP_ID}.svg" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
install(FILES "${_pkg}/${VELK_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "velk")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "velk")
set(CPACK_PACKAGE_CONTACT "velk maintainers <velk@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Olympic medal table and Weibo hot searches in one small window")
set(CPACK_PACKAGE_DESCRIPTION
    "A small desktop widget with two tabs: the current Olympic medal table (the first eight teams with
their flags and medal counts) and the first ten entries of Weibo's real-time hot-search list.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "velk")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "x11")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Chinese names and titles need a CJK font; any of these serves.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei | fonts-arphic-ukai")
include(CPack)
