#!/bin/sh
# Remakes docs/window.png: the window after a download from a simulated
# logger, docs/speed.png: the same lines coloured by speed, docs/edit.png: a selection
# on the map and the profile, docs/library.png: the library after a download, and
# docs/geotag.png:
# the geotagging preview beside it, on a virtual X server. Run from the source folder after a build:
#   sh scripts/screenshot.sh [BUILD_DIR]
set -e
build=${1:-build}
command -v xvfb-run >/dev/null || apt-get install -y --no-install-recommends xvfb xauth
mkdir -p docs
QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1200x800x24" "$build/lx300-screenshot" docs/window.png
QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1200x800x24" "$build/lx300-screenshot" --speed docs/speed.png
QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1200x800x24" "$build/lx300-screenshot" --edit docs/edit.png
QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1200x800x24" "$build/lx300-screenshot" --library docs/library.png
QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 2000x800x24" "$build/lx300-screenshot" --geotag docs/geotag.png
echo "docs/window.png docs/speed.png docs/edit.png docs/library.png docs/geotag.png"
