#!/bin/sh
# Installs everything the two builds and their tests need on a fresh Debian 12
# machine. Safe to run again: every step checks before it acts.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CACHE="$ROOT/.cache"
export DEBIAN_FRONTEND=noninteractive

need_apt=0
PKGS="cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev libnanoflann-dev \
 g++-mingw-w64-i686 gcc-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686 \
 libz-mingw-w64-dev wine wine32 xvfb xauth x11-utils imagemagick ccache dpkg-dev \
 openssl python3 python3-open3d admesh python3-vtk9"

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    need_apt=1
fi
# Debian's own source of libpng is cross-built below; it needs a deb-src entry.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && \
   ! grep -qs '^deb-src' /etc/apt/sources.list 2>/dev/null; then
    cat > /etc/apt/sources.list.d/tolvaran-src.sources <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    need_apt=1
fi
for p in $PKGS; do
    case $p in wine32) q=wine32:i386 ;; *) q=$p ;; esac
    dpkg -s "$q" >/dev/null 2>&1 || { need_apt=1; break; }
done
if [ $need_apt = 1 ]; then
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends $PKGS >/dev/null
fi

# libpng, cross-built as a DLL for i686 from Debian's patched source package.
PNG="$CACHE/libpng-mingw"
if [ ! -f "$PNG/lib/libpng16.dll.a" ]; then
    mkdir -p "$CACHE/src"
    cd "$CACHE/src"
    if ! ls -d libpng1.6-*/ >/dev/null 2>&1; then
        apt-get source -qq libpng1.6 >/dev/null 2>&1
    fi
    SRC=$(ls -d "$CACHE"/src/libpng1.6-*/ | head -n1)
    rm -rf "$CACHE/src/png-build"
    cmake -S "$SRC" -B "$CACHE/src/png-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PNG" \
        -DPNG_SHARED=ON -DPNG_STATIC=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DCMAKE_C_FLAGS="-msse2 -mfpmath=sse" >/dev/null
    cmake --build "$CACHE/src/png-build" >/dev/null
    cmake --install "$CACHE/src/png-build" >/dev/null
fi
echo "setup: done"
