#!/usr/bin/env bash
# Installs what the benchmarks need, builds them with rtupoll and rtu-sim,
# and runs bench/benchmarks.py with the same arguments (--help for them).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/setup.sh"

previous=""
for arg in "$@"; do
  if [[ "$previous" == --build ]]; then RTUPOLL_BUILD="$(realpath -m "$arg")"; fi
  previous="$arg"
done
rtupoll_install_missing_packages
rtupoll_build benchmarks
exec python3 "$root/bench/benchmarks.py" --build "$RTUPOLL_BUILD" "$@"
