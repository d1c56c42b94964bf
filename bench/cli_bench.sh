#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times tarvel-cli on a 1 GiB set of 20 random files (5 parity volumes), next
# to md5sum over the same files in the same run, with the files in the page
# cache.  Prints, for create, verify and repair (of 2 deleted files), with the
# default thread count and with -t 1: the seconds, MB/s, the ratio to
# md5sum's time, and the bytes the program read (as the kernel counts them
# in rchar, which is what goes to the disk for a set larger than memory) per
# byte of the set: data files plus volumes (D+V).
#   bench/cli_bench.sh [path/to/tarvel-cli] [work folder] [another tarvel-cli]
# With a second tarvel-cli (an earlier build), both run on the same files in
# the same run, one after the other, and each gets its own lines.
set -euo pipefail
cli=${1:-build/src/cli/tarvel-cli}
work=${2:-$(mktemp -d /tmp/tarvel-bench-XXXXXX)/set}
other=${3:-}
cli=$(realpath "$cli")
[ -z "$other" ] || other=$(realpath "$other")
mkdir -p "$work"
cd "$work"

files=20
mib=$((1024 / files))  # about 51 MiB each
for i in $(seq -w 1 $files); do
  [ -f "file$i.bin" ] || head -c $((mib * 1024 * 1024)) /dev/urandom > "file$i.bin"
done
total_mb=$(du -cm file*.bin | tail -1 | cut -f1)
cat file*.bin > /dev/null  # into the page cache

now() { date +%s.%N; }
calc() { awk "BEGIN { print $* }"; }
# measure VAR command...: the command's seconds go to VAR, the bytes it read
# to VAR_rchar.  The command runs as the child of a shell that reads its own
# /proc/PID/io once the child has ended: a child's counts are added to its
# parent's when it is reaped.  The shell's own reads are a few kilobytes.
measure() {
  local var=$1 t0 t1 rchar; shift
  t0=$(now)
  rchar=$(bash -c '"$@" > /dev/null 2>&1; awk "/^rchar/ { print \$2 }" /proc/$$/io' _ "$@")
  t1=$(now)
  printf -v "$var" '%s' "$(calc "$t1 - $t0")"
  printf -v "${var}_rchar" '%s' "$rchar"
}
set_bytes() { stat -c %s file*.bin set.* | awk '{ s += $1 } END { print s }'; }

measure md5 md5sum file*.bin
# The originals are kept outside the set folder: repair would find them there
# by content and simply rename them back.
mkdir -p ../keep-$$
run() {  # run SUFFIX CLI [options...]: create, verify and repair with the options
  local suffix=$1 prog=$2; shift 2
  rm -f set.*
  measure "create$suffix" "$prog" create -q "$@" -n 5 -o set file*.bin
  printf -v "set$suffix" '%s' "$(set_bytes)"
  measure "verify$suffix" "$prog" verify -q "$@" set.PAR
  mv file03.bin file17.bin ../keep-$$/
  measure "repair$suffix" "$prog" repair -q "$@" set.PAR
  cmp file03.bin ../keep-$$/file03.bin && cmp file17.bin ../keep-$$/file17.bin
  rm ../keep-$$/*
}
suffixes=("" _t1)
run "" "$cli"
run _t1 "$cli" -t 1
if [ -n "$other" ]; then
  suffixes+=(_other _other_t1)
  run _other "$other"
  run _other_t1 "$other" -t 1
fi
rm -r ../keep-$$

printf '%-16s %8s %10s %14s %12s\n' step seconds MB/s "x md5sum time" "read/(D+V)"
printf '%-16s %8.2f %10.0f %14.2f %12s\n' md5 "$md5" "$(calc "$total_mb / $md5")" 1 -
for suffix in "${suffixes[@]}"; do
  set_var="set$suffix"
  for action in create verify repair; do
    step=$action$suffix
    t=${!step}
    rchar_var="${step}_rchar"
    printf '%-16s %8.2f %10.0f %14.2f %12.2f\n' "$step" "$t" "$(calc "$total_mb / $t")" \
      "$(calc "$t / $md5")" "$(calc "${!rchar_var} / ${!set_var}")"
  done
done
echo "(data: $total_mb MB in $files files; D+V: $set B; folder $work; _t1: with -t 1${other:+; _other: $other})"
