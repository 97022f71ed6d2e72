#!/usr/bin/env bash
# Writes a PNG of every dialog of the library, as its Windows views draw them, into
# build/<preset>/screenshots for review. Not a test: it checks nothing.
#
#   scripts/dialog-screenshots.sh [win64|win32]     (default win64; build that preset first)
#
# Needs Xvfb and ImageMagick's `import` (imagemagick-6.q16). Uses a Wine prefix of its own under the
# build folder with the X11 display driver (the test prefix runs without a display).
set -euo pipefail
preset=${1:-win64}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/$preset
gallery=$build/bin/pel_dialog_gallery.exe
out=$build/screenshots
[[ -f $gallery ]] || { echo "no $gallery: build the $preset preset first" >&2; exit 1; }
command -v import >/dev/null || { echo "ImageMagick's import is missing (apt-get install imagemagick-6.q16)" >&2; exit 1; }
if [[ $preset == win64 ]]; then
  wine=/usr/lib/wine/wine64
  export WINEARCH=win64
else
  wine=wine
  export WINEARCH=win32
fi
export WINEPREFIX=$build/screenshot-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
display=:${PEL_SCREENSHOT_DISPLAY:-97}
mkdir -p "$out"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k >/dev/null 2>&1 || true; kill "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY=$display

if [[ ! -f $WINEPREFIX/system.reg ]]; then
  "$wine" wineboot --init </dev/null >/dev/null 2>&1
  wineserver -w
  # Without a window manager, unmanaged windows close at once.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  wineserver -w
fi

coproc GALLERY { "$wine" "$gallery" 2>/dev/null; }
while IFS= read -r line <&"${GALLERY[0]}"; do
  [[ $line == shown\ * ]] || continue
  read -r _ name geometry _ <<<"${line%%$'\t'*}"
  # The window was drawn before it was announced; the X server may still be painting it. Wine's
  # unmanaged windows carry no name for `import -window`, so the screen is cut at the window's place.
  sleep 0.5
  if import -display "$display" -window root -crop "$geometry" +repage "$out/$name.png"; then
    echo "$out/$name.png"
  else
    echo "no picture of $name" >&2
  fi
  echo next >&"${GALLERY[1]}"
done
