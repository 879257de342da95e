#!/usr/bin/env bash
# Installs the toolchain from Debian's packages when something is missing (idempotent, needs root).
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev clang-format python3 openssl
          clang-19 lld-19 llvm-19 g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
          googletest wine wine64 osslsigncode ca-certificates git jq)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
