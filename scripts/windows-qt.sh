#!/usr/bin/env bash
# Qt for 64-bit Windows, built on Debian from Debian's own Qt sources: the
# source package qt6-base of the same version as the machine's qt6-base-dev,
# whose host tools (moc, rcc, uic) the cross build uses, compiled with
# Debian's mingw-w64 (POSIX thread model). Only what rtupoll needs: Core, Gui,
# Widgets and Network, the windows platform plugin and the Windows styles.
#
#   scripts/windows-qt.sh    builds unless cached; its last line is the Qt folder
#
# The result is cached outside the source tree, in
# ${XDG_CACHE_HOME:-~/.cache}/rtupoll/, in a folder named after the source
# version and a hash of this script (and of the compiler's version): only
# the first run pays (about 35 minutes on two cores), and a change to this
# script builds a new Qt beside the old one. Keep it apart from the release
# script for that reason.
#
# The source comes through `apt-get source` with a source list, a state
# folder and a cache of this script's own, derived from the deb entries of
# the machine's apt configuration, which is read and never changed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/setup.sh

# cmake ninja-build: the build; qt6-base-dev (with qt6-base-dev-tools): the
# host tools and the version to build; the cross compiler; dpkg-dev:
# dpkg-source, which unpacks the source package; xz-utils: its tarballs.
RTUPOLL_PACKAGES=(cmake ninja-build qt6-base-dev g++-mingw-w64-x86-64-posix dpkg-dev xz-utils)
mingw=x86_64-w64-mingw32

qt_source_version() {
  dpkg-query -W -f='${source:Version}' qt6-base-dev
}

# The cache folder: the source version, then the first 12 hex digits of a
# hash over this script, the source version and the compiler's version.
qt_prefix() {
  local version compiler key
  version="$(qt_source_version)"
  compiler="$("$mingw-g++-posix" -dumpfullversion)"
  key="$({ cat "$RTUPOLL_ROOT/scripts/windows-qt.sh"; echo "$version $compiler"; } | sha256sum | cut -c1-12)"
  echo "${XDG_CACHE_HOME:-$HOME/.cache}/rtupoll/qt-$version-windows-x64-$key"
}

rtupoll_install_missing_packages

prefix="$(qt_prefix)"
figures="$prefix/share/rtupoll-qt-build.txt"
print_cached() {
  echo "Qt for Windows: cached in $prefix"
  sed 's/^/  first build: /' "$figures"
  echo "$prefix"
}
if [[ -f "$figures" ]]; then
  print_cached
  exit 0
fi
# One build at a time into the same folder; a run that waits finds it built.
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
if ! flock -n 9; then
  echo "Qt for Windows: another run is building it into $prefix; waiting."
  flock 9
  if [[ -f "$figures" ]]; then
    print_cached
    exit 0
  fi
fi

version="$(qt_source_version)"
work="$prefix.work"
rm -rf "$work" "$prefix"
mkdir -p "$work/apt/state/lists/partial" "$work/apt/cache/archives/partial" \
  "$work/apt/sources.list.d" "$work/apt/preferences.d" "$work/source"
now() { date +%s; }

# deb-src lines for the archives, suites and components of the machine's
# deb entries, one-line (sources.list, *.list) and deb822 (*.sources) alike,
# each keeping its signed-by keyring.
deb_src_lines() {
  python3 - /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources <<'EOF'
import os, re, sys

for path in sys.argv[1:]:
    if not os.path.isfile(path):
        continue
    text = open(path, encoding="utf-8").read()
    if path.endswith(".sources"):
        for stanza in re.split(r"\n\s*\n", text):
            fields = {}
            for line in stanza.splitlines():
                if line.startswith("#") or ":" not in line or line[0].isspace():
                    continue
                name, value = line.split(":", 1)
                fields[name.strip().lower()] = value.strip()
            if "deb" not in fields.get("types", "").split() or fields.get("enabled", "yes") == "no":
                continue
            option = f" [signed-by={fields['signed-by']}]" if "signed-by" in fields else ""
            for uri in fields.get("uris", "").split():
                for suite in fields.get("suites", "").split():
                    print(f"deb-src{option} {uri} {suite} {fields.get('components', '')}")
    else:
        for line in text.splitlines():
            words = line.split("#", 1)[0].split()
            if words[:1] != ["deb"]:
                continue
            words[0] = "deb-src"
            print(" ".join(words))
EOF
}

