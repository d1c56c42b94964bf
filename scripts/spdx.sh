#!/usr/bin/env bash
# Marks every source file with the project's licence, once:
#   // SPDX-License-Identifier: GPL-3.0-or-later   first line of each .cpp, .h
#                                                  and .h.in below src/ tests/
#                                                  bench/ tools/
#   # SPDX-License-Identifier: GPL-3.0-or-later    after the #! line of each
#                                                  shell script, and first line
#                                                  of each CMake file
# A file that has an SPDX-License-Identifier line among its first three lines
# is left as it is, so a second run changes nothing.  The files are those git
# tracks (or, outside a git work tree, those found, build trees aside).
#   scripts/spdx.sh [ROOT]          (default: the tree this script is in)
#   scripts/spdx.sh --check [ROOT]  names the files without the line and
#                                   fails if there are any; changes nothing
set -euo pipefail
check=false
if [ "${1:-}" = --check ]; then check=true; shift; fi
root=${1:-$(dirname "$0")/..}
cd "$root"
licence=GPL-3.0-or-later

list_files() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z
  else
    find . -path './build*' -prune -o -path './.git' -prune -o -type f -print0 | sed -z 's|^\./||'
  fi
}

marked() {  # marked FILE: has an SPDX line near its top
  head -n 3 -- "$1" | grep -q 'SPDX-License-Identifier:'
}

prepend() {  # prepend FILE LINE: LINE first
  local tmp
  tmp=$(mktemp "$1.XXXXXX")
  { printf '%s\n' "$2"; cat -- "$1"; } >"$tmp"
  chmod --reference="$1" "$tmp"
  mv -- "$tmp" "$1"
}

after_shebang() {  # after_shebang FILE LINE: LINE second, after the #! line
  local tmp
  tmp=$(mktemp "$1.XXXXXX")
  { head -n 1 -- "$1"; printf '%s\n' "$2"; tail -n +2 -- "$1"; } >"$tmp"
  chmod --reference="$1" "$tmp"
  mv -- "$tmp" "$1"
}

mark() {  # mark FILE HOW LINE: HOW is prepend or after_shebang
  marked "$1" && return
  changed=$((changed + 1))
  if $check; then echo "no SPDX line: $1"; else "$2" "$1" "$3"; fi
}

changed=0
while IFS= read -r -d '' f; do
  [ -f "$f" ] && [ ! -L "$f" ] || continue
  case $f in
    src/*.cpp | src/*.h | src/*.h.in | tests/*.cpp | tests/*.h | bench/*.cpp | bench/*.h | \
      tools/*.cpp | tools/*.h)
      mark "$f" prepend "// SPDX-License-Identifier: $licence"
      ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake)
      mark "$f" prepend "# SPDX-License-Identifier: $licence"
      ;;
    *)
      if head -n 1 -- "$f" | grep -qE '^#!.*[/ ](ba|da|k|z)?sh( |$)'; then
        mark "$f" after_shebang "# SPDX-License-Identifier: $licence"
      fi
      ;;
  esac
done < <(list_files)
if $check; then
  [ "$changed" -eq 0 ] || { echo "spdx.sh: $changed files without an SPDX line (scripts/spdx.sh marks them)"; exit 1; }
else
  echo "spdx.sh: $changed files marked"
fi
