#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs the whole test suite.
# Extra arguments go to ctest, e.g. ./run-tests.sh -R RtuSim
# The libFuzzer targets are built with clang and run over their seeds first;
# RTUPOLL_FUZZ_SECONDS=60 ./run-tests.sh also fuzzes each for 60 s.
# The suite includes the Windows check (windows.core_tests): the core and its
# tests built with mingw-w64 and run under Wine (scripts/windows-check.sh).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
source scripts/setup.sh

RTUPOLL_PACKAGES+=("${RTUPOLL_WINDOWS_PACKAGES[@]}")
rtupoll_install_missing_packages
rtupoll_build
fuzz/run.sh "${RTUPOLL_FUZZ_SECONDS:-0}"
exec ctest --test-dir "$RTUPOLL_BUILD" --output-on-failure -j2 "$@"