apt_options=(
  -o Dir::State="$work/apt/state" -o Dir::State::status=/var/lib/dpkg/status
  -o Dir::Cache="$work/apt/cache"
  -o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts="$work/apt/sources.list.d"
  -o Dir::Etc::Preferences="$work/apt/preferences" -o Dir::Etc::PreferencesParts="$work/apt/preferences.d"
  # The download runs as this user, not apt's own, which may not write here.
  -o APT::Sandbox::User="$(id -un)"
)

started="$(now)"
deb_src_lines >"$work/apt/sources.list"
echo "Qt for Windows: fetching qt6-base $version with apt-get source" \
  "($(grep -c . "$work/apt/sources.list") deb-src entries from the machine's deb entries)"
apt-get "${apt_options[@]}" -q update >"$work/fetch.log" 2>&1 || { cat "$work/fetch.log" >&2; exit 1; }
(cd "$work/source" && apt-get "${apt_options[@]}" -q source --only-source "qt6-base=$version") \
  >>"$work/fetch.log" 2>&1 || { cat "$work/fetch.log" >&2; exit 1; }
source_dir="$(echo "$work"/source/qt6-base-*/)"
fetched="$(now)"

# The compilers, for Windows only; Qt's own packages and host tools are
# found through QT_HOST_PATH and the Qt6HostInfo package of the machine.
cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $mingw-gcc-posix)
set(CMAKE_CXX_COMPILER $mingw-g++-posix)
set(CMAKE_RC_COMPILER $mingw-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$mingw)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

host_cmake="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake"
features=(
  # The modules rtupoll does not use.
  sql opengl dbus printsupport concurrent xml testlib
  # No TLS, proxies from the system or network status plugin: the program
  # talks plain Modbus TCP to hosts by address or name.
  ssl openssl schannel networklistmanager libproxy
  # Debian's source drops the Wintab header the tablet support needs.
  tabletevent
  # Plugins and tools the program never loads: Direct2D painting, TUIO
  # touch, image formats but PNG, and Debian's cross-built androiddeployqt.
  direct2d tuiotouch gif ico jpeg androiddeployqt
  # DirectWrite 3 goes with Direct2D: 6.4 builds Gui's DirectWrite font
  # database only with Direct2D, but the windows platform plugin refers to
  # it whenever DirectWrite 3 is on, and then does not link. The plugin
  # draws text with GDI unless told otherwise, with or without it.
  directwrite3
  # Nothing from the machine: Qt's own copies of these are built in.
  system_zlib system_pcre2 system_freetype system_harfbuzz system_png system_jpeg
  system_doubleconversion zstd pkg_config
)
feature_options=()
for feature in "${features[@]}"; do
  feature_options+=("-DFEATURE_$feature=OFF")
done

# No OpenGL at all (INPUT_opengl=no): FEATURE_opengl=OFF alone leaves
# dynamic OpenGL on, with which the windows platform plugin of 6.4 does not
# build without OpenGL.
echo "Qt for Windows: configuring"
cmake -S "$source_dir" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" -DQt6HostInfo_DIR="$host_cmake/Qt6HostInfo" \
  -DINPUT_opengl=no \
  -DFEATURE_freetype=ON -DFEATURE_harfbuzz=ON -DFEATURE_png=ON -DFEATURE_style_windowsvista=ON \
  "${feature_options[@]}" \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  >"$work/configure.log" 2>&1 || { tail -60 "$work/configure.log" >&2; exit 1; }
configured="$(now)"

echo "Qt for Windows: building with $(nproc) jobs (about 35 minutes on two cores); log in $work/build.log"
if ! { cmake --build "$work/build" -j"$(nproc)" && cmake --install "$work/build" --strip; } >"$work/build.log" 2>&1; then
  grep -B2 -A12 -m3 "error:\|FAILED" "$work/build.log" >&2 || tail -60 "$work/build.log" >&2
  exit 1
fi
built="$(now)"

# Where the source came from, for the LGPL notice of whatever ships these DLLs.
mkdir -p "$prefix/share"
echo "$version" >"$prefix/share/rtupoll-qt-source-version.txt"
cp "$work/configure.log" "$prefix/share/rtupoll-qt-configure.log"
size="$(du -sh "$prefix" | cut -f1)"
printf 'fetch %d s, configure %d s, build and install %d s, %s installed\n' \
  $((fetched - started)) $((configured - fetched)) $((built - configured)) "$size" >"$figures"
# The sources and the build tree go; a failed run keeps them for a look.
rm -rf "$work"
echo "Qt for Windows: built into $prefix"
sed 's/^/  /' "$figures"
echo "$prefix"
