# The Debian package (`make package`): CPack's DEB generator, dependencies
# computed from the binaries by dpkg-shlibdeps (dpkg-dev).
set(VQ_PACKAGE_MAINTAINER "Vondral64 Quillem SD authors <vqsd@vondral64.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vqsd)
set(CPACK_PACKAGE_VENDOR "the Vondral64 Quillem SD authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lay out a C64 game zip collection for 1541 Ultimate and sd2iec")
set(CPACK_PACKAGE_DESCRIPTION
    "Vondral64 Quillem SD turns the games folder of the Vondral 64 collection, one
Commodore 64 game zip archive each, into a folder tree for C64 mass-storage
devices: the 1541 Ultimate and sd2iec devices. Every game gets a folder named
after its title, with its disk, tape and cartridge images and, on request, its
VERSION.NFO reformatted for a 38-column screen, its SID tune from the High
Voltage SID Collection, an AUTOSWAP.LST for multi-disk games and PC64 files
converted from T64 archives.
.
The package holds the desktop program vqsd-gui and the command-line program
vqsd.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VQ_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
