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
# 5. unless --no-check, all of it again, afresh in a folder of its own:
#    the ZIP and the installer must be the same to the byte;
# 6. unless --no-check, their proof (tools/windows_release_check.py): under
#    Wine, on a virtual display, in a network namespace with loopback only,
#    the ZIP polls three simulated devices (rtu-sim, the Linux one), closing
#    its window saves the set-up, the installer installs, runs, upgrades and
#    uninstalls while the program runs, closing it and keeping the set-up,
#    the core's Windows check passes (scripts/windows-check.sh), a silently
#    dead link shows "???", a second start from a running poller's folder
#    is refused, and a reader holding data.csv open does not keep it stale
#    once it lets go.
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

# Every time stamp that goes into the files is the commit's: the PE header
# of rtupoll.exe and with it its checksum (ld and strip), the files rcc
# compiles in (the icons, the font), the files in the ZIP and the installer.
# Two builds of one commit are then the same to the byte.
if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
  SOURCE_DATE_EPOCH="$(git -C "$RTUPOLL_ROOT" log -1 --format=%ct)"
fi
export SOURCE_DATE_EPOCH

# build_exe BUILD_FOLDER: configures and builds rtupoll.exe there.
build_exe() {
  local exe_build="$1"
  # A build made with another Qt starts afresh: its cache names that Qt's
  # packages. So does one made at another commit's time, which rcc has
  # written into what it did not make anew since.
  if ! grep -qxF "RTUPOLL_WINDOWS_QT:UNINITIALIZED=$qt" "$exe_build/CMakeCache.txt" 2>/dev/null ||
    [[ "$(cat "$exe_build/source-date-epoch" 2>/dev/null)" != "$SOURCE_DATE_EPOCH" ]]; then
    rm -rf "$exe_build"
  fi
  mkdir -p "$exe_build"
  echo "$SOURCE_DATE_EPOCH" >"$exe_build/source-date-epoch"
  cmake -S "$RTUPOLL_ROOT" -B "$exe_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$RTUPOLL_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DRTUPOLL_WINDOWS_QT="$qt" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DRTUPOLL_FUZZ_SEEDS=OFF \
    >"$exe_build.configure.log"
  cmake --build "$exe_build" -j"$(nproc)" --target rtupoll
}

# Text for Windows: CR LF line ends.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }

