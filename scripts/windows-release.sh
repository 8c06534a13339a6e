#!/usr/bin/env bash
# The Windows release, built on Debian and proven under Wine:
#
#   scripts/windows-release.sh [--no-check]
#
# 1. Qt for Windows from Debian's qt6-base source (scripts/windows-qt.sh;
#    cached after its first build, which takes about 35 minutes on two cores);
# 2. rtupoll.exe, built with mingw-w64 by the project's own CMake;
# 3. the portable ZIP, rtupoll-VERSION-windows-x64.zip: the program, the Qt
#    DLLs and plugins it loads, the compiler's runtime DLLs, the licences;
# 4. the per-user installer, rtupoll-VERSION-windows-x64-setup.exe (NSIS);
# 5. unless --no-check, their proof (tools/windows_release_check.py): under
#    Wine, on a virtual display, in a network namespace with loopback only,
#    the ZIP polls three simulated devices (rtu-sim, the Linux one), closing
#    its window saves the set-up, the installer installs, runs and uninstalls
#    keeping the set-up, the core's Windows check passes
#    (scripts/windows-check.sh), a silently dead link shows "???", a second
#    start from a running poller's folder is refused, and a reader holding
#    data.csv open does not keep it stale once it lets go.
#
# Everything goes to build/windows-release/, the ZIP, the installer and a
# screenshot of the window under Wine at its top. Installs the Debian
# packages it needs when they are missing; needs root for the proof.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/setup.sh

check=1
if [[ "${1:-}" == --no-check ]]; then
  check=0
fi

started="$(date +%s)"
seconds_since() { echo $(($(date +%s) - $1)); }
step() { echo "== $1 (at $(seconds_since "$started") s)"; }
figures=()
figure() {
  echo "  $1"
  figures+=("$1")
}
megabytes() { awk -v bytes="$(du -sb "$1" | cut -f1)" 'BEGIN { printf "%.1f MB", bytes / 1e6 }'; }

# The whole project's packages (the normal build makes rtu-sim), the Windows
# check's, and the release's own.
RTUPOLL_PACKAGES+=("${RTUPOLL_WINDOWS_PACKAGES[@]}" "${RTUPOLL_RELEASE_PACKAGES[@]}")
rtupoll_install_missing_packages

out="$RTUPOLL_BUILD/windows-release"
mkdir -p "$out"
mingw=x86_64-w64-mingw32

step "Qt for Windows (scripts/windows-qt.sh)"
began="$(date +%s)"
scripts/windows-qt.sh | tee "$out/qt.log"
qt="$(tail -n 1 "$out/qt.log")"
if grep -q "^Qt for Windows: cached" "$out/qt.log"; then
  figure "Qt for Windows: cached, $(seconds_since "$began") s; its first build: $(sed -n 's/^  first build: //p' "$out/qt.log")"
else
  figure "Qt for Windows: built in $(seconds_since "$began") s ($(tail -n 2 "$out/qt.log" | head -n 1 | sed 's/^ *//'))"
fi
qt_source_version="$(cat "$qt/share/rtupoll-qt-source-version.txt")"

step "rtu-sim, the simulated devices, in the normal build"
rtupoll_build rtu-sim >"$out/linux-build.log"

step "rtupoll.exe"
began="$(date +%s)"
exe_build="$out/rtupoll"
# A build made with another Qt starts afresh: its cache names that Qt's packages.
if ! grep -qxF "RTUPOLL_WINDOWS_QT:UNINITIALIZED=$qt" "$exe_build/CMakeCache.txt" 2>/dev/null; then
  rm -rf "$exe_build"
fi
cmake -S "$RTUPOLL_ROOT" -B "$exe_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$RTUPOLL_ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DRTUPOLL_WINDOWS_QT="$qt" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DRTUPOLL_FUZZ_SEEDS=OFF \
  >"$out/exe-configure.log"
cmake --build "$exe_build" -j"$(nproc)" --target rtupoll
figure "rtupoll.exe: configured and built in $(seconds_since "$began") s"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$exe_build/CMakeCache.txt")"
name="rtupoll-$version-windows-x64"

step "The portable folder $name"
folder="$out/$name"
rm -rf "$folder"
mkdir -p "$folder/platforms" "$folder/styles" "$folder/licenses"
"$mingw-strip" -o "$folder/rtupoll.exe" "$(find "$exe_build" -name rtupoll.exe -not -path '*/CMakeFiles/*' -print -quit)"
# A window program (no console beside it) with its icon and version.
headers="$("$mingw-objdump" -p "$folder/rtupoll.exe")"
if ! grep -q "^Subsystem.*Windows GUI" <<<"$headers"; then
  echo "rtupoll.exe is not a Windows GUI program" >&2
  exit 1
fi
resources="$(wrestool --list "$folder/rtupoll.exe")"
if ! grep -q "type=group_icon" <<<"$resources" || ! grep -q "type=version" <<<"$resources"; then
  echo "rtupoll.exe lacks its icon or its version information" >&2
  exit 1
fi
# The plugins Qt loads from beside the program: the windows platform
# plugin, and the style of Windows 10 and 11.
cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"

