#!/bin/bash
# The Debian package as a user gets it: cpack makes it from the build, dpkg-deb unpacks it into a
# scratch root, and the program there reports its version; the package holds the menu entries,
# icons, units and manual page, with the installed program's path in the entries and units; its
# manual page reads without a warning. An install under another prefix names that prefix instead.
#   package.sh BUILD-DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package: FAILED: $*"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack could not make the package"; }
debs=("$work"/out/velmorix2_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "no single velmorix2_*.deb: ${debs[*]}"
deb=${debs[0]}
dpkg-deb -x "$deb" "$work/root"

got=$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/root/usr/bin/velmorix2" --version)
[ "$got" = "Velmorix2 $version" ] || fail "--version said '$got'"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libcups2 libdeflate0 qt6-qpa-plugins xfonts-scalable; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

# The entries and units name the program where the package puts it, whatever PATH is.
check_entries() { # ROOT PROGRAM
    local file
    for file in share/applications/velmorix2.desktop share/velmorix2/velmorix2-autostart.desktop; do
        grep -qx "Exec=$2" "$1/$file" || fail "$file: $(grep Exec= "$1/$file")"
    done
    grep -qx "ExecStart=$2 --service" "$1/lib/systemd/user/velmorix2.service" ||
        fail "velmorix2.service: $(grep ExecStart= "$1/lib/systemd/user/velmorix2.service")"
    grep -q "^ExecStart=$2 --service --config " "$1/lib/systemd/user/velmorix2@.service" ||
        fail "velmorix2@.service: $(grep ExecStart= "$1/lib/systemd/user/velmorix2@.service")"
}
check_entries "$work/root/usr" /usr/bin/velmorix2
for size in 32 48 64 128 256; do
    [ -s "$work/root/usr/share/icons/hicolor/${size}x$size/apps/velmorix2.png" ] || fail "no ${size}px icon"
done

manual=$work/root/usr/share/man/man1/velmorix2.1.gz
[ -s "$manual" ] || fail "no manual page"
if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$manual" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the manual page: $warnings"
fi

cmake --install "$build" --prefix "$work/opt" >/dev/null
check_entries "$work/opt" "$work/opt/bin/velmorix2"
echo "package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KB) installs and runs"
