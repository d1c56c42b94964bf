#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times tarvel-cli on three shapes of set, next to md5sum over the same files
# in the same run, with the files in the page cache:
#   S1: 20 files of 50 MB, 5 parity volumes, 2 files lost for the repair
#   S2: 2 files of 500 MB, 1 parity volume, 1 file lost
#   S4: 5 files of 200 MB, 5 parity volumes, 2 files lost
# Prints, for create, verify and repair, with the default thread count and
# with -t 1: the seconds (the median of the runs), the ratio to md5sum's
# time over the shape's files, the bytes the program read (as the kernel
# counts them in rchar, which is what goes to the disk for a set larger than
# memory) per byte of the set: data files plus volumes (D+V), and the peak
# memory (maximum resident set size).  The repair runs two seconds after the
# verify, as on a set made long before.
#   bench/cli_bench.sh [path/to/tarvel-cli] [work folder] [another tarvel-cli]
# With a second tarvel-cli (an earlier build), both run on the same files in
# the same run, one after the other, and each gets its own lines.
# Environment:
#   TARVEL_BENCH_SCALE   file sizes times this (default 1; 0.2 makes S1
#                        20 files of 10 MB), for a small disk or little time
#   TARVEL_BENCH_RUNS    runs of each step, the median reported (default 3)
#   TARVEL_BENCH_SHAPES  the shapes to run (default "S1 S2 S4")
set -euo pipefail
cli=${1:-build/src/cli/tarvel-cli}
work=${2:-$(mktemp -d /tmp/tarvel-bench-XXXXXX)}
other=${3:-}
scale=${TARVEL_BENCH_SCALE:-1}
runs=${TARVEL_BENCH_RUNS:-3}
shapes=${TARVEL_BENCH_SHAPES:-S1 S2 S4}
cli=$(realpath "$cli")
[ -z "$other" ] || other=$(realpath "$other")
mkdir -p "$work"
work=$(realpath "$work")

now() { date +%s.%N; }
calc() { awk "BEGIN { print $* }"; }
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# measure VAR command...: the command's seconds go to VAR, the bytes it read
# to VAR_rchar, its peak resident set (KiB) to VAR_rss.  The command runs
# under /usr/bin/time as the child of a shell that reads its own
# /proc/PID/io once the child has ended: a child's counts are added to its
# parent's when it is reaped.  The shell's and time's own reads are a few
# kilobytes.
measure() {
  local var=$1 t0 t1 out; shift
  sync  # what earlier steps left for the disk is not this step's to wait for
  t0=$(now)
  out=$(bash -c '/usr/bin/time -f %M -o "$0" "$@" > /dev/null 2>&1 || exit 1
                 awk "/^rchar/ { print \$2 }" /proc/$$/io' "$work/rss.txt" "$@")
  t1=$(now)
  printf -v "$var" '%s' "$(calc "$t1 - $t0")"
  printf -v "${var}_rchar" '%s' "$out"
  printf -v "${var}_rss" '%s' "$(tail -1 "$work/rss.txt")"
}
set_bytes() { stat -c %s file*.bin set.* | awk '{ s += $1 } END { print s }'; }

# shape NAME FILES MB VOLUMES LOST: makes the shape's files in its folder.
declare -A shape_files shape_mb shape_volumes shape_lost
shape_files=([S1]=20 [S2]=2 [S4]=5)
shape_mb=([S1]=50 [S2]=500 [S4]=200)
shape_volumes=([S1]=5 [S2]=1 [S4]=5)
shape_lost=([S1]=2 [S2]=1 [S4]=2)

printf '%-6s %-16s %8s %14s %12s %9s\n' shape step seconds "x md5sum time" "read/(D+V)" "peak MB"
for shape in $shapes; do
  files=${shape_files[$shape]}
  bytes=$(calc "int(${shape_mb[$shape]} * 1000000 * $scale)")
  dir="$work/$shape"
  mkdir -p "$dir" "$work/keep"
  cd "$dir"
  for i in $(seq -w 1 "$files"); do
    if [ ! -f "file$i.bin" ] || [ "$(stat -c %s "file$i.bin")" != "$bytes" ]; then
      head -c "$bytes" /dev/urandom > "file$i.bin"
    fi
  done
  cat file*.bin > /dev/null  # into the page cache
  lost=$(ls file*.bin | head -"${shape_lost[$shape]}")

  times=""
  for _ in $(seq "$runs"); do
    measure t md5sum file*.bin
    times+=" $t"
  done
  md5=$(echo "$times" | median)

  # run SUFFIX CLI [options...]: create, verify and repair with the options,
  # each `runs` times; the medians go to ACTION_SUFFIX.  The originals of the
  # lost files are kept outside the set folder: repair would find them there
  # by content and simply rename them back.
  run() {
    local suffix=$1 prog=$2 action; shift 2
    local -A t rchar rss
    for _ in $(seq "$runs"); do
      rm -f set.*
      measure x "$prog" create -q "$@" -n "${shape_volumes[$shape]}" -o set file*.bin
      t[create]+=" $x" rchar[create]=$x_rchar rss[create]+=" $x_rss"
      measure x "$prog" verify -q "$@" set.PAR
      t[verify]+=" $x" rchar[verify]=$x_rchar rss[verify]+=" $x_rss"
      # shellcheck disable=SC2086
      mv $lost "$work/keep/"
      # A user repairs a set made long before: its volumes are older than
      # the two seconds after which a repair remembers what it read of a
      # file (and need not read it again in the check after the rebuild).
      sleep 2
      measure x "$prog" repair -q "$@" set.PAR
      t[repair]+=" $x" rchar[repair]=$x_rchar rss[repair]+=" $x_rss"
      for f in $lost; do cmp "$f" "$work/keep/$f"; done
      rm "$work/keep/"*
    done
    local total
    total=$(set_bytes)
    for action in create verify repair; do
      local m
      m=$(echo "${t[$action]}" | median)
      printf '%-6s %-16s %8.2f %14.2f %12.2f %9d\n' "$shape" "$action$suffix" "$m" \
        "$(calc "$m / $md5")" "$(calc "${rchar[$action]} / $total")" \
        "$(( $(echo "${rss[$action]}" | tr ' ' '\n' | sort -n | tail -1) / 1024 ))"
    done
  }
  printf '%-6s %-16s %8.2f %14.2f %12s %9s\n' "$shape" md5sum "$md5" 1 - -
  run "" "$cli"
  run _t1 "$cli" -t 1
  if [ -n "$other" ]; then
    run _other "$other"
    run _other_t1 "$other" -t 1
  fi
  rm -f set.*
  cd "$work"
done
rm -rf "$work/keep" "$work/rss.txt"
echo "(scale $scale, median of $runs; _t1: with -t 1${other:+; _other: $other}; folder $work)"
