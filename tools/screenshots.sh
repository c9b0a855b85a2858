#!/bin/sh
# Takes the pictures of the plug-in's dialogs in docs/ under a virtual X
# server: builds kvbvh_screenshots into $BUILD_DIR (default build-screenshots)
# and runs it with Qt's X11 platform. Installs Debian's xvfb when missing,
# using sudo when not run as root.
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
cmake --build "$BUILD_DIR" --target kvbvh_screenshots

mkdir -p "$OUT_DIR"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$BUILD_DIR/bin/kvbvh_screenshots" "$OUT_DIR"
ls -1 "$OUT_DIR"/*dialog*.png
