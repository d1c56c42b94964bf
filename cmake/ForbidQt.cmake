# SPDX-License-Identifier: GPL-3.0-or-later
# The guard of the build without Qt (scripts/test.sh loads it before the
# project with -DCMAKE_PROJECT_INCLUDE_BEFORE=, together with TARVEL_GUI=OFF):
# any find_package() of a Qt package, required or not, stops the configure,
# so nothing in that build can still ask for Qt.
macro(find_package tarvel_package_name)
  if("${tarvel_package_name}" MATCHES "^Qt[0-9]*($|[A-Z])")
    message(FATAL_ERROR "find_package(${tarvel_package_name}) in a build without Qt (TARVEL_GUI=OFF)")
  endif()
  _find_package(${ARGV})
endmacro()
