# Sourced by the other scripts: installs the Debian packages the build needs,
# only those that are missing.
# The build: compiler (and ccache, so that a rebuild or another clone reuses
# what was compiled), Qt, libtelnet (RFC 2217 ports), libmosquitto (the
# bridge's MQTT client), the Japanese face.
# The tests: ser2net, the real serial device server the network-port tests
# run against; mosquitto and its command-line clients, the real broker the
# MQTT tests run against; jq, which the README's scripting examples use. The
# package (scripts/package and its test): dpkg-shlibdeps, lintian, the
# desktop and AppStream validators, file(1) for CPack, systemd-analyze for the
# bridge's unit. fuzz/run adds clang and its sanitizer runtime,
# scripts/render-icons rsvg-convert, each when it runs (CI runs both, in
# scripts/check-scripts).
koru_packages=(cmake g++ make pkg-config ccache qt6-base-dev qt6-serialport-dev libgl-dev fonts-ipafont-gothic
    libtelnet-dev libsystemd-dev libmosquitto-dev
    ser2net mosquitto mosquitto-clients jq
    dpkg-dev lintian desktop-file-utils appstream file systemd)

koru_ensure_packages() {
    local wanted=("${koru_packages[@]}" "$@") missing=() pkg
    for pkg in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

koru_build() {
    local build=$1; shift
    cmake -S "$koru_top" -B "$build" "$@"
    cmake --build "$build" -j"$(nproc)"
}

# koru_build_tree DIR [CMAKE OPTIONS...]: sets koru_build_dir to the tree a
# script builds in. That is DIR, configured with the options given, unless
# KORU_BUILD_DIR names a tree configured already: then that one, left as it
# is configured, so that scripts/check-scripts can run every script on the
# tests' own build instead of building the project once per script.
koru_build_tree() {
    local own=$1; shift
    if [ -n "${KORU_BUILD_DIR:-}" ]; then
        if [ ! -f "$KORU_BUILD_DIR/CMakeCache.txt" ]; then
            echo "KORU_BUILD_DIR=$KORU_BUILD_DIR is not a configured build tree" >&2
            return 1
        fi
        koru_build_dir=$(cd "$KORU_BUILD_DIR" && pwd)
        return 0
    fi
    koru_build_dir=$own
    cmake -S "$koru_top" -B "$koru_build_dir" "$@"
}

# koru_cache_value DIR NAME: a variable's value in the CMake cache of DIR.
koru_cache_value() {
    sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

koru_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Paths below the top are hashed relative to it: every clone shares the cache.
export CCACHE_BASEDIR=$koru_top
