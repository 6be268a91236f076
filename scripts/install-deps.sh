#!/bin/bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(wine64 wine g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools googletest cmake make
          xvfb wixl msitools imagemagick librsvg2-bin fonts-dejavu-core xdotool iproute2 openssl ca-certificates python3 curl procps util-linux
          faketime locales osslsigncode)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    case "$p" in
      python3|cmake|make|curl) command -v "$p" > /dev/null 2>&1 && continue ;;
    esac
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  if [ "$(id -u)" != 0 ]; then
    echo "install-deps.sh: run as root to install packages" >&2
    exit 2
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" > /dev/null
fi

# The double-byte tests run Wine under ja_JP.UTF-8 (ANSI code page 932).
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
  if [ "$(id -u)" != 0 ]; then
    echo "install-deps.sh: run as root to generate the ja_JP.UTF-8 locale" >&2
    exit 2
  fi
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen > /dev/null
fi
