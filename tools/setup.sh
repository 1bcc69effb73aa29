#!/bin/sh
# Installs everything the two builds and their tests need on a fresh Debian 12
# machine. Safe to run again: every step checks before it acts.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CACHE="$ROOT/.cache"
export DEBIAN_FRONTEND=noninteractive

need_apt=0
PKGS="cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev libnanoflann-dev libeigen3-dev liblapack-dev \
 g++-mingw-w64-i686 gcc-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686 \
 g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
 libz-mingw-w64-dev wine wine32 wine64 xvfb xauth x11-utils imagemagick ccache dpkg-dev \
 libgl1 libglx-mesa0 libgl1-mesa-dri libxcomposite1 libxrender1 libxfixes3 libxi6 \
 libxrandr2 libxinerama1 libxcursor1 \
 openssl python3 python3-open3d admesh python3-vtk9 \
 python3-meshio assimp-utils openscenegraph python3-ezdxf octave libocct-data-exchange-dev \
 inventor-clients python3-pivy libpng-dev python3-pil libcgal-dev \
 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 libglu1-mesa:i386 libxcomposite1:i386 \
 libxrender1:i386 libxfixes3:i386 libxi6:i386 libxrandr2:i386 libxinerama1:i386 libxcursor1:i386"
# The shipped program is 32-bit: under 32-bit Wine it needs the i386 Mesa, GLU
# and X libraries (wine32 only recommends them; without them no pixel format
# is found and the view cannot make its OpenGL window).

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

# libpng, cross-built as a DLL from Debian's patched source package: for i686
# (the deliverables) and for x86_64 (the 64-bit test build, see README).
build_png() { # <install prefix> <toolchain file>
    [ -f "$1/lib/libpng16.dll.a" ] && return 0
    mkdir -p "$CACHE/src"
    cd "$CACHE/src"
    if ! ls -d libpng1.6-*/ >/dev/null 2>&1; then
        apt-get source -qq libpng1.6 >/dev/null 2>&1
    fi
    SRC=$(ls -d "$CACHE"/src/libpng1.6-*/ | head -n1)
    BLD="$CACHE/src/png-build-$(basename "$2" .cmake)"
    rm -rf "$BLD"
    cmake -S "$SRC" -B "$BLD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$2" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$1" \
        -DPNG_SHARED=ON -DPNG_STATIC=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DCMAKE_C_FLAGS="-msse2 -mfpmath=sse" >/dev/null
    cmake --build "$BLD" >/dev/null
    cmake --install "$BLD" >/dev/null
    cd "$ROOT"
}
# winpthreads for the 32-bit build, from Debian's own mingw-w64 source, built
# for Windows 2000 (tools/winpthreads/README.md).
build_winpthreads() { # <install prefix>
    [ -f "$1/lib/libpthread.a" ] && return 0
    mkdir -p "$CACHE/src"
    cd "$CACHE/src"
    if ! ls -d mingw-w64-*/ >/dev/null 2>&1; then
        apt-get source -qq mingw-w64 >/dev/null 2>&1
    fi
    SRC=$(ls -d "$CACHE"/src/mingw-w64-*/ | head -n1)mingw-w64-libraries/winpthreads
    BLD="$CACHE/src/winpthreads-build-i686"
    rm -rf "$BLD"
    cp -r "$SRC" "$BLD"
    cd "$BLD"
    patch -s -p1 < "$ROOT/tools/winpthreads/windows2000.patch"
    ./configure -q --host=i686-w64-mingw32 --prefix="$1" --enable-static --disable-shared \
        CFLAGS="-O2 -march=i686 -D_WIN32_WINNT=0x0500" >/dev/null
    make -j"$(nproc)" >/dev/null 2>&1
    make install >/dev/null
    cd "$ROOT"
}
build_winpthreads "$CACHE/winpthreads-i686"
build_png "$CACHE/libpng-mingw" "$ROOT/cmake/mingw-i686.cmake"
build_png "$CACHE/libpng-mingw64" "$ROOT/cmake/mingw-x86_64.cmake"
echo "setup: done"
