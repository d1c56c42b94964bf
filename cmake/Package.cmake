# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian packages, made by CPack from what `cmake --install` installs
# (scripts/package.sh), one per install component, installed below /usr:
#   tarvel-cli_<project version>-1_<arch>.deb  (component cli) the command, its
#       manual, its bash completion and the systemd units of the weekly check;
#       no Qt, so a server or a NAS takes it alone;
#   tarvel_<project version>-1_<arch>.deb      (component gui, TARVEL_GUI only)
#       the windows, the desktop entry, the icon, the file type and the
#       AppStream metadata; it depends on tarvel-cli of the same version.
# Each holds its /usr/share/doc/<package>/copyright.  dpkg-shlibdeps works out
# the libraries each package's programs need; the desktop entry and the volume
# file type are taken up by the triggers of shared-mime-info and
# desktop-file-utils (and the manual by man-db's), so the packages have no
# maintainer scripts of their own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VENDOR "The Tarvel developers")
set(CPACK_PACKAGE_CONTACT "The Tarvel developers <tarvel@users.noreply.github.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
if(TARVEL_GUI)
  set(CPACK_COMPONENTS_ALL cli gui)
else()
  set(CPACK_COMPONENTS_ALL cli)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/tarvel/tarvel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A dependency between components becomes "Depends: <package> (= <version>-1)".
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

# Each description's first line is the package's summary.
set(about_tarvel
    "Tarvel protects a group of 2 to 250 files against loss and damage. It writes
a main volume that lists every file with its size and MD5 digests, and parity
volumes that can each stand in for one lost or damaged file. Later it checks
the set, finds renamed files by their content and rebuilds missing or damaged
files from the parity volumes.")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME tarvel-cli)
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "protect files with parity volumes (command line)
${about_tarvel}

This package holds the command-line program tarvel-cli, with its manual, its
bash completion and systemd user units for a weekly check of an archive. It
needs no graphical libraries; the package tarvel adds the desktop program.")
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "bash-completion")
# Up to 0.2.5-1 the package tarvel held tarvel-cli and its files as well; they
# move to this package when both are installed (or upgraded) together.
set(CPACK_DEBIAN_CLI_PACKAGE_REPLACES "tarvel (<= 0.2.5-1)")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME tarvel)
set(CPACK_DEBIAN_GUI_DESCRIPTION
    "protect files with parity volumes and restore lost or damaged ones
${about_tarvel}

This package holds the desktop program tarvel, its desktop entry, its icon,
the file type of the volumes and the AppStream metadata. The command-line
program comes with the package tarvel-cli, which this one depends on.")
set(CPACK_COMPONENT_GUI_DEPENDS cli)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "shared-mime-info, desktop-file-utils")

# Debian's manuals are compressed; the staging folder's are, before it is packed.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/CompressManuals.cmake)

include(CPack)
