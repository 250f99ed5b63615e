#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the program and the tests need and
# this machine lacks. Safe to run again: it asks dpkg first and installs only
# what is missing.
set -euo pipefail
pkgs=(
  build-essential cmake pkg-config ninja-build git ccache
  qt6-base-dev libasound2-dev libgtest-dev libgmock-dev
  # codecs of compressed images (CHD): deflate, LZMA, FLAC
  zlib1g-dev liblzma-dev libflac-dev
  # track checksums: MD5 and SHA-1 from libcrypto (CRC-32 from zlib)
  libssl-dev
  # checksums cross-checked against Python's zlib and hashlib
  python3
  # independent readers and writers the tests cross-check against
  genisoimage xorriso udftools p7zip-full libcdio-utils
  # peak memory of the tools the benchmarks compare (/usr/bin/time -v)
  time
  # FAT images for EFI boot entries (mkfs.vfat)
  dosfstools
  # GNU ddrescuelog reads the mapfiles the image command writes
  gddrescue
  # other tools' image formats: cdrdao (show-toc, toc2cue), CloneCD and Alcohol converters
  cdrdao ccd2iso mdf2iso
  # chdman, which writes the CHD images the tests read
  mame-tools
  # fuzzing: clang with its libFuzzer runtime
  clang libclang-rt-dev
  # screenshots and sound checks
  xvfb xauth imagemagick alsa-utils
  # checks the desktop entry, the MIME package and the manual pages the install puts in place
  desktop-file-utils shared-mime-info groff-base
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
