# The Debian package, made by CPack from what `cmake --install` installs
# (scripts/package.sh): tarvel_<project version>-1_<arch>.deb, installed below
# /usr.  dpkg-shlibdeps works out the libraries the programs need; the desktop
# entry and the volume file type are taken up by the triggers of
# shared-mime-info and desktop-file-utils (and the manual by man-db's), so the
# package has no maintainer scripts of its own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VENDOR "The Tarvel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "protect files with parity volumes and restore lost or damaged ones")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvel protects a group of 2 to 250 files against loss and damage. It writes
a main volume that lists every file with its size and MD5 digests, and parity
volumes that can each stand in for one lost or damaged file. Later it checks
the set, finds renamed files by their content and rebuilds missing or damaged
files from the parity volumes.

This package holds the desktop program tarvel and the command-line program
tarvel-cli, with its manual, its bash completion and systemd user units for a
weekly check of an archive.")
set(CPACK_PACKAGE_CONTACT "The Tarvel developers <tarvel@users.noreply.github.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/tarvel/tarvel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")

# Debian's manuals are compressed; the staging folder's are, before it is packed.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/CompressManuals.cmake)

include(CPack)
