# Set-up shared by run-tests.sh and run-demo.sh; sourced, not run.
# Installs the Debian packages the build, the tests and the demo need (only
# those that are missing), then configures and builds into build/.

RTUPOLL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
RTUPOLL_BUILD="$RTUPOLL_ROOT/build"

# Build: cmake ninja-build g++ pkg-config; program: qt6-base-dev libgl-dev
# (Qt's GUI module needs the GL headers), librsvg2-bin (draws the icon's
# sizes), fonts-liberation2 (the window's font); simulator: libmodbus-dev;
# tests: libgtest-dev googletest, locales (the sources from which the tests
# make a locale with a decimal comma); screenshots: xvfb xauth imagemagick;
# peer for the benchmarks: mbpoll; their instruction counts: valgrind
# (callgrind); the Debian package and its check: dpkg-dev
# (dpkg-shlibdeps) desktop-file-utils appstream; the screen-reader check:
# python3-pyatspi at-spi2-core dbus; link-fault tests, slow-link proxy and
# their benchmark: python3, nftables and iproute2 (links broken inside a
# network namespace), xdotool (the operator's click on Connect).
RTUPOLL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev librsvg2-bin fonts-liberation2
  libmodbus-dev
  libgtest-dev googletest locales
  xvfb xauth imagemagick
  mbpoll valgrind
  dpkg-dev desktop-file-utils appstream
  python3-pyatspi at-spi2-core dbus
  python3 nftables iproute2 xdotool
)

# The Windows check (scripts/windows-check.sh, run by ./run-tests.sh's
# suite): the mingw-w64 cross compiler in its POSIX thread model and Wine
# to run what it builds, with its preloader, which reserves the address
# ranges Windows programs expect before anything else can take them (without
# it a prefix's first boot fails now and then, Wine's DLLs not loading). Not
# needed by the demo, hence a list of its own.
RTUPOLL_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine wine64 wine64-preloader)

# The Windows release (scripts/windows-release.sh), beside the two lists
# above: NSIS for the installer, icoutils (icotool) for the program's icon
# and a look at its resources, zip for the portable ZIP.
# scripts/windows-qt.sh installs what its Qt build needs itself.
RTUPOLL_RELEASE_PACKAGES=(nsis icoutils zip)

# Prints, one a line, the given packages that dpkg does not have installed.
rtupoll_missing_packages() {
  local package
  for package in "$@"; do
    # "ii" is dpkg's abbreviation for wanted: install, state: installed.
    if [[ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null)" != ii* ]]; then
      echo "$package"
    fi
  done
}

rtupoll_install_missing_packages() {
  if ! command -v dpkg-query >/dev/null; then
    echo "This set-up needs Debian (dpkg and apt-get)." >&2
    return 1
  fi
  local missing
  mapfile -t missing < <(rtupoll_missing_packages "${RTUPOLL_PACKAGES[@]}")
  if ((${#missing[@]} == 0)); then
    return 0
  fi
  local as_root=()
  if ((EUID != 0)); then
    if ! command -v sudo >/dev/null; then
      echo "Missing Debian packages: ${missing[*]}; run as root to install them." >&2
      return 1
    fi
    as_root=(sudo)
  fi
  echo "Installing missing Debian packages: ${missing[*]}"
  "${as_root[@]}" apt-get update
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
}

# Configures build/ and builds the given targets (everything when none are given).
rtupoll_build() {
  cmake -S "$RTUPOLL_ROOT" -B "$RTUPOLL_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
  local targets=()
  if (($# > 0)); then
    targets=(--target "$@")
  fi
  cmake --build "$RTUPOLL_BUILD" -j"$(nproc)" "${targets[@]}"
}
