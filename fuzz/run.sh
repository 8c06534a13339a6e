#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for a bounded time, one after
# the other: fuzz/run.sh [seconds per target, default 60] [target...]
# Targets: reply, ini (both when none are given). With 0 seconds each target
# only runs its seeds once, under libFuzzer and both sanitizers: a check that
# the targets build and pass, quick enough for every CI run.
#
# The seeds in fuzz/corpus/<target>/ are only read; the inputs the fuzzer
# finds go to a temporary folder. A crash or broken invariant leaves its input
# in that folder, which is then kept and named; add it to the seeds once the
# fault is mended, so the corpus test keeps it mended.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/setup.sh

seconds="${1:-60}"
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(reply ini)
fi

RTUPOLL_PACKAGES+=(clang libclang-rt-14-dev)
rtupoll_install_missing_packages

# The clang build sits beside build/, one per checkout: a fixed folder shared
# by checkouts would hold a cache that names another source folder.
build="${RTUPOLL_FUZZ_BUILD:-$RTUPOLL_ROOT/build-fuzz}"
CXX=clang++ cmake -S "$RTUPOLL_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRTUPOLL_FUZZ=ON -DBUILD_TESTING=OFF
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzzer}"

work="$(mktemp -d "${TMPDIR:-/tmp}/rtupoll-fuzz-XXXXXX")"
failed=()
for target in "${targets[@]}"; do
  mkdir -p "$work/$target/corpus" "$work/$target/found"
  echo "== $target: ${seconds} s"
  if ((seconds > 0)); then
    bound=(-max_total_time="$seconds")
  else
    bound=(-runs=0)
  fi
  # The new inputs go to the first folder; the seeds folder is only read.
  if ! "$build/fuzz/${target}_fuzzer" "${bound[@]}" -print_final_stats=1 \
      -artifact_prefix="$work/$target/found/" \
      "$work/$target/corpus" "$RTUPOLL_ROOT/fuzz/corpus/$target" 2>"$work/$target/log"; then
    failed+=("$target")
  fi
  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$target/log" || true
done

if ((${#failed[@]} > 0)); then
  echo "Faults found in: ${failed[*]}; inputs and logs kept in $work" >&2
  exit 1
fi
rm -rf "$work"