# The DLLs the program and its plugins import, and theirs in turn, that come
# from Qt or the compiler; the rest (kernel32, user32, ws2_32...) are
# Windows' own.
dll_folders=("$qt/bin" "$(dirname "$("$mingw-g++-posix" -print-file-name=libstdc++-6.dll)")" "/usr/$mingw/lib")
find_dll() {
  local dll_folder
  for dll_folder in "${dll_folders[@]}"; do
    find "$dll_folder" -maxdepth 1 -iname "$1" -print -quit
  done | head -n 1
}
pending=("$folder/rtupoll.exe" "$folder/platforms/qwindows.dll" "$folder/styles/qwindowsvistastyle.dll")
while ((${#pending[@]} > 0)); do
  binary="${pending[0]}"
  pending=("${pending[@]:1}")
  for dll in $("$mingw-objdump" -p "$binary" | sed -n 's/^\s*DLL Name: //p'); do
    found="$(find_dll "$dll")"
    if [[ -n "$found" && ! -e "$folder/$(basename "$found")" ]]; then
      cp "$found" "$folder/"
      pending+=("$folder/$(basename "$found")")
    fi
  done
done

# Text for Windows: CR LF line ends.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
crlf packaging/windows/README.txt "$folder/README.txt"
crlf LICENSE "$folder/LICENSE.txt"
sed -e "s/@QT_VERSION@/${qt_source_version%%+*}/" -e "s/@QT_SOURCE_VERSION@/$qt_source_version/" \
  -e "s/@COMPILER@/$("$mingw-g++-posix" --version | head -n 1)/" packaging/windows/Qt.txt.in >"$out/Qt.txt"
crlf "$out/Qt.txt" "$folder/licenses/Qt.txt"
crlf /usr/share/common-licenses/LGPL-3 "$folder/licenses/LGPL-3.txt"
crlf /usr/share/common-licenses/GPL-3 "$folder/licenses/GPL-3.txt"
# Debian's copyright files: of Qt (qt6-base, the same source version), of
# the compiler's runtime (libstdc++ and libgcc under the GCC Runtime Library
# Exception; winpthreads), and of the window's font, compiled into the program.
crlf /usr/share/doc/libqt6core6/copyright "$folder/licenses/qt6-base-copyright.txt"
crlf /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright "$folder/licenses/gcc-runtime-copyright.txt"
crlf /usr/share/doc/mingw-w64-x86-64-dev/copyright "$folder/licenses/mingw-w64-copyright.txt"
crlf /usr/share/doc/fonts-liberation2/copyright "$folder/licenses/fonts-liberation2-copyright.txt"
echo "  $(cd "$folder" && find . -type f | sort | sed 's|^\./||' | tr '\n' ' ')"

step "The ZIP"
zip_file="$out/$name.zip"
rm -f "$zip_file"
(cd "$out" && zip -q -r -X -9 "$zip_file" "$name")
figure "$name.zip: $(megabytes "$zip_file"), unpacked $(megabytes "$folder")"

step "The installer"
# One line a file for the installer, and for the uninstaller, which removes
# only these: setting.ini and data.csv stay.
{
  (cd "$folder" && find . -type d | sort) | while read -r dir; do
    sub="${dir#.}"
    echo "SetOutPath \"\$INSTDIR${sub//\//\\}\""
    find "$folder$sub" -maxdepth 1 -type f | sort | sed 's/.*/File "&"/'
  done
} >"$out/files.nsh"
{
  (cd "$folder" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s/.*/Delete "$INSTDIR\\&"/'
  (cd "$folder" && find . -mindepth 1 -type d | sort -r) | sed 's|^\./||; s|/|\\|g; s/.*/RMDir "$INSTDIR\\&"/'
} >"$out/unfiles.nsh"
setup_file="$out/$name-setup.exe"
makensis -V2 -DVERSION="$version" -DFOLDER="$folder" -DFILES="$out/files.nsh" -DUNFILES="$out/unfiles.nsh" \
  -DICON="$exe_build/rtupoll.ico" -DOUTFILE="$setup_file" packaging/windows/rtupoll.nsi
figure "$name-setup.exe: $(megabytes "$setup_file")"
# For the download page: the files are not signed, their digests are known.
(cd "$out" && sha256sum "$name.zip" "$name-setup.exe" >SHA256SUMS)

if ((check)); then
  step "The proof under Wine (tools/windows_release_check.py)"
  began="$(date +%s)"
  # Stops by itself: every wait in it has its own limit, and this one ends
  # it, its Wine prefix and its servers, should it hang all the same.
  timeout --signal=TERM --kill-after=60 2400 python3 tools/windows_release_check.py \
    --zip "$zip_file" --setup "$setup_file" --screenshot "$out/screenshot-windows.png" \
    --core-check scripts/windows-check.sh | tee "$out/check.log"
  figure "the proof under Wine: $(seconds_since "$began") s"
  mapfile -t proof < <(sed -n '/^== The Windows release holds/,$p' "$out/check.log" | tail -n +2 | sed 's/^ *//')
  figures+=("${proof[@]}")
fi

step "Done: $zip_file and $setup_file"
for line in "${figures[@]}"; do
  echo "  $line"
done
echo "  the whole release: $(seconds_since "$started") s"
