#!/usr/bin/env bash
# Installs the build into a scratch folder (as `cmake --install` would into
# /usr) and checks what lands there: the executable, the menu entry, the
# metainfo, the icon in every size, the package documents. The menu entry and
# the metainfo go through desktop-file-validate and appstreamcli where those
# tools exist (Debian desktop-file-utils, appstream).
# Usage: installed_files.sh <build folder>
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
root="$stage/usr"

failed=0
fail() { echo "FAIL: $*"; failed=1; }

for file in bin/Vesmar \
    share/applications/org.vesmar.Vesmar.desktop \
    share/metainfo/org.vesmar.Vesmar.metainfo.xml \
    share/icons/hicolor/scalable/apps/vesmar.svg \
    share/doc/vesmar/copyright share/doc/vesmar/changelog.gz share/man/man1/Vesmar.1.gz; do
    [ -s "$root/$file" ] || fail "$file is missing or empty"
done
[ -x "$root/bin/Vesmar" ] || fail "bin/Vesmar is not executable"

# The firewall files open UDP ports 333 and 334: a ufw profile in the
# configuration folder, a firewalld service.
ufw=$(find "$stage" -path '*/ufw/applications.d/vesmar' | head -n 1)
[ -n "$ufw" ] || fail "the ufw profile is missing"
python3 - "$ufw" "$root/lib/firewalld/services/vesmar.xml" <<'EOF' || fail "firewall files"
import configparser, sys, xml.etree.ElementTree as tree
profile = configparser.ConfigParser()
profile.read(sys.argv[1], encoding="utf-8")
assert profile["Vesmar"]["ports"] == "333,334/udp", dict(profile["Vesmar"])
ports = [port.attrib for port in tree.parse(sys.argv[2]).getroot().findall("port")]
assert ports == [{"protocol": "udp", "port": "333"}, {"protocol": "udp", "port": "334"}], ports
EOF

# Each PNG holds a picture of the size its folder names.
for size in 16 22 24 32 48 64 128 256; do
    png="$root/share/icons/hicolor/${size}x${size}/apps/vesmar.png"
    actual=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "not a PNG")' "$png" 2>/dev/null || echo missing)
    [ "$actual" = "${size}x${size}" ] || fail "$png: $actual"
done

grep -qx 'Name=Зовница' "$root/share/applications/org.vesmar.Vesmar.desktop" || fail "desktop entry name"
grep -qx 'Categories=Network;Chat;InstantMessaging;' "$root/share/applications/org.vesmar.Vesmar.desktop" ||
    fail "desktop entry categories"

validated=0
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/share/applications/org.vesmar.Vesmar.desktop" || fail "desktop-file-validate"
    validated=$((validated + 1))
else
    echo "desktop-file-validate is not installed (Debian desktop-file-utils): not run"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/share/metainfo/org.vesmar.Vesmar.metainfo.xml" ||
        fail "appstreamcli validate"
    validated=$((validated + 1))
else
    echo "appstreamcli is not installed (Debian appstream): not run"
fi

[ "$failed" -eq 0 ] || exit 1
[ "$validated" -gt 0 ] || exit 77
echo "installed files complete; validators run: $validated"
