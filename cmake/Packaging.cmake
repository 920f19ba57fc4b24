# Installation where desktops find the program, and a Debian package of it.
include(GNUInstallDirs)

install(TARGETS nimbrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/nimbrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/images/nimbrel.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)

set(CPACK_PACKAGE_NAME nimbrel)
set(CPACK_PACKAGE_VENDOR "Nimbrel")
set(CPACK_PACKAGE_CONTACT "Nimbrel developers <developers@nimbrel.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Removes the metadata of JPEG photos in bulk")
set(CPACK_PACKAGE_DESCRIPTION
    "Rewrites every JPEG file of a folder in place without its application segments APP1 to APP15 (Exif, XMP, IPTC, ICC profiles). The picture is never decoded or re-encoded.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://nimbrel.example.org")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The Qt libraries the program links are found and declared by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
