#!/usr/bin/env bash
# Builds the Debian package from this (Release) build tree and checks it with
# Debian's own tools: desktop-file-validate, appstreamcli, lintian, then
# unpacks it into a scratch root and runs the programs from there against
# the system's libraries only.
#   check-package.sh <source-dir> <build-dir> <build-type> <version>
set -euo pipefail
source=$1 build=$2 type=$3 version=$4

if [ "$type" != Release ]; then
    echo "SKIP: the package is made from Release builds only; this one is $type"
    exit 77
fi

work=$(mktemp -d /tmp/koru-package-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/out/koru-panel_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb; cpack made: $(ls "$work/out")"
cp "$deb" "$work/"
deb="$work/$(basename "$deb")"
chmod 644 "$deb"

root="$work/root"
dpkg -x "$deb" "$root"
share="$root/usr/share"

echo "== desktop-file-validate"
desktop-file-validate "$share/applications/koru-panel.desktop"

echo "== appstreamcli validate --no-net"
metainfo=("$share"/metainfo/*.metainfo.xml)
[ ${#metainfo[@]} -eq 1 ] || fail "expected one metainfo file, found: ${metainfo[*]}"
appstreamcli validate --no-net --explain "${metainfo[0]}"

echo "== lintian"
# lintian refuses to be trusted as root; run it as nobody when we are root.
run_as_user=()
[ "$(id -u)" -ne 0 ] || run_as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
(cd "$work" && HOME="$work" "${run_as_user[@]}" lintian --fail-on error,warning --display-info "$deb") \
    || fail "lintian reported errors or warnings"

echo "== package contents"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
[[ $depends == *libqt6widgets6* && $depends == *libqt6serialport6* && $depends == *libc6* ]] \
    || fail "Depends does not name the Qt and C libraries the programs link"
description=$(dpkg-deb --field "$deb" Description | tail -n +2 | sed -e 's/^ //' -e 's/^\.$//')
[ "$description" = "$(cat "$source/data/description.txt")" ] \
    || fail "the package's long description is not data/description.txt as written: $description"
for size in $(cat "$source/resources/icons/hicolor/sizes"); do
    icon="$share/icons/hicolor/${size}x${size}/apps/koru-panel.png"
    [[ $(file -b "$icon") == "PNG image data, $size x $size,"* ]] || fail "icon $icon: $(file -b "$icon")"
done
[ -f "$share/icons/hicolor/scalable/apps/koru-panel.svg" ] || fail "no scalable icon"
for program in "$root"/usr/bin/*; do
    name=$(basename "$program")
    [[ $(file -b "$program") == *", stripped"* ]] || fail "$name is not stripped"
    [ -f "$share/man/man1/$name.1.gz" ] || fail "$name has no manual page"
    ! readelf --dynamic "$program" | grep -E "RUNPATH|RPATH" || fail "$name searches its own library path"
done

echo "== licence"
copyright="$share/doc/koru-panel/copyright"
grep -qx "License: Expat" "$copyright" || fail "the copyright file does not name the Expat (MIT) licence"
grep -q "^ THE SOFTWARE IS PROVIDED \"AS IS\"" "$copyright" || fail "the copyright file lacks the licence text of LICENSE"
grep -q "<project_license>MIT</project_license>" "${metainfo[0]}" || fail "the metainfo does not name the MIT licence"

echo "== koru-bridge.service"
unit=koru-bridge.service
[ -f "$root/usr/lib/systemd/system/$unit" ] || fail "no $unit in /usr/lib/systemd/system"
conffiles=$(dpkg-deb --info "$deb" conffiles)
[ "$conffiles" = /etc/koru/bridge.conf ] || fail "conffiles lists: $conffiles"
# Against the unpacked tree: its ExecStart must exist there, and its
# Documentation= page among the package's manual pages. Units the scratch
# root lacks (sysinit.target ...) are not this unit's errors; its ExecReload's
# /bin/kill comes from procps, which the package depends on.
dpkg-deb --field "$deb" Depends | grep -qw procps || fail "the package does not depend on procps, whose /bin/kill reloads $unit"
install -D -m 0755 /bin/kill "$root/bin/kill"
MANPATH="$share/man" systemd-analyze verify --man=yes --recursive-errors=no --root="$root" "$unit" \
    || fail "systemd-analyze verify $unit"
systemd-analyze security --offline=yes --root="$root" "$unit" | grep "Overall exposure"

echo "== installed on a machine that never had it, the service stays disabled"
# Only in a scratch system of its own (scripts/run-tests-in marks its roots):
# this installs the package for real.
if [ -f /etc/koru-scratch-root ] && [ "$(id -u)" -eq 0 ]; then
    wants=/etc/systemd/system/multi-user.target.wants/$unit
    state=/var/lib/systemd/deb-systemd-helper-enabled/$unit.dsh-also
    install_deb() { dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i: $1"; }; }
    dpkg --purge koru-panel >/dev/null 2>&1 || true # left by a run that failed half-way
    [ ! -e "$wants" ] && [ ! -e "$state" ] || fail "the scratch root already knows $unit"
    install_deb "first install"
    ! grep -q "Created symlink" "$work/dpkg.log" || fail "the first install enabled $unit: $(cat "$work/dpkg.log")"
    [ ! -e "$wants" ] || fail "the first install enabled $unit"
    systemctl enable "$unit" >/dev/null 2>&1 || fail "systemctl enable $unit" # as an administrator would, offline
    install_deb "upgrade of an enabled unit"
    [ -L "$wants" ] || fail "an upgrade disabled the $unit an administrator had enabled"
    systemctl disable "$unit" >/dev/null 2>&1 || fail "systemctl disable $unit"
    install_deb "upgrade of a disabled unit"
    [ ! -e "$wants" ] || fail "an upgrade enabled the $unit an administrator had disabled"
    dpkg --purge koru-panel >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --purge"; }
    [ ! -e "$wants" ] && [ ! -e "$state" ] && [ ! -e "/etc/systemd/system/$unit" ] \
        || fail "the purge left the state of $unit behind"
    echo "first install: disabled; enabled and disabled each kept across an upgrade; purge: no state"
else
    echo "not in a scratch root of scripts/run-tests-in: install check left to the Debian 13 run"
fi

echo "== the example configuration, checked by the packaged koru-bridge under MemoryDenyWriteExecute"
# The example projector with its lines uncommented and a password file of our
# own (the [mqtt] example names a broker's files that are not here).
# PR_SET_MDWE (prctl 65, refuse exec gain) is what the unit's
# MemoryDenyWriteExecute= asks of the kernel: Qt's regular expressions must
# fall back from their JIT.
printf 'secret\n' >"$work/room.pass"
chmod 600 "$work/room.pass"
sed -e '/^# \[projector /,/^$/ s/^# \(\[projector \|[a-z-]* = \)/\1/' -e "s|^password-file = .*|password-file = $work/room.pass|" \
    "$root/etc/koru/bridge.conf" >"$work/bridge.conf"
grep -q "^\[projector room-2.14\]" "$work/bridge.conf" || fail "no example section in /etc/koru/bridge.conf"
# Kernels before 6.3 lack it (EINVAL): then the check runs without.
checked=$(perl -e 'syscall(157, 65, 1, 0, 0, 0) == 0 or warn "no PR_SET_MDWE here ($!): checking without it\n";
                   exec @ARGV or die "exec: $!\n"' \
    "$root/usr/bin/koru-bridge" --check --config "$work/bridge.conf") \
    || fail "koru-bridge --check refused the example configuration"
[ "$checked" = "$work/bridge.conf: 1 projector(s), no problem found" ] || fail "koru-bridge --check printed: $checked"
echo "$checked"

echo "== programs from the scratch root"
export QT_QPA_PLATFORM=offscreen
[ -z "${LD_LIBRARY_PATH:-}" ] || fail "LD_LIBRARY_PATH is set ($LD_LIBRARY_PATH); the check needs the system's libraries only"
missing=$(ldd "$root"/usr/bin/* | grep -e "not found" -e "$build" || true)
[ -z "$missing" ] || fail "libraries not from the system: $missing"
got=$("$root/usr/bin/koru-panel" --version)
[ "$got" = "koru-panel $version" ] || fail "koru-panel --version printed '$got'"
help=$("$root/usr/bin/koru-projector-sim" --help)
[[ $help == *"--link <path>"* && $help == *"--hangup-after <n>"* ]] || fail "koru-projector-sim --help printed: $help"
echo "koru-panel --version: $got; koru-projector-sim --help: $(wc -l <<<"$help") lines"

echo "== the README's scripting examples, with the installed programs"
bash "$source/tests/app/readme-examples.sh" "$share/doc/koru-panel" "$root/usr/bin" | tail -n 1 \
    || fail "a README example does not run as printed with the installed programs"

echo "== each manual page names every option of its program's --help"
for program in "$root"/usr/bin/*; do
    name=$(basename "$program")
    page=$(zcat "$share/man/man1/$name.1.gz" | sed 's/\\-/-/g')
    for option in $("$program" --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u); do
        grep -qE -- "$option([^a-z0-9-]|$)" <<<"$page" || fail "man $name does not name $option, which its --help lists"
    done
done
for doc in README.md docs/panel-compact.png bench/RESULTS.md; do
    [ -f "$share/doc/koru-panel/$doc" ] || fail "the package has no /usr/share/doc/koru-panel/$doc"
done
echo "PASS: $(basename "$deb")"
