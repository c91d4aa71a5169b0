#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those missing. Safe to
# run again. By default everything the Linux build and its tests need; pass
# --minimal for only what the library, the admin tool and its manual page
# need (scripts/run.sh), or --windows to add the MinGW-w64 cross compilers
# and Wine (64- and 32-bit), which build and run the Windows suites, and
# clang, lld and LLVM's tools, which build the MSVC-convention caller and
# export names; and extra package names to install them too.
set -euo pipefail

# The library and the tool: the compiler and build tools, and the tool's
# command-line and JSON libraries (header-only).
minimal_packages=(cmake ninja-build g++ libcli11-dev nlohmann-json3-dev)
# The tests and benchmarks, the fuzz target (clang and its runtime), the
# installed-tree test (pkg-config), the Python package's wheel and tests,
# its Ansible module's playbook (ansible-core, with PyYAML), lintian over
# the Debian packages, and the C# and Go examples of the C interface.
test_packages=(clang libclang-rt-dev pkg-config googletest libgtest-dev
               libbenchmark-dev libsqlite3-dev python3-venv python3-pytest
               python3-pip python3-setuptools python3-wheel ansible-core
               python3-yaml lintian mono-mcs mono-runtime golang-go)
windows_packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64
                  g++-mingw-w64-i686-posix mingw-w64-i686-dev wine32:i386
                  clang lld llvm)
minimal=false
extra=()
for arg in "$@"; do
  if [[ $arg == --minimal ]]; then
    minimal=true
  elif [[ $arg == --windows ]]; then
    extra+=("${windows_packages[@]}")
  else
    extra+=("$arg")
  fi
done

packages=("${minimal_packages[@]}")
if ! $minimal; then packages+=("${test_packages[@]}"); fi
packages+=("${extra[@]}")

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
