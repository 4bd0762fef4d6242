# Shared set-up of ./run and ./test, sourced by both: installs the Debian
# packages that are missing; costruisci configures and builds a Release
# build in build/. Set FENDRIX_EXTRA_PACKAGES for more packages.
set -euo pipefail

FENDRIX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
FENDRIX_BUILD="${FENDRIX_BUILD:-$FENDRIX_ROOT/build}"

# cmake, make, g++: the build. qt6-base-dev: Qt 6 Core, Gui, Widgets and Test
# (with moc, uic and rcc, and the platform plugins). qt6-svg-dev: Qt SVG, which
# draws the artwork from its vector sources. libxxhash-dev: the hash of the
# dedupe core. libicu-dev: ICU, the Unicode case mapping of the copy's name. fonts-dejavu-core: a font the windows can always fall back on
# (the captions shrink to fit it where it is wider than the asked-for face).
FENDRIX_FONTS=(fonts-dejavu-core)
# The Windows build (./run windows, ./test windows): g++-mingw-w64-x86-64-posix,
# the cross compiler (POSIX threads, for std::thread); wine, wine64: runs the
# program and its tests; doctest-dev: the Windows tests' framework
# (header-only); librsvg2-bin, icoutils: draw the program's icon and
# pictures from the artwork (rsvg-convert, icotool).
# Installed when FENDRIX_PER_WINDOWS is set.
FENDRIX_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine wine64 doctest-dev librsvg2-bin icoutils)
FENDRIX_PACKAGES=(cmake make g++ qt6-base-dev qt6-svg-dev libxxhash-dev libicu-dev "${FENDRIX_FONTS[@]}" ${FENDRIX_EXTRA_PACKAGES:-})
if [ -n "${FENDRIX_PER_WINDOWS:-}" ]; then
    FENDRIX_PACKAGES+=("${FENDRIX_WINDOWS_PACKAGES[@]}")
fi

installa_mancanti() {
    local mancanti=()
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            mancanti+=("$p")
        fi
    done
    [ ${#mancanti[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Need root or sudo to install: ${mancanti[*]}" >&2; exit 1; }
        sudo=(sudo)
    fi
    echo "Installing: ${mancanti[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${mancanti[@]}"
}

# costruisci [TARGET...]: configures, then builds the targets named, or
# everything when none is.
costruisci() {
    local obiettivi=()
    [ $# -gt 0 ] && obiettivi=(--target "$@")
    cmake -S "$FENDRIX_ROOT" -B "$FENDRIX_BUILD" -DCMAKE_BUILD_TYPE=Release
    cmake --build "$FENDRIX_BUILD" -j"$(nproc)" "${obiettivi[@]}"
}

FENDRIX_WINDOWS="$FENDRIX_ROOT/build-windows"

# configura_windows [CMAKE OPTION...]: configures the Windows build in
# build-windows/ and makes its private Wine prefix (once; Wine never asks
# for its add-ons, there is no internet to get them).
configura_windows() {
    cmake -S "$FENDRIX_ROOT" -B "$FENDRIX_WINDOWS" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$FENDRIX_ROOT/cmake/mingw-w64.cmake" "$@"
    export WINEPREFIX="$FENDRIX_WINDOWS/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    [ -f "$WINEPREFIX/system.reg" ] || { wineboot --init >/dev/null 2>&1 || true; wineserver -w; }
}

if command -v dpkg-query >/dev/null; then
    installa_mancanti "${FENDRIX_PACKAGES[@]}"
fi
