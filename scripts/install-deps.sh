#!/usr/bin/env bash
# Installs, from Debian's archive, the build and test dependencies that are
# missing. Safe to run again: with everything present it does nothing.
set -euo pipefail

packages=(
  cmake make g++ pkg-config binutils
  libfmt-dev libboost-dev uuid-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libfftw3-dev nlohmann-json3-dev
  libsndfile1-dev libsamplerate0-dev libcairo2-dev espeak-ng
  clang-14 libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
