#!/usr/bin/env bash
# Builds the Debian packages nuve and nuve-account-server from a copy of this
# tree in build-deb/ (nothing is written beside the checkout), and leaves
# them in build-deb/: sudo apt install ./build-deb/nuve_*.deb
# ccache speeds up a rebuild when it is installed. DEB_BUILD_OPTIONS passes
# through (e.g. noddebs to skip the debug symbol packages).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
out=$top/build-deb
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
tree=$out/nuve-$version

rm -rf "$tree" "$out"/*.deb "$out"/*.ddeb "$out"/*.changes "$out"/*.buildinfo
mkdir -p "$tree"
tar -C "$top" --exclude-vcs --exclude='./build*' --exclude='./obj-*' --exclude=./.cache --exclude=./compile_commands.json \
    -cf - . | tar -C "$tree" -xf -

cmake_args=()
if command -v ccache >/dev/null; then
  # The package build sets HOME to a folder of its own; keep the usual cache.
  export CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
  cmake_args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
export NUVE_CMAKE_ARGS="${cmake_args[*]}"
(cd "$tree" && dpkg-buildpackage -b -us -uc -j"$(nproc)")
rm -rf "$tree"
ls "$out"/*.deb
