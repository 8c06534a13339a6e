#!/usr/bin/env bash
# The Windows check: builds the core, its files on the real file system
# (the Windows implementation), the test support and the core tests for
# 64-bit Windows with Debian's mingw-w64, and runs them with ctest under
# Wine: headless, in a Wine prefix of its own that is removed afterwards.
#
#   scripts/windows-check.sh [--no-install] [build folder, default build/windows]
#
# Installs the Debian packages it needs when they are missing; with
# --no-install (the suite's test windows.core_tests) it exits 77, "skipped",
# instead. GoogleTest is built for Windows from Debian's googletest sources.
set -euo pipefail
caller="$PWD"
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/setup.sh

install=1
if [[ "${1:-}" == --no-install ]]; then
  install=0
  shift
fi
# A folder given relative to where the script was called from.
build="$(cd "$caller" && realpath -m -- "${1:-$RTUPOLL_BUILD/windows}")"
needed=(cmake ninja-build googletest "${RTUPOLL_WINDOWS_PACKAGES[@]}")
if ((install)); then
  RTUPOLL_PACKAGES=("${needed[@]}")
  rtupoll_install_missing_packages
else
  mapfile -t missing < <(rtupoll_missing_packages "${needed[@]}")
  if ((${#missing[@]} > 0)); then
    echo "Skipped: the Debian packages ${missing[*]} are missing (./run-tests.sh installs them)."
    exit 77
  fi
fi

toolchain="$RTUPOLL_ROOT/cmake/mingw-w64-x86_64.cmake"
jobs="$(nproc)"
started="$(date +%s)"
step() { echo "== $1 (at $(($(date +%s) - started)) s)"; }

# A prefix of its own: nothing of a user's ~/.wine is used or changed, and
# no menu entries or file types go into the home folder (winemenubuilder).
# No display: the tests are console programs. Mono and Gecko are not
# wanted, and Wine's own messages are left out of the tests' output.
# wineserver keeps its socket in a folder under TMPDIR that it leaves
# behind, hence a TMPDIR of its own too.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/rtupoll-wine-XXXXXX")"
mkdir "$scratch/prefix" "$scratch/tmp"
export WINEPREFIX="$scratch/prefix" TMPDIR="$scratch/tmp"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
sleeper=""
# wineserver stops by itself a few seconds after its last program; -k ends
# it and every program in the prefix now, so that the prefix can go.
finish() {
  if [[ -n "$sleeper" ]]; then kill "$sleeper" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$scratch"
}
trap finish EXIT
mkdir -p "$build"

step "Wine: a new prefix (its first start is the slow one)"
# A fresh prefix's first boot fails now and then (exit 53: Wine could not
# load its own DLLs). Only this boot is tried again, once, in a fresh
# prefix; the tests never are.
boot_prefix() {
  local status=0
  # Wine's errors kept for the log (fixme-all: all but its fixme lines).
  WINEDEBUG=fixme-all wine wineboot --init >"$build/wineboot.log" 2>&1 || status=$?
  if ((status != 0)); then
    echo "Wine's first boot of the new prefix failed (exit $status); its last lines:" >&2
    tail -n 20 "$build/wineboot.log" >&2
  fi
  return "$status"
}
if ! boot_prefix; then
  echo "Trying once more, in a fresh prefix." >&2
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  mkdir "$WINEPREFIX"
  boot_prefix
fi
# Whenever its last program ends, Wine ends its session's services, and the
# next program starts them again, handing them its output: ctest then waits
# three seconds for each test's output to close. A program that reads its
# input keeps the session up; the input is a FIFO that a bounded sleep holds
# open, so it ends by itself even if this script is killed.
mkfifo "$scratch/keep-session"
sleep 1200 >"$scratch/keep-session" 2>/dev/null &
sleeper=$!
wine cmd /c "set /p line=" <"$scratch/keep-session" >/dev/null 2>&1 &

step "GoogleTest for Windows, from /usr/src/googletest"
gtest="$build/googletest"
cmake -S /usr/src/googletest -B "$gtest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest/installed" >"$build/googletest.log"
cmake --build "$gtest" -j"$jobs" --target install >>"$build/googletest.log"

step "The core and its tests for Windows"
cmake -S "$RTUPOLL_ROOT" -B "$build/rtupoll" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DRTUPOLL_PROGRAM=OFF -DGTest_DIR="$gtest/installed/lib/cmake/GTest"
cmake --build "$build/rtupoll" -j"$jobs"

step "The tests under Wine"
ctest --test-dir "$build/rtupoll" --output-on-failure -j"$jobs"
step "Done"
