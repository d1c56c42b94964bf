#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian packages made by scripts/package.sh, which runs this:
#   package_test.sh build-package/tarvel-cli_<version>-1_<arch>.deb \
#                   [build-package/tarvel_<version>-1_<arch>.deb]
# (the second only from a build with the windows).  Each package's name
# carries the project's version; each holds exactly its files below (and their
# folders: nothing a database tool made while it was staged, no manual left
# uncompressed), each in md5sums, and its copyright file; neither has
# maintainer scripts of its own.  tarvel-cli depends on the libraries its
# program links, and on no Qt library at all; tarvel depends on tarvel-cli of
# the same version, on the Qt libraries and on the packages whose triggers
# take up the desktop entry and the file type.
set -u
version=$(sed -n 's/^project(Tarvel VERSION \([^ )]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
arch=$(dpkg --print-architecture)
cli_files=(
  usr/bin/tarvel-cli
  usr/share/man/man1/tarvel-cli.1.gz
  usr/share/bash-completion/completions/tarvel-cli
  usr/lib/systemd/user/tarvel-verify@.service
  usr/lib/systemd/user/tarvel-verify@.timer
  usr/lib/systemd/user/tarvel-protect@.service
  usr/lib/systemd/user/tarvel-protect@.timer
  usr/share/doc/tarvel-cli/copyright
  usr/share/locale/de/LC_MESSAGES/tarvel.mo
  usr/share/locale/en/LC_MESSAGES/tarvel.mo
)
gui_files=(
  usr/bin/tarvel
  usr/share/applications/io.github.tarvel.Tarvel.desktop
  usr/share/metainfo/io.github.tarvel.Tarvel.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/tarvel.svg
  usr/share/mime/packages/tarvel-volume.xml
  usr/share/doc/tarvel/copyright
  usr/share/locale/de/LC_MESSAGES/tarvel-windows.mo
)
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT || exit 1
checks=0 failed=()
check() {  # check WHAT COMMAND...
  checks=$((checks + 1))
  "${@:2}" || failed+=("$1")
}
member() {  # member DEB PATH: prints the file PATH of the package
  dpkg-deb --fsys-tarfile "$1" | tar -xOf - "./$2"
}
depends_on() {  # depends_on DEPENDS PACKAGE [RELATION]: PACKAGE (RELATION) if given
  local item
  while IFS= read -r item; do
    if [[ -n ${3:-} ]]; then
      [[ $item == "$2 ($3)" ]] && return 0
    else
      [[ $item == "$2" || $item == "$2 ("* ]] && return 0
    fi
  done < <(sed 's/, /\n/g' <<<"$1")
  return 1
}

# check_package PACKAGE DEB FILE...: what every package must be.
check_package() {
  local package=$1 deb=$2 control=$work/$1
  shift 2
  local files=("$@")
  mkdir -p "$control" && dpkg-deb -e "$deb" "$control" || { failed+=("$package: readable"); return; }
  check "$package: file name ${package}_${version}-1_<arch>.deb" \
    test "${deb##*/}" = "${package}_${version}-1_${arch}.deb"
  check "$package: Package and Version" \
    test "$(dpkg-deb -f "$deb" Package Version)" = "Package: $package
Version: ${version}-1"
  # Expected: the files, and every folder above them.
  local expected listed
  expected=$(for f in "${files[@]}"; do
    while [[ $f == */* ]]; do echo "./$f"; f=${f%/*}; done
    echo "./$f"
  done | sort -u)
  listed=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|/$||; /^\.$/d' | sort)
  check "$package: contents are exactly its installed files" diff <(echo "$expected") <(echo "$listed")
  check "$package: md5sums covers every file" \
    diff <(printf '%s\n' "${files[@]}" | sort) <(awk '{print $2}' "$control/md5sums" | sort)
  check "$package: no maintainer scripts" \
    test -z "$(ls "$control" | grep -vxE 'control|md5sums')"
  member "$deb" "usr/share/doc/$package/copyright" >"$work/$package.copyright"
  check "$package: copyright in the machine-readable format" \
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$work/$package.copyright"
  check "$package: copyright states GPL-3.0-or-later" \
    grep -qx 'License: GPL-3.0-or-later' "$work/$package.copyright"
  check "$package: copyright names /usr/share/common-licenses/GPL-3" \
    grep -qF '"/usr/share/common-licenses/GPL-3"' "$work/$package.copyright"
}

cli_deb=${1:?usage: package_test.sh TARVEL_CLI_DEB [TARVEL_DEB]} gui_deb=${2:-}

check_package tarvel-cli "$cli_deb" "${cli_files[@]}"
check "tarvel-cli: the manual is gzip data" \
  sh -c "dpkg-deb --fsys-tarfile '$cli_deb' | tar -xOf - ./usr/share/man/man1/tarvel-cli.1.gz | gzip -t"
cli_depends=$(dpkg-deb -f "$cli_deb" Depends)
check "tarvel-cli: depends on libc6" depends_on "$cli_depends" libc6
check "tarvel-cli: depends on no Qt library" \
  bash -c '! grep -qi "libqt" <<<"$1"' - "$cli_depends"
member "$cli_deb" usr/bin/tarvel-cli >"$work/tarvel-cli.bin"
check "tarvel-cli: its program links no Qt library" \
  bash -c 'readelf -d "$1" >"$1.dynamic" && ! grep "(NEEDED)" "$1.dynamic" | grep -qi libQt' - "$work/tarvel-cli.bin"

if [[ -n $gui_deb ]]; then
  check_package tarvel "$gui_deb" "${gui_files[@]}"
  gui_depends=$(dpkg-deb -f "$gui_deb" Depends)
  check "tarvel: depends on tarvel-cli (= ${version}-1)" \
    depends_on "$gui_depends" tarvel-cli "= ${version}-1"
  for package in libc6 libqt6widgets6 libqt6svgwidgets6 shared-mime-info desktop-file-utils; do
    check "tarvel: depends on $package" depends_on "$gui_depends" "$package"
  done
fi

if ((${#failed[@]})); then
  printf 'FAILED: %s\n' "${failed[@]}"
  for deb in "$cli_deb" $gui_deb; do
    echo "== $deb"
    dpkg-deb -c "$deb"
    dpkg-deb -f "$deb" Package Depends Recommends
  done
fi
echo "packages: $((checks - ${#failed[@]})) passed, ${#failed[@]} failed"
((${#failed[@]} == 0))
