#!/usr/bin/env bash
# Checks a Debian package made by scripts/package.sh, which runs this:
#   package_test.sh build-package/tarvel_<version>-1_<arch>.deb
# Its name carries the project's version; it holds exactly the files below
# (and their folders: nothing a database tool made while it was staged, no
# manual left uncompressed), each in md5sums; it depends on the libraries the
# programs link and on the packages whose triggers take up the desktop entry
# and the file type, and has no maintainer scripts of its own.
set -u
deb=$1
version=$(sed -n 's/^project(Tarvel VERSION \([^ )]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
files=(
  usr/bin/tarvel
  usr/bin/tarvel-cli
  usr/share/man/man1/tarvel-cli.1.gz
  usr/share/applications/io.github.tarvel.Tarvel.desktop
  usr/share/metainfo/io.github.tarvel.Tarvel.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/tarvel.svg
  usr/share/mime/packages/tarvel-volume.xml
  usr/share/bash-completion/completions/tarvel-cli
  usr/lib/systemd/user/tarvel-verify@.service
  usr/lib/systemd/user/tarvel-verify@.timer
)
control=$(mktemp -d) && trap 'rm -rf "$control"' EXIT || exit 1
dpkg-deb -e "$deb" "$control" || exit 1
checks=0 failed=()
check() {  # check WHAT COMMAND...
  checks=$((checks + 1))
  "${@:2}" || failed+=("$1")
}

check "file name tarvel_${version}-1_<arch>.deb" \
  test "${deb##*/}" = "tarvel_${version}-1_$(dpkg --print-architecture).deb"

# Expected: the files, and every folder above them.
expected=$(for f in "${files[@]}"; do
  while [[ $f == */* ]]; do echo "./$f"; f=${f%/*}; done
  echo "./$f"
done | sort -u)
listed=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|/$||; /^\.$/d' | sort)
check "contents are exactly the installed files" diff <(echo "$expected") <(echo "$listed")
check "md5sums covers every file" \
  diff <(printf '%s\n' "${files[@]}" | sort) <(awk '{print $2}' "$control/md5sums" | sort)
check "the manual is gzip data" \
  sh -c "dpkg-deb --fsys-tarfile '$deb' | tar -xOf - ./usr/share/man/man1/tarvel-cli.1.gz | gzip -t"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libqt6widgets6 libqt6svgwidgets6 shared-mime-info desktop-file-utils; do
  check "depends on $package" grep -qE "(^|, )$package( |,|$)" <<<"$depends"
done
check "no maintainer scripts" \
  test -z "$(ls "$control" | grep -vxE 'control|md5sums')"

if ((${#failed[@]})); then
  printf 'FAILED: %s\n' "${failed[@]}"
  dpkg-deb -c "$deb"
  echo "Depends: $depends"
fi
echo "package: $((checks - ${#failed[@]})) passed, ${#failed[@]} failed"
((${#failed[@]} == 0))
