#!/usr/bin/env bash
# Installs the Debian packages the build needs, and those of the named extras:
#   tools/install-deps.sh [test] [screens] [bench] [fuzz] [windows]
# Only missing packages are installed; nothing happens when all are present.
set -euo pipefail

# qt6-translations-l10n: Qt's own texts in Japanese (qtbase_ja.qm), which the
# program loads at run time.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libftdi1-dev libgl-dev
  qt6-translations-l10n)
for extra in "$@"; do
  case "$extra" in
    test) packages+=(libgtest-dev libgmock-dev gputils srecord) ;;
    screens) packages+=(xvfb xauth fonts-ipafont-gothic imagemagick) ;;
    bench) packages+=(libbenchmark-dev time) ;;  # time: /usr/bin/time for bench/many-writers.sh
    # clang's libFuzzer and sanitizer runtimes (tools/fuzz.sh).
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    # The Windows build: the mingw-w64 cross compiler, moc/rcc/uic of the
    # host's Qt, GoogleTest's source (built for the target), Wine to run the
    # tests headless, NSIS for the setup program, zip for the portable copy,
    # gputils for the round trip's program and the Japanese font.
    windows) packages+=(g++-mingw-w64-x86-64-posix qt6-base-dev-tools googletest wine64 xvfb
      xauth nsis zip gputils fonts-ipafont-gothic fonts-dejavu-core qt6-translations-l10n xz-utils) ;;
    *) echo "install-deps: unknown extra '$extra' (test, screens, bench, fuzz, windows)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
