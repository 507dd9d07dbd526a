#!/usr/bin/env bash
# Cross-builds Zorvane for 64-bit Windows into build-win/ and packs
#   build-win/zorvane-<version>-windows-x64.zip: zorvane.exe with the DLLs and
#     plugins it loads, the licence and a Windows README, at the zip's top level
#     (so they can be copied straight beside the scans);
#   build-win/zorvane-<version>-windows-x64-setup.exe: the same files in a per-user
#     installer (NSIS), with a Start menu entry, "Open with Zorvane" on folders
#     and an uninstaller.
# The Qt/libjpeg-turbo toolchain (../shared/toolchains, or ZORVANE_TOOLCHAINS) is
# unpacked into build-win/ once.
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
rm -rf "$build/package" "$build/$name.zip" "$build/$name-setup.exe"
mkdir -p "$stage/platforms" "$stage/imageformats" "$stage/styles"
x86_64-w64-mingw32-strip -o "$stage/zorvane.exe" "$build/zorvane.exe"
cp "$prefix/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$prefix/plugins/imageformats/qjpeg.dll" "$stage/imageformats/"
cp "$prefix/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# The DLLs the program and its plugins import, and theirs in turn: Qt's, and the
# compiler's runtime (Qt's DLLs link it dynamically, so it ships beside them).
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
search=("$prefix/bin" "$runtime" /usr/x86_64-w64-mingw32/lib)
queue=("$stage/zorvane.exe" "$stage"/*/*.dll)
while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
        [ -e "$stage/$dll" ] && continue
        for dir in "${search[@]}"; do
            if [ -f "$dir/$dll" ]; then
                cp "$dir/$dll" "$stage/"
                queue+=("$stage/$dll")
                break
            fi
        done
    done
done
# Debug information is most of the DLLs' size (libstdc++-6.dll: 23 MB of 2).
find "$stage" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
# Text files as Windows editors expect them: CR LF.
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' dist/windows/README.txt >"$stage/README.txt"
(cd "$stage" && zip -qr9X "../../$name.zip" .)
echo "build-windows.sh: $build/$name.zip ($(du -k "$build/$name.zip" | cut -f1) KiB)"

# The installer: the same files, installed and uninstalled one by one.
files=$build/package/files.nsh
{
    echo '!ifdef INSTALL'
    while read -r dir; do
        rel=${dir#.}
        echo "SetOutPath \"\$INSTDIR${rel//\//\\}\""
        find "$PWD/$stage$rel" -maxdepth 1 -type f | sort | sed 's/.*/File "&"/'
    done < <(cd "$stage" && find . -type d | sort)
    echo 'SetOutPath "$INSTDIR"'
    echo '!else'
    while read -r file; do
        file=${file#./}
        echo "Delete \"\$INSTDIR\\${file//\//\\}\""
    done < <(cd "$stage" && find . -type f | sort)
    while read -r dir; do
        dir=${dir#./}
        echo "RMDir \"\$INSTDIR\\${dir//\//\\}\""
    done < <(cd "$stage" && find . -mindepth 1 -type d | sort -r)
    echo '!endif'
} >"$files"
makensis -V2 -DVERSION="$version" -DPACKAGE="$PWD/$stage" -DFILES="$PWD/$files" \
    -DICON="$PWD/$build/dist/windows/zorvane.ico" -DSIZE_KB="$(du -sk "$stage" | cut -f1)" \
    -DOUTFILE="$PWD/$build/$name-setup.exe" dist/windows/zorvane.nsi
echo "build-windows.sh: $build/$name-setup.exe ($(du -k "$build/$name-setup.exe" | cut -f1) KiB)"
