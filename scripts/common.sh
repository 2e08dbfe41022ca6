# Shared by scripts/test.sh and scripts/render.sh: installs what is missing on a
# Debian 12 machine, then configures and builds one build folder.
# shellcheck shell=bash

OVO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OVO_PACKAGES=(cmake g++ make pkg-config libopenimageio-dev openimageio-tools libgtest-dev
              libbenchmark-dev libembree-dev zlib1g-dev ccache python3)
# The live viewer (ovo --view) serves its page with cpp-httplib.
OVO_PACKAGES+=(libcpp-httplib-dev)

ovo_install_missing() {
    local missing=()
    local p
    for p in "${OVO_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null 2>&1 || { echo "need root to install ${missing[*]}" >&2; return 1; }
        sudo="sudo"
    fi
    $sudo apt-get update -qq || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

# ovo_build <build-dir> [cmake options...]
# Builds everything, or only the targets listed in the OVO_TARGETS array when it is set.
ovo_build() {
    local dir="$1"; shift
    local launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
        # Files compiled with a precompiled header are cached only with these.
        export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
    fi
    cmake -S "$OVO_ROOT" -B "$dir" -DOVO_WERROR=ON "${launcher[@]}" "$@" >/dev/null || return 1
    # Progress lines are dropped; warnings and errors stay visible.
    local targets=()
    if [ -n "${OVO_TARGETS+x}" ] && [ ${#OVO_TARGETS[@]} -gt 0 ]; then
        targets=(--target "${OVO_TARGETS[@]}")
    fi
    cmake --build "$dir" -j"$(nproc)" "${targets[@]}" 2>&1 | grep -v -E '^\[ *[0-9]+%\] (Building|Linking|Built)|^(Scanning|Consolidate)'
    return "${PIPESTATUS[0]}"
}
