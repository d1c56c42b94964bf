#!/usr/bin/env bash
# Installs the Debian packages Tarvel needs to build, test and run.
# Run as root it uses apt-get; otherwise it names what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  # The windows: Qt 6 Widgets and SVG, the X11/Wayland platform plugins and a font.
  qt6-base-dev qt6-svg-dev qt6-qpa-plugins libqt6svg6 fonts-dejavu-core
  nlohmann-json3-dev
  # CPack's Debian package finds the programs' libraries with file and dpkg-shlibdeps.
  file
  # Benchmark yardstick only (bench/md5_bench); Tarvel never links it.
  libssl-dev
)
# The multi-buffer MD5 yardstick exists for x86-64 only; benchmark only too.
if [ "$(dpkg --print-architecture 2>/dev/null)" = amd64 ]; then
  packages+=(libipsec-mb-dev)
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

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "Tarvel needs these Debian packages, which are not installed:" >&2
  echo "  ${missing[*]}" >&2
  echo "Install them as root, for example:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
