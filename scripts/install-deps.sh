#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those missing. Safe to
# run again. Pass --windows to add the MinGW-w64 cross compiler and Wine,
# which build and run the Windows suite, and extra package names to install
# them too.
set -euo pipefail

windows_packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64)
extra=()
for arg in "$@"; do
  if [[ $arg == --windows ]]; then
    extra+=("${windows_packages[@]}")
  else
    extra+=("$arg")
  fi
done

packages=(cmake ninja-build g++ clang libclang-rt-dev pkg-config googletest
          libgtest-dev libbenchmark-dev libsqlite3-dev libcli11-dev
          nlohmann-json3-dev help2man "${extra[@]}")

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
