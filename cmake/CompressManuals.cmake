# SPDX-License-Identifier: GPL-3.0-or-later
# Run by CPack in the staging folder before packing: compresses the manual
# pages as Debian's packages carry them (gzip -9n: no name or time stamp in the
# file, so the same page gives the same bytes).
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_DIRECTORY}/*.[1-9]")
list(FILTER pages INCLUDE REGEX "/share/man/(.+/)?man[1-9]/[^/]+$")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
