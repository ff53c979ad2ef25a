#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing.
#   scripts/install-deps.sh          build, tests (Python ones with pytest), benchmarks,
#                                    Windows compile check
#   scripts/install-deps.sh fuzz     also clang and its libFuzzer runtime
#   scripts/install-deps.sh browser  also what the browser test of trx spy needs:
#                                    Chromium, its WebDriver and Selenium for Python
#   scripts/install-deps.sh windows  also what trxcom.exe needs: widl (mingw-w64-tools)
#                                    with Wine's IDL files and stdole2.tlb (libwine-dev),
#                                    and Wine to run it (wine, wine64)
# Groups can be combined: scripts/install-deps.sh fuzz windows
set -euo pipefail

packages=(
  cmake ninja-build g++ make
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev nlohmann-json3-dev
  python3 python3-pytest libcpp-httplib-dev pkgconf
  g++-mingw-w64-x86-64
)
for group in "$@"; do
  case "$group" in
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    browser) packages+=(chromium chromium-driver python3-selenium) ;;
    windows) packages+=(mingw-w64-tools libwine-dev wine wine64) ;;
    *) echo "install-deps.sh: unknown group '$group' (fuzz, browser, windows)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq "${missing[@]}" </dev/null
fi
