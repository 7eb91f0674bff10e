# Shared by the scripts in scripts/: installs the Debian packages the build
# (and, for the test scripts, the tests) need, then configures and builds
# build/.
# Sourced, not run.

set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

# Debian 12 packages. What building and running need (scripts/run,
# scripts/package): compiler, CMake, Qt 6.4, X11/XTest/XInput2 headers,
# PipeWire's client library (the GNOME Wayland screen is a PipeWire stream) and
# fonts for Japanese text; the Wayland client library, its protocol scanner,
# the core protocols for the wlroots backend (sway), whose own protocols are
# carried in src/platform/protocols, and KDE's protocol files (KWin's fake
# input).
RUN_PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libx11-dev libxtst-dev libxi-dev libxcb1-dev libxkbcommon-dev libpipewire-0.3-dev
    libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols
    fonts-noto-cjk
)
# What the tests add (scripts/test, bench, fuzz, sanitize): Xvfb for the X11
# tests, setxkbmap and xkbcomp for those that switch keyboard layouts,
# mingw-w64 and Wine for the Windows backend and the Windows build (Qt for
# Windows is built with ninja from Debian's source package, the program is
# packaged with zip), xdotool for the typing
# benchmark, fonts so that text renders under Xvfb, clang with its sanitizer
# and libFuzzer runtimes for the fuzzing harnesses, and the validators of the
# menu entry and the AppStream metadata; a headless GNOME (mutter, or
# gnome-shell with gsd-media-keys and dconf for its shortcuts, PipeWire,
# WirePlumber, a session bus, gdbus, the desktop portal with GNOME's
# backend, and a filtering bus proxy that refuses Mutter's API as a sandbox
# does) and Qt's Wayland platform for the GNOME backend's tests; a headless
# sway (run as an unprivileged user with setpriv, from util-linux) for the
# wlroots backend's tests, and wtype
# beside it in the typing benchmark; a headless KWin (its global shortcuts
# come with it) for the KDE backend's.
TEST_PACKAGES=(
    xvfb xauth x11-utils x11-xkb-utils xdotool xfonts-base
    g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
    ninja-build dpkg-dev xz-utils zip unzip
    clang libclang-rt-14-dev llvm
    desktop-file-utils appstream
    ccache
    mutter gnome-shell gnome-settings-daemon dconf-service dconf-gsettings-backend
    pipewire wireplumber dbus-daemon libglib2.0-bin qt6-wayland
    xdg-desktop-portal xdg-desktop-portal-gnome xdg-dbus-proxy
    sway wtype kwin-wayland
)

# What only the benchmarks add (scripts/bench): OpenCV's image processing,
# the yardstick beside the picture matcher. The picture benchmark builds
# without it and then says it skipped that comparison.
BENCH_PACKAGES=(
    libopencv-imgproc-dev
)

# The packages of a set: "run", "all" (the tests) or "bench".
packages_of() {
    if [ "$1" = run ]; then
        echo "${RUN_PACKAGES[@]}"
    elif [ "$1" = bench ]; then
        echo "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    else
        echo "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    fi
}

missing_packages() {
    local p missing=()
    for p in $(packages_of "$1"); do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    echo "${missing[@]:-}"
}

# install_packages [run|bench]: the lean set, everything the benchmarks need,
# or (default) everything the tests need.
install_packages() {
    local missing
    missing="$(missing_packages "${1:-all}")"
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "These Debian packages are missing. Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y $missing" >&2
        exit 1
    fi
    echo "Installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing
}

# ccache_options: CMake options that send every compile through ccache when
# it is installed. Its cache lives in the user's cache folder, outside the
# checkout, so a fresh clone on a machine that built before compiles little.
# Paths are hashed relative to the checkout, so that a clone in another
# folder finds the same entries.
export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=true
ccache_options() {
    if command -v ccache >/dev/null 2>&1; then
        echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
    fi
}

# CTest labels of the tests that run only inside a desktop session of their
# own (scripts/test's GNOME, wlroots and KDE stages); other suites leave them out.
SESSION_LABELS='gnome|wlroots|kde'

# build_project [target ...]: configures build/ and builds the targets
# (default: everything, tests included).
build_project() {
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" \
        $(ccache_options) >/dev/null
    local targets=()
    local t
    for t in "$@"; do
        targets+=(--target "$t")
    done
    cmake --build "$BUILD" --parallel "$(nproc)" "${targets[@]}"
}
