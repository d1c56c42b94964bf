#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command, or reports the test skipped (77) when its program is missing.
command -v "$1" >/dev/null 2>&1 || { echo "$1 is not installed: skipped"; exit 77; }
exec "$@"
