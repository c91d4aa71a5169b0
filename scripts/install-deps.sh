#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those missing. Safe to
# run again. Pass --windows to add the MinGW-w64 cross compilers and Wine
# (64- and 32-bit), which build and run the Windows suites, and clang, lld and
# LLVM's tools, which build the MSVC-convention caller and export names; and
# extra package names to install them too.
set -euo pipefail

windows_packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64
                  g++-mingw-w64-i686-posix mingw-w64-i686-dev wine32:i386
                  clang lld llvm)
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
          nlohmann-json3-dev python3-venv python3-pytest "${extra[@]}")

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi

# 32-bit Wine is an i386 package: the architecture must be known to dpkg
# before apt can see it.
update_needed=false
if [[ " ${extra[*]} " == *":i386 "* ]] &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  update_needed=true
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null |
      grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})) || $update_needed; then
  $sudo apt-get update -qq
fi
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
