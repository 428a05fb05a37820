#!/usr/bin/env bash
# The install tree: `cmake --install` into a temporary prefix gives the program, its metafile
# helper where the program looks for it, a valid desktop entry that offers every picture type the
# viewer opens, and the icon in each hicolor size and as SVG.
set -euo pipefail
build="$1"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FEIL: $*" >&2; exit 1; }
[ -x "$prefix/bin/glimra" ] || fail "no program in bin/"
[ -x "$prefix/libexec/glimra/glimra-metafil" ] || fail "no metafile helper in libexec/glimra/"
entry="$prefix/share/applications/no.tavlund.glimra.desktop"
[ -f "$entry" ] || fail "no desktop entry"
desktop-file-validate "$entry" || fail "the desktop entry does not validate"
grep -qx 'Exec=glimra %f' "$entry" || fail "the entry does not start the viewer with the one file"
grep -qx 'Icon=glimra' "$entry" || fail "the entry names another icon"
for type in image/jpeg image/bmp image/tiff image/vnd.microsoft.icon image/wmf image/x-wmf image/emf \
            image/x-emf image/png image/gif image/webp; do
  grep -q "^MimeType=.*$type;" "$entry" || fail "the entry does not offer $type"
done
for size in 16 24 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/glimra.png"
  [ -f "$icon" ] || fail "no ${size}x${size} icon"
  [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "the ${size}x${size} icon has another size"
done
svg="$prefix/share/icons/hicolor/scalable/apps/glimra.svg"
[ -f "$svg" ] || fail "no scalable icon"
grep -q '<svg' "$svg" || fail "the scalable icon is no SVG"
echo "install tree: ok"
