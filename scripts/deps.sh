#!/bin/sh
# Installs the Debian packages the build needs; with --test also those the
# test suite uses, with --fuzz the compiler the fuzz targets need. Only missing packages are installed, so it is cheap to rerun.
set -e
pkgs="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
qt6-serialport-dev qt6-webengine-dev qt6-webchannel-dev qt6-svg-dev
libqt6svg6 nodejs npm libgeographiclib-dev qt6-charts-dev
libqt6sql6-sqlite libsqlite3-dev libzip-dev libexiv2-dev qt6-image-formats-plugins"
case "$1" in
--test) pkgs="$pkgs gdal-bin cloc python3-gpxpy python3-nmea2 clang-tidy libimage-exiftool-perl libheif-examples" ;;
--fuzz) pkgs="$pkgs clang-14 libclang-rt-14-dev" ;;
esac
missing=""
for p in $pkgs; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# A machine may carry node and npm outside Debian's packages; those will do.
case " $missing " in *" nodejs "*) command -v node >/dev/null 2>&1 && missing=$(echo "$missing" | sed 's/ nodejs//') ;; esac
case " $missing " in *" npm "*) command -v npm >/dev/null 2>&1 && missing=$(echo "$missing" | sed 's/ npm//') ;; esac
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
fi
