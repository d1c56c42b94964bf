#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Peak memory (maximum resident set size, /usr/bin/time -v) of tarvel-cli
# create, verify and repair on a set with one file of 3 GiB (sparse, so it
# takes no disk space; its parity volume takes 3 GiB) and one small file.
# Memory should stay fixed whatever the file sizes.
#   bench/memory_bench.sh [path/to/tarvel-cli] [work folder]
set -euo pipefail
cli=$(realpath "${1:-build/src/cli/tarvel-cli}")
work=${2:-$(mktemp -d /tmp/tarvel-mem-XXXXXX)}
mkdir -p "$work"
cd "$work"
rm -f big.img small.bin set.*
truncate -s 3G big.img
head -c 1000000 /dev/urandom > small.bin
peak() {  # peak STEP command...: prints the step's maximum resident set size
  local step=$1; shift
  /usr/bin/time -v "$@" > /dev/null 2> time.txt || true
  printf '%-8s %8d MB\n' "$step" $(( $(awk '/Maximum resident/ { print $NF }' time.txt) / 1024 ))
}
peak create "$cli" create -q -n 1 -o set big.img small.bin
peak verify "$cli" verify -q set.PAR
rm big.img  # rebuilt by the repair: 3 GiB read from the volume, 3 GiB written
peak repair "$cli" repair -q set.PAR
cmp -n $((3 << 30)) big.img /dev/zero
rm -f big.img small.bin set.* time.txt
