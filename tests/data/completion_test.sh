#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the bash completion of tarvel-cli (the file given) as bash does on
# Tab, in a folder made here.  Each row is the words of a command line as
# bash hands them over (separated by ";", quotes and backslashes as typed),
# the cursor at the end of the last one, then "=>" and the candidates it must
# offer, sorted and separated by commas.
set -u
source "$1" || exit 1
function=$(complete -p tarvel-cli | sed -n 's/.*-F \([^ ]*\).*/\1/p')
[[ -n $function ]] || { echo "tarvel-cli has no completion function"; exit 1; }
compopt() { :; }  # only valid while bash itself completes

folder=$(mktemp -d) && trap 'rm -rf "$folder"' EXIT && cd "$folder" || exit 1
mkdir -p archive/old photos 'my set'
touch a.PAR b.p07 c.Q12 D.par e.Par notes.txt x.P1 y.PARX photos/one.jpg 'my set/s t.P01'

rows=(
  'tarvel-cli; => --help,--version,create,protect,repair,verify'
  'tarvel-cli;ve => verify'
  'tarvel-cli;--version; => '
  'tarvel-cli;create;- => --force,--help,--quiet,--small,--threads,-f,-n,-o,-q,-t'
  'tarvel-cli;verify;-- => --found,--help,--json,--quiet,--recursive,--threads'
  'tarvel-cli;create;--small; => crc,parity'
  'tarvel-cli;repair;-q;--found;r => rename'
  'tarvel-cli;repair;--r => --recursive,--revert-changed'
  'tarvel-cli;create;-t; => '
  'tarvel-cli;create;-n;2;-o; => archive,my set,photos'
  'tarvel-cli;verify;-r;ar => archive'
  'tarvel-cli;verify; => D.par,a.PAR,archive,b.p07,c.Q12,e.Par,my set,photos'
  'tarvel-cli;repair;--json;my\ set/ => my set/s t.P01'
  "tarvel-cli;verify;'my set/s => my set/s t.P01"
  'tarvel-cli;create; => D.par,a.PAR,archive,b.p07,c.Q12,e.Par,my set,notes.txt,photos,x.P1,y.PARX'
  'tarvel-cli;verify;--;- => '
  'tarvel-cli;protect;-- => --drop-missing,--help,--hidden,--json,--quiet,--small,--threads'
  'tarvel-cli;protect;-p; => '
  'tarvel-cli;protect;--hidden; => archive,my set,photos'
  'tarvel-cli;frobnicate; => '
)

failed=0
for row in "${rows[@]}"; do
  line=${row%% => *} expected=${row#* => }
  IFS=';' read -ra COMP_WORDS <<<"$line"
  [[ $line == *';' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=${line//;/ } COMP_POINT=${#line}
  COMPREPLY=()
  "$function" tarvel-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd, -)
  if [[ $got != "$expected" ]]; then
    echo "FAILED: '$line' offers '$got', expected '$expected'"
    failed=$((failed + 1))
  fi
done
echo "$((${#rows[@]} - failed)) passed, $failed failed"
((failed == 0))
