# Shared by scripts/run, scripts/test and scripts/bench: installs the Debian
# packages the build and the tests need, then configures and builds build/.
# Sourced, not run.

set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

# Debian 12 packages: Qt 6.4, X11/XTest headers, Xvfb for the X11 tests,
# mingw-w64 and Wine for the Windows backend, xdotool for the typing benchmark,
# fonts so that Japanese text renders under Xvfb, and clang with its sanitizer
# and libFuzzer runtimes for the fuzzing harnesses.
PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libx11-dev libxtst-dev libxi-dev libxcb1-dev libxkbcommon-dev
    xvfb xauth x11-utils xdotool xfonts-base fonts-noto-cjk
    g++-mingw-w64-x86-64 wine wine64
    clang libclang-rt-14-dev llvm
)

missing_packages() {
    local p missing=()
    for p in "${PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    echo "${missing[@]:-}"
}

install_packages() {
    local missing
    missing="$(missing_packages)"
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

build_project() {
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
    cmake --build "$BUILD" --parallel "$(nproc)"
}
