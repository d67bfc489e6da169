#!/usr/bin/env bash
# Packages BUILD with scripts/package, checks both packages' file lists and control data,
# unpacks them into a throwaway root and compresses, cuts out and upscales a small image
# with the unpacked glintwork-cli, which must find everything under that root.
#   tests/package/check_package.sh BUILD
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$1
if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
    echo "SKIP: dpkg-deb or dpkg-shlibdeps is missing"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$root/scripts/package" --build "$build" --out "$work/debs" --fast
app=$(ls "$work"/debs/glintwork_*.deb)
models=$(ls "$work"/debs/glintwork-models_*.deb)

contents=$(dpkg-deb -c "$app" | awk '{print $6}' | sed 's|^\./|/|')
for path in /usr/bin/glintwork /usr/bin/glintwork-cli /usr/lib/glintwork/glintwork-heic-encoder \
    /usr/lib/glintwork/cwebp /usr/lib/glintwork/cjpeg /usr/lib/glintwork/avifenc /usr/lib/glintwork/oxipng \
    /usr/share/applications/io.glintwork.Glintwork.desktop \
    /usr/share/metainfo/io.glintwork.Glintwork.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/io.glintwork.Glintwork.svg \
    /usr/share/glintwork/LICENSE-THIRD-PARTY.txt /usr/share/glintwork/i18n/glintwork_de.qm \
    /usr/share/man/man1/glintwork.1.gz /usr/share/man/man1/glintwork-cli.1.gz \
    /usr/share/bash-completion/completions/glintwork-cli \
    /usr/share/doc/glintwork/copyright /usr/share/doc/glintwork/changelog.Debian.gz; do
    grep -qx "$path" <<<"$contents" || fail "glintwork lacks $path"
done
if grep -q '^/usr/share/glintwork/models/\|^/usr/share/glintwork/bin/' <<<"$contents"; then
    fail "glintwork holds networks or helper programs under share/"
fi
model_contents=$(dpkg-deb -c "$models" | awk '{print $6}' | sed 's|^\./|/|')
for path in /usr/share/glintwork/models/subject-segmentation.onnx /usr/share/glintwork/models/RealESRGAN_x4fast.onnx \
    /usr/share/doc/glintwork-models/copyright; do
    grep -qx "$path" <<<"$model_contents" || fail "glintwork-models lacks $path"
done
[ "$(grep -c . <<<"$model_contents")" -gt 0 ] && ! grep -q '^/usr/bin' <<<"$model_contents" ||
    fail "glintwork-models holds programs"

depends=$(dpkg-deb -f "$app" Depends)
for needed in libvips42 libqt6widgets6 libqt6core6 webp libjpeg-turbo-progs libavif-bin; do
    grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
[ "$(dpkg-deb -f "$app" Recommends)" = "glintwork-models (= $(dpkg-deb -f "$app" Version))" ] ||
    fail "glintwork does not recommend the models of its version"
[ "$(dpkg-deb -f "$models" Architecture)" = all ] || fail "the models are not Architecture: all"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/resources/io.glintwork.Glintwork.desktop"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic "$root/resources/io.glintwork.Glintwork.metainfo.xml" >/dev/null ||
        fail "appstreamcli validate: $(appstreamcli validate --no-net --pedantic "$root/resources/io.glintwork.Glintwork.metainfo.xml")"
fi

# The unpacked programs must find their data and helpers under the throwaway root alone.
dpkg-deb -x "$app" "$work/root"
dpkg-deb -x "$models" "$work/root"
# What the dependencies would install: the encoders the helper folder links to.
for tool in cwebp cjpeg avifenc; do
    ln -s "$(command -v "$tool")" "$work/root/usr/bin/$tool"
done
unset GLINTWORK_RESOURCES
cli=$work/root/usr/bin/glintwork-cli
mkdir -p "$work/in" "$work/out"
/usr/bin/python3 - "$work/in/photo.png" <<'PY'
import struct, sys, zlib
w, h = 48, 40
rows = b"".join(b"\0" + b"".join(bytes(((x * 5) % 256, (y * 6) % 256, 90 if 12 < x < 36 and 10 < y < 30 else 200)) for x in range(w)) for y in range(h))
chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)
open(sys.argv[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
PY
"$cli" compress --format webp --output "$work/out" --json "$work/in/photo.png" | grep -q '"status":"completed"' ||
    fail "the unpacked CLI could not compress"
"$cli" cutout --output "$work/out" --json "$work/in/photo.png" | grep -q '"status":"completed"' ||
    fail "the unpacked CLI could not cut out"
"$cli" upscale --fast --scale 2 --output "$work/out" --json "$work/in/photo.png" | grep -q '"status":"completed"' ||
    fail "the unpacked CLI could not upscale"
echo "packages: $(basename "$app") ($(du -k "$app" | cut -f1) kB), $(basename "$models")"
