#!/usr/bin/env bash
# Installs what is missing, builds, and shows rtupoll polling three simulated
# devices (rtu-sim) on loopback ports: tools/demo.py does the rest.
#
#   ./run-demo.sh                        open the window (on a virtual display without one)
#   ./run-demo.sh --screenshot shot.png  run on a virtual display, save a screenshot, stop
#                 [--after SECONDS]      ... taken SECONDS after the start (default 12)
#   ./run-demo.sh --flaky                a poor field: device A behind a slow link
#                                        (300 ms round trip), device B closing its
#                                        connections every 5 s
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/setup.sh"

rtupoll_install_missing_packages
rtupoll_build rtupoll rtu-sim >&2
exec /usr/bin/python3 "$RTUPOLL_ROOT/tools/demo.py" "$@"
