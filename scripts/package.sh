#!/usr/bin/env bash
# Builds the Debian package and checks it with lintian, then the zip of
# tarkon-cli for Windows (cross-built by scripts/windows.sh --build-only):
#   scripts/package.sh [BUILD_DIR]        (default build/package)
# Prints the path of the zip, then of the .deb, on its last two lines.
# Install the .deb with
#   sudo apt install ./build/package/laser-range-setup_*.deb
# LRS_NO_WINDOWS_ZIP=1 leaves the zip out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build/package}
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Release programs only: no tests, benchmarks or fuzz targets in the package.
# -O2 as in scripts/bench.sh: at -O3, GCC 12 reports a false -Wrestrict
# inside the standard library's string code.
# Debian's hardening flags (stack protector, fortified functions, read-only
# relocations bound at start), as a package built by dpkg-buildpackage gets.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
  -DCMAKE_INSTALL_PREFIX=/usr -DLRS_WERROR=ON \
  -DLRS_TESTS=OFF -DLRS_BENCH=OFF -DLRS_FUZZ=OFF -DLRS_ICONS_REQUIRED=ON "${launcher[@]}" >/dev/null
cmake --build "$dir" -j "${JOBS:-$(nproc)}"
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/*.deb)
# Errors fail the build; warnings and notes are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" || { echo "lintian found errors in $deb" >&2; exit 1; }

if [ "${LRS_NO_WINDOWS_ZIP:-0}" != 1 ]; then
  # The Windows zip: tarkon-cli.exe (stripped), its manual page as text and
  # a README for Windows users, with Windows line ends.
  "$root/scripts/windows.sh" --build-only -DLRS_TESTS=OFF >/dev/null
  exe="$root/build/windows/tarkon/cli/tarkon-cli.exe"
  [ -f "$exe" ] || { echo "no $exe" >&2; exit 1; }
  version=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\)).*/\1/p' "$root/CMakeLists.txt")
  stage="$dir/windows/tarkon-cli-$version-windows-x64"
  rm -rf "$dir/windows"
  mkdir -p "$stage"
  cp "$exe" "$stage/"
  # The build keeps its symbols (for a debugger); the zip's copy is stripped
  # (a fraction of the size).
  x86_64-w64-mingw32-strip "$stage/tarkon-cli.exe"
  MANWIDTH=78 LC_ALL=C man -E ascii -l "$root/tarkon/cli/tarkon-cli.1" 2>/dev/null | col -bx | sed 's/$/\r/' \
    >"$stage/tarkon-cli.txt"
  [ -s "$stage/tarkon-cli.txt" ] || { echo "the manual page did not render" >&2; exit 1; }
  sed 's/$/\r/' "$root/packaging/windows/README-windows.txt" >"$stage/README.txt"
  zip_path="$dir/tarkon-cli-$version-windows-x64.zip"
  rm -f "$zip_path"
  (cd "$dir/windows" && zip -qr -X "$zip_path" "$(basename "$stage")")
  echo "$zip_path"
fi
echo "$deb"
