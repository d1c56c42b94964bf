#!/usr/bin/env bash
# Times tarvel-cli on a 1 GiB set of 20 random files (5 parity volumes), next
# to md5sum over the same files in the same run, with the files in the page
# cache.  Prints MB/s and the ratio to md5sum for create, verify and repair
# (of 2 deleted files), with the default thread count and with -t 1.
#   bench/cli_bench.sh [path/to/tarvel-cli] [work folder]
set -euo pipefail
cli=${1:-build/src/cli/tarvel-cli}
work=${2:-$(mktemp -d /tmp/tarvel-bench-XXXXXX)/set}
cli=$(realpath "$cli")
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
timeit() { local t0 t1; t0=$(now); "$@" > /dev/null 2>&1 || true; t1=$(now); calc "$t1 - $t0"; }

md5=$(timeit md5sum file*.bin)
# The originals are kept outside the set folder: repair would find them there
# by content and simply rename them back.
mkdir -p ../keep-$$
run() {  # run SUFFIX [options...]: create, verify and repair with the options
  local suffix=$1; shift
  rm -f set.*
  printf -v "create$suffix" '%s' "$(timeit "$cli" create -q "$@" -n 5 -o set file*.bin)"
  printf -v "verify$suffix" '%s' "$(timeit "$cli" verify -q "$@" set.PAR)"
  mv file03.bin file17.bin ../keep-$$/
  printf -v "repair$suffix" '%s' "$(timeit "$cli" repair -q "$@" set.PAR)"
  cmp file03.bin ../keep-$$/file03.bin && cmp file17.bin ../keep-$$/file17.bin
  rm ../keep-$$/*
}
run ""
run _t1 -t 1
rm -r ../keep-$$

printf '%-10s %8s %10s %14s\n' step seconds MB/s "x md5sum time"
for step in md5 create verify repair create_t1 verify_t1 repair_t1; do
  t=${!step}
  printf '%-10s %8.2f %10.0f %14.2f\n' "$step" "$t" "$(calc "$total_mb / $t")" "$(calc "$t / $md5")"
done
echo "(data: $total_mb MB in $files files; folder $work; _t1: with -t 1)"
