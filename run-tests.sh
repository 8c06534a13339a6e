#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs the whole test suite.
# Extra arguments go to ctest, e.g. ./run-tests.sh -R RtuSim
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
source scripts/setup.sh

rtupoll_install_missing_packages
rtupoll_build
exec ctest --test-dir "$RTUPOLL_BUILD" --output-on-failure "$@"
