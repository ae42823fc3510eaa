#!/usr/bin/env bash
# Installs everything Skylume needs to build, test and run on Debian 12.
# Idempotent: packages already present are not touched and nothing is printed.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libpugixml-dev nlohmann-json3-dev libmsgsl-dev libcurl4-openssl-dev
  libzip-dev libfmt-dev libgtest-dev libgmock-dev zip
  libx11-dev xvfb x11-apps xfonts-base imagemagick librsvg2-bin
  iproute2
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
