#!/usr/bin/env bash
# Runs TestScreenScale in one Xvfb server at each scale a desktop may set:
# 96, 120 and 192 logical DPI (what Xft.dpi tells Qt, here through
# QT_FONT_DPI), QT_SCALE_FACTOR=2, and 120 DPI with Qt's own scaling off, where
# the layouts' twips become more pixels. The pictures of the three screens are
# kept in ARTIFACT_DIR/<scale>/.
#
#   screen_scale.sh TEST_EXECUTABLE ARTIFACT_DIR
#
# Exits 77 (skipped) where Xvfb is missing.
set -euo pipefail
test_bin=$1 artifacts=$2
if ! command -v xvfb-run >/dev/null; then
  echo "skipped: xvfb-run is not installed"
  exit 77
fi
if [[ -z "${INSIDE_XVFB:-}" ]]; then
  export INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 2600x2000x24" bash "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
unset QT_LOGGING_RULES QT_FONT_DPI QT_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING
status=0
while read -r name settings; do
  echo "== $name: ${settings:-(desktop default)}"
  rm -rf "${artifacts:?}/$name"
  env $settings SCREEN_SCALE_ARTIFACTS="$artifacts/$name" "$test_bin" || status=1
done <<'SCALES'
dpi96
dpi120 QT_FONT_DPI=120
dpi192 QT_FONT_DPI=192
scale2 QT_SCALE_FACTOR=2
dpi120-unscaled QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=120
SCALES
exit $status