# make_folder BUILD_FOLDER FOLDER: the portable folder from that build.
make_folder() {
  local exe_build="$1" folder="$2"
  rm -rf "$folder"
  mkdir -p "$folder/platforms" "$folder/styles" "$folder/licenses"
  "$mingw-strip" -o "$folder/rtupoll.exe" "$(find "$exe_build" -name rtupoll.exe -not -path '*/CMakeFiles/*' -print -quit)"
  # A window program (no console beside it) with its icon, version and
  # manifest (asInvoker, Windows 10 and 11).
  local headers resources manifest
  headers="$("$mingw-objdump" -p "$folder/rtupoll.exe")"
  if ! grep -q "^Subsystem.*Windows GUI" <<<"$headers"; then
    echo "rtupoll.exe is not a Windows GUI program" >&2
    return 1
  fi
  resources="$(wrestool --list "$folder/rtupoll.exe")"
  manifest="$(wrestool --extract --raw --type=24 "$folder/rtupoll.exe")"
  if ! grep -q "type=group_icon" <<<"$resources" || ! grep -q "type=version" <<<"$resources" ||
    ! grep -q 'level="asInvoker"' <<<"$manifest" || ! grep -q "<supportedOS Id=" <<<"$manifest"; then
    echo "rtupoll.exe lacks its icon, its version information or its manifest" >&2
    return 1
  fi
  # The plugins Qt loads from beside the program: the windows platform
  # plugin, and the style of Windows 10 and 11.
  cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
  cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"

  # The DLLs the program and its plugins import, and theirs in turn, that
  # come from Qt or the compiler; the rest (kernel32, user32, ws2_32...) are
  # Windows' own. The compiler's runtime DLLs are stripped as the program is
  # (libstdc++-6.dll alone carries 20 MB of symbols); Qt's are built so.
  local pending=("$folder/rtupoll.exe" "$folder/platforms/qwindows.dll" "$folder/styles/qwindowsvistastyle.dll")
  local binary dll found
  while ((${#pending[@]} > 0)); do
    binary="${pending[0]}"
    pending=("${pending[@]:1}")
    for dll in $("$mingw-objdump" -p "$binary" | sed -n 's/^\s*DLL Name: //p'); do
      found="$(find_dll "$dll")"
      if [[ -n "$found" && ! -e "$folder/$(basename "$found")" ]]; then
        if [[ "$found" == "$qt"/* ]]; then
          cp "$found" "$folder/"
        else
          "$mingw-strip" -o "$folder/$(basename "$found")" "$found"
        fi
        pending+=("$folder/$(basename "$found")")
      fi
    done
  done

  crlf packaging/windows/README.txt "$folder/README.txt"
  crlf LICENSE "$folder/LICENSE.txt"
  crlf "$out/Qt.txt" "$folder/licenses/Qt.txt"
  crlf /usr/share/common-licenses/LGPL-3 "$folder/licenses/LGPL-3.txt"
  crlf /usr/share/common-licenses/GPL-3 "$folder/licenses/GPL-3.txt"
  # Debian's copyright files: of Qt (qt6-base, the same source version), of
  # the compiler's runtime (libstdc++ and libgcc under the GCC Runtime
  # Library Exception; winpthreads), and of the window's font, compiled
  # into the program.
  crlf /usr/share/doc/libqt6core6/copyright "$folder/licenses/qt6-base-copyright.txt"
  crlf /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright "$folder/licenses/gcc-runtime-copyright.txt"
  crlf /usr/share/doc/mingw-w64-x86-64-dev/copyright "$folder/licenses/mingw-w64-copyright.txt"
  crlf /usr/share/doc/fonts-liberation2/copyright "$folder/licenses/fonts-liberation2-copyright.txt"
  # The same times and modes whoever builds it: the ZIP and the installer
  # carry them.
  find "$folder" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
  find "$folder" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
}

# make_zip FOLDER ZIP: the folder, its entries in a fixed order, without
# the extra fields of owners and exact times, its times in UTC.
make_zip() {
  local folder="$1" zip_file="$2"
  rm -f "$zip_file"
  (cd "$(dirname "$folder")" && find "$(basename "$folder")" | LC_ALL=C sort |
    TZ=UTC zip -q -X -9 -@ "$zip_file")
}

# make_installer BUILD_FOLDER FOLDER SETUP: the installer of the folder,
# with that build's icon; its lists of files go beside it.
make_installer() {
  local exe_build="$1" folder="$2" setup_file="$3"
  local lists="${setup_file%.exe}"
  # One line a file for the installer, and for the uninstaller, which
  # removes only these: setting.ini and data.csv stay.
  {
    (cd "$folder" && find . -type d | LC_ALL=C sort) | while read -r dir; do
      sub="${dir#.}"
      echo "SetOutPath \"\$INSTDIR${sub//\//\\}\""
      find "$folder$sub" -maxdepth 1 -type f | LC_ALL=C sort | sed 's/.*/File "&"/'
    done
  } >"$lists.files.nsh"
  {
    (cd "$folder" && find . -type f | LC_ALL=C sort) | sed 's|^\./||; s|/|\\|g; s/.*/Delete "$INSTDIR\\&"/'
    (cd "$folder" && find . -mindepth 1 -type d | LC_ALL=C sort -r) | sed 's|^\./||; s|/|\\|g; s/.*/RMDir "$INSTDIR\\&"/'
  } >"$lists.unfiles.nsh"
  makensis -V2 -DVERSION="$version" -DFOLDER="$folder" -DFILES="$lists.files.nsh" -DUNFILES="$lists.unfiles.nsh" \
    -DSIZE_KB="$(du -sk --apparent-size "$folder" | cut -f1)" -DICON="$exe_build/rtupoll.ico" \
    -DOUTFILE="$setup_file" packaging/windows/rtupoll.nsi
}

# The DLLs' folders: Qt's, then the compiler's.
dll_folders=("$qt/bin" "$(dirname "$("$mingw-g++-posix" -print-file-name=libstdc++-6.dll)")" "/usr/$mingw/lib")
find_dll() {
  local dll_folder
  for dll_folder in "${dll_folders[@]}"; do
    find "$dll_folder" -maxdepth 1 -iname "$1" -print -quit
  done | head -n 1
}
sed -e "s/@QT_VERSION@/${qt_source_version%%+*}/" -e "s/@QT_SOURCE_VERSION@/$qt_source_version/" \
  -e "s/@COMPILER@/$("$mingw-g++-posix" --version | head -n 1)/" packaging/windows/Qt.txt.in >"$out/Qt.txt"

step "rtupoll.exe"
began="$(date +%s)"
exe_build="$out/rtupoll"
build_exe "$exe_build"
figure "rtupoll.exe: configured and built in $(seconds_since "$began") s"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$exe_build/CMakeCache.txt")"
name="rtupoll-$version-windows-x64"

step "The portable folder $name"
folder="$out/$name"
make_folder "$exe_build" "$folder"
echo "  $(cd "$folder" && find . -type f | LC_ALL=C sort | sed 's|^\./||' | tr '\n' ' ')"

step "The ZIP"
zip_file="$out/$name.zip"
make_zip "$folder" "$zip_file"
figure "$name.zip: $(megabytes "$zip_file"), unpacked $(megabytes "$folder")"

step "The installer"
setup_file="$out/$name-setup.exe"
make_installer "$exe_build" "$folder" "$setup_file"
figure "$name-setup.exe: $(megabytes "$setup_file")"
# For the download page: the files are not signed, their digests are known.
(cd "$out" && sha256sum "$name.zip" "$name-setup.exe" >SHA256SUMS)

if ((check)); then
  step "The same commit built again, afresh in a folder of its own: the same bytes"
  began="$(date +%s)"
  again="$out/again"
  rm -rf "$again"
  mkdir -p "$again"
  build_exe "$again/rtupoll" >"$again/build.log"
  make_folder "$again/rtupoll" "$again/$name"
  make_zip "$again/$name" "$again/$name.zip"
  make_installer "$again/rtupoll" "$again/$name" "$again/$name-setup.exe"
  (cd "$again" && sha256sum "$name.zip" "$name-setup.exe" >SHA256SUMS)
  if ! cmp -s "$out/SHA256SUMS" "$again/SHA256SUMS"; then
    echo "Built twice, the release differs:" >&2
    diff "$out/SHA256SUMS" "$again/SHA256SUMS" >&2 || true
    diff <(cd "$folder" && find . -type f | LC_ALL=C sort | xargs sha256sum) \
      <(cd "$again/$name" && find . -type f | LC_ALL=C sort | xargs sha256sum) >&2 || true
    exit 1
  fi
  while read -r sum file; do
    figure "built twice in $(seconds_since "$began") s, $file has the SHA-256 $sum both times"
  done <"$out/SHA256SUMS"
fi

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
