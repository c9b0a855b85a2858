#!/bin/sh
# Takes the pictures in docs/: the plug-in's dialogs and kvbvh-studio under a
# virtual X server (kvbvh_screenshots, built into $BUILD_DIR, default
# build-screenshots, run with Qt's X11 platform), and the contact sheet that
# make demo draws. Installs Debian's xvfb when missing, using sudo when not
# run as root.
set -eu

cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-screenshots}
OUT_DIR=${OUT_DIR:-docs}

if ! command -v xvfb-run >/dev/null 2>&1; then
    SUDO=
    [ "$(id -u)" = 0 ] || SUDO=sudo
    echo "Installing Debian packages: xvfb xauth"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends xvfb xauth
fi

[ -f "$BUILD_DIR/build.ninja" ] || cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" --target kvbvh_screenshots kvbvh_app

mkdir -p "$OUT_DIR"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$BUILD_DIR/bin/kvbvh_screenshots" "$OUT_DIR"

# The demo's conversion and its contact sheet, with settings of their own.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$BUILD_DIR/bin/kvbvh" --settings "$work/settings.ini" --quiet convert data/bvh/cmu_01_01_jumps_mb.bvh \
    -o "$work/demo.bvh" --second-life --fps 30
"$BUILD_DIR/bin/kvbvh" --settings "$work/settings.ini" --quiet preview "$work/demo.bvh" -o "$OUT_DIR/preview.png"
ls -1 "$OUT_DIR"/*dialog*.png "$OUT_DIR/studio.png" "$OUT_DIR/preview.png"
