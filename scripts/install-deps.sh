#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those missing. Safe to
# run again. Pass extra package names to install them too.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev
          libbenchmark-dev libcli11-dev nlohmann-json3-dev "$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null |
      grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  sudo=""
  if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
