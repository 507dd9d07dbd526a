#!/usr/bin/env bash
# Cross-builds Zorvane for 64-bit Windows into build-win/ and packs
# build-win/zorvane-<version>-windows-x64.zip: zorvane.exe with the DLLs and
# plugins it needs beside it. The Qt/libjpeg-turbo toolchain (../shared/toolchains,
# or ZORVANE_TOOLCHAINS) is unpacked into build-win/ once.
#   scripts/build-windows.sh [--tests]   --tests also builds the Qt tests
#   CI=true ...                          turns compiler warnings into errors
set -euo pipefail
cd "$(dirname "$0")/.."

# ../shared beside the checkout; from a git worktree, beside the main checkout.
toolchains=${ZORVANE_TOOLCHAINS:-../shared/toolchains}
if [ ! -d "$toolchains" ] && common=$(git rev-parse --path-format=absolute --git-common-dir 2>/dev/null); then
    toolchains=$(dirname "$(dirname "$common")")/shared/toolchains
fi
archive=$toolchains/qt6.4.2-mingw64.tar.xz
build=build-win
prefix=$build/qt6.4.2-mingw64
tests=OFF
[ "${1:-}" = --tests ] && tests=ON
werror=OFF
[ "${CI:-}" = true ] && werror=ON

bash scripts/deps.sh
if [ ! -f "$archive" ]; then
    echo "build-windows.sh: no toolchain at $archive (set ZORVANE_TOOLCHAINS)" >&2
    exit 1
fi
mkdir -p "$build"
if [ ! -f "$prefix/toolchain-mingw64.cmake" ] || [ "$archive" -nt "$prefix/toolchain-mingw64.cmake" ]; then
    rm -rf "$prefix"
    tar -C "$build" -xJf "$archive"
    touch "$prefix/toolchain-mingw64.cmake"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/$prefix/toolchain-mingw64.cmake" \
    -DBUILD_TESTING=$tests -DZORVANE_WERROR=$werror >/dev/null
cmake --build "$build" -j "$(nproc)"

# The package: what zorvane.exe loads, and nothing it does not.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=zorvane-$version-windows-x64
stage=$build/package/$name
rm -rf "$build/package" "$build/$name.zip"
mkdir -p "$stage/platforms" "$stage/imageformats" "$stage/styles"
x86_64-w64-mingw32-strip -o "$stage/zorvane.exe" "$build/zorvane.exe"
cp "$prefix"/bin/Qt6{Core,Gui,Widgets,Concurrent}.dll "$stage/"
cp "$prefix/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$prefix/plugins/imageformats/qjpeg.dll" "$stage/imageformats/"
cp "$prefix/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# The compiler's runtime: Qt's DLLs link it dynamically, so it ships beside them.
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)" "$stage/" 2>/dev/null ||
        cp "/usr/x86_64-w64-mingw32/lib/$dll" "$stage/"
done
# Debug information is most of the DLLs' size (libstdc++-6.dll: 23 MB of 2).
find "$stage" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
cp README.md "$stage/README.txt"
(cd "$build/package" && zip -qr9 "../$name.zip" "$name")
echo "build-windows.sh: $build/$name.zip ($(du -k "$build/$name.zip" | cut -f1) KiB)"
