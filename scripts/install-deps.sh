#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Tarvel needs, with apt-get: as root directly,
# as another user through sudo where it is installed; without sudo it names
# what is missing and fails.
#   scripts/install-deps.sh         to build, package and run Tarvel
#   scripts/install-deps.sh --cli   to build and package tarvel-cli alone,
#                                   without Qt (scripts/package.sh --cli)
#   scripts/install-deps.sh --test  and to run every test and benchmark
#                                   (scripts/test.sh)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  nlohmann-json3-dev
  # CPack's Debian packages find the programs' libraries with file and dpkg-shlibdeps.
  file
  # The message catalogues, compiled by msgfmt (po/).
  gettext
)
if [ "${1:-}" != --cli ]; then
  # The windows: Qt 6 Widgets and SVG, the X11/Wayland platform plugins and a font.
  packages+=(qt6-base-dev qt6-svg-dev qt6-qpa-plugins libqt6svg6 fonts-dejavu-core)
  # Qt's own texts (its standard dialogs) in the person's language.
  packages+=(qt6-translations-l10n)
fi
if [ "${1:-}" = --test ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    # Benchmark yardstick only (bench/md5_bench); Tarvel never links it.
    libssl-dev
    # The checks of data/: the AppStream metadata and the desktop entry.
    appstream desktop-file-utils
    # The volume fuzz target: clang with its libFuzzer and sanitizer runtimes.
    clang libclang-rt-14-dev
    # The format check of the sources (the Debian 12 version, 14).
    clang-format
    # Looking at the windows as a person does under Xvfb: the window
    # manager, the mouse and keys, screenshots, and the windows read as a
    # screen reader reads them (AT-SPI); a message bus for the notifications.
    xvfb openbox xdotool imagemagick python3-pyatspi dbus
  )
  # The multi-buffer MD5 yardstick exists for x86-64 only; benchmark only too.
  if [ "$(dpkg --print-architecture 2>/dev/null)" = amd64 ]; then
    packages+=(libipsec-mb-dev)
  fi
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

list_missing() {
  echo "Tarvel needs these Debian packages, which are not installed:" >&2
  echo "  ${missing[*]}" >&2
  echo "Install them as root, for example:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
}

as_root=()
if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
else
  command -v sudo >/dev/null || list_missing
  echo "Tarvel needs these Debian packages, which are not installed:"
  echo "  ${missing[*]}"
  echo "Installing them with sudo apt-get; sudo may ask for your password, as"
  echo "installing packages needs root."
  as_root=(sudo)
fi
if ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
   ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
       apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
  [ ${#as_root[@]} -eq 0 ] && exit 1
  list_missing
fi
