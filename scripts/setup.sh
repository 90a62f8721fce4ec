#!/usr/bin/env bash
# Installs what building and testing Corvane needs on a Debian machine.
# Quick when everything is already present.
set -euo pipefail

packages=(cmake g++ mingw-w64 wine wine32:i386 xvfb xauth x11-apps iproute2
          python3-aiosmtpd imagemagick openssl curl nsis zip php-cli clang-format
          clang libclang-rt-dev)  # the last two: the libFuzzer targets and their sanitizers
needed=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || needed+=("$p")
done
[ -d /usr/src/googletest ] || needed+=(googletest)
[ ${#needed[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${needed[@]}" >/dev/null
