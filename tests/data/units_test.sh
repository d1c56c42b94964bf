#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the systemd units of the weekly check with systemd-analyze verify,
# which prints nothing for units without fault:
#   units_test.sh SERVICE TIMER TARVEL_CLI
# systemd looks for a bare ExecStart= program in /usr/bin and /usr/local/bin
# only; the copies checked here name the tarvel-cli that was built.
set -u
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is not installed: skipped"; exit 77; }
folder=$(mktemp -d) && trap 'rm -rf "$folder"' EXIT || exit 1
sed "s|^ExecStart=tarvel-cli |ExecStart=$3 |" "$1" >"$folder/${1##*/}"
cp "$2" "$folder/"
grep -q "^ExecStart=$3 " "$folder/${1##*/}" || { echo "no ExecStart=tarvel-cli ... in $1"; exit 1; }
# The user manager needs a runtime folder, which a test run may not have.
export XDG_RUNTIME_DIR=$folder
report=$(systemd-analyze --user --man=no verify "$folder/${1##*/}" "$folder/${2##*/}" 2>&1)
status=$?
[[ -n $report ]] && echo "$report"
[[ $status -eq 0 && -z $report ]]
