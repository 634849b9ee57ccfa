# Sourced by the other scripts: installs the Debian packages the build needs,
# only those that are missing.
# The build: compiler, Qt, libtelnet (RFC 2217 ports), libmosquitto (the
# bridge's MQTT client), the Japanese face.
# The tests: ser2net, the real serial device server the network-port tests
# run against; mosquitto and its command-line clients, the real broker the
# MQTT tests run against. The package (scripts/package and its test): dpkg-shlibdeps,
# lintian, the desktop and AppStream validators, file(1) for CPack.
koru_packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev fonts-ipafont-gothic
    libtelnet-dev libsystemd-dev libmosquitto-dev
    ser2net mosquitto mosquitto-clients
    dpkg-dev lintian desktop-file-utils appstream file)

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

koru_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
