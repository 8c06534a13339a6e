#!/usr/bin/env python3
"""Boots fresh Wine prefixes one after another, as the Windows check and the
release's proof make theirs (a new prefix, wineboot --init, tried once more
in a fresh prefix if it fails), in a network namespace with loopback only,
and prints how many failed and how many needed their second try.

    tools/wine_boot_trial.py [COUNT, default 30]    # as root

Each prefix is removed before the next is made.
"""

import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from rtupoll_harness import namespace  # noqa: E402
from rtupoll_harness.wine import WinePrefix  # noqa: E402


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    namespace.enter_private_network()
    failed = retried = 0
    seconds = []
    with tempfile.TemporaryDirectory(prefix="rtupoll-wine-boots-") as work:
        for number in range(1, count + 1):
            began = time.monotonic()
            prefix = None
            try:
                prefix = WinePrefix(pathlib.Path(work) / f"boot-{number}")
                retried += prefix.boot_tries > 1
                outcome = f"booted in {prefix.boot_seconds:.1f} s, try {prefix.boot_tries}"
            except (subprocess.CalledProcessError, subprocess.TimeoutExpired):
                failed += 1
                outcome = "failed twice"
            finally:
                if prefix:
                    prefix.end()
            seconds.append(time.monotonic() - began)
            print(f"prefix {number}: {outcome}", flush=True)
    print(f"{count} fresh prefixes: {failed} failed, {retried} needed the second try; "
          f"{min(seconds):.1f} to {max(seconds):.1f} s each, median {statistics.median(seconds):.1f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
