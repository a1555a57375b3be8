#!/usr/bin/env bash
# Packs a built Vesmar.exe with everything it loads into
# BUILD/Vesmar-windows-x64.zip (one folder, Vesmar/) and, where makensis is
# installed, into the installer BUILD/Vesmar-setup-x64.exe.
#
#   tools/pack-windows.sh BUILD QT
#
# The libraries come from the import tables (objdump -p) of the program and
# of the plugins, followed until nothing new turns up; every imported DLL must
# be in the folder or be one of Windows' own, or packing fails.
set -euo pipefail
build=$(cd "${1:?usage: pack-windows.sh BUILD QT}" && pwd)
qt=${2:?usage: pack-windows.sh BUILD QT}
repo=$(cd "$(dirname "$0")/.." && pwd)
objdump=x86_64-w64-mingw32-objdump
mingw_runtime=(/usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
translations=/usr/share/qt6/translations

# Windows' own libraries that Qt and the program import (lower case).
system_dlls=" advapi32.dll authz.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll d2d1.dll
    d3d11.dll d3d12.dll d3d9.dll dnsapi.dll dwmapi.dll dwrite.dll dxgi.dll gdi32.dll imm32.dll
    iphlpapi.dll kernel32.dll mpr.dll msimg32.dll msvcrt.dll ncrypt.dll netapi32.dll ntdll.dll
    ole32.dll oleaut32.dll rpcrt4.dll secur32.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll
    user32.dll userenv.dll uxtheme.dll version.dll winmm.dll winspool.drv ws2_32.dll wtsapi32.dll "
system_dlls=" $(echo $system_dlls) "

stage=$build/package
folder=$stage/Vesmar
rm -rf "$stage"
mkdir -p "$folder/platforms" "$folder/styles" "$folder/translations"

cp "$build/Vesmar.exe" "$folder/"
cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
# Qt's own texts (standard buttons, the line edit's menu) in Russian. Qt finds
# them in translations/ beside the executable, because its prefix is the
# program's folder when Qt6Core.dll lies beside the executable.
cp "$translations/qtbase_ru.qm" "$folder/translations/"

imports() {
    "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'
}

find_dll() {
    local name=$1 dir f
    for dir in "$qt/bin" "${mingw_runtime[@]}"; do
        for f in "$dir"/*.dll; do
            [ "$(basename "$f" | tr 'A-Z' 'a-z')" = "$name" ] && { echo "$f"; return 0; }
        done
    done
    return 1
}

declare -A packed=()
queue=("$folder/Vesmar.exe" "$folder/platforms/qwindows.dll" "$folder/styles/qwindowsvistastyle.dll")
unresolved=()
while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for dll in $(imports "$file"); do
        case "$dll" in api-ms-win-*) continue ;; esac
        [[ "$system_dlls" == *" $dll "* ]] && continue
        [ -n "${packed[$dll]:-}" ] && continue
        if source=$(find_dll "$dll"); then
            cp "$source" "$folder/"
            packed[$dll]=1
            queue+=("$folder/$(basename "$source")")
        else
            unresolved+=("$dll (imported by $(basename "$file"))")
        fi
    done
done
if [ ${#unresolved[@]} -gt 0 ]; then
    echo "pack-windows: not found and not a Windows library: ${unresolved[*]}" >&2
    exit 1
fi
# The debugging symbols are of no use to a user and double the download.
find "$folder" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +

zip_file=$build/Vesmar-windows-x64.zip
rm -f "$zip_file"
(cd "$stage" && zip -qr9X "$zip_file" Vesmar)
echo "$zip_file: $(du -k "$zip_file" | cut -f1) KiB"
(cd "$stage" && find Vesmar -type f | sort | while read -r f; do
    printf '  %-45s %6s KiB\n' "$f" "$(du -k "$f" | cut -f1)"
done)

if command -v makensis >/dev/null; then
    version=$(sed -n 's/^project(Vesmar VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
    makensis -V2 -INPUTCHARSET UTF8 -DSOURCE="$folder" -DVERSION="$version" \
        -DOUTFILE="$build/Vesmar-setup-x64.exe" "$repo/packaging/windows/Vesmar.nsi" >/dev/null
    echo "$build/Vesmar-setup-x64.exe: $(du -k "$build/Vesmar-setup-x64.exe" | cut -f1) KiB"
else
    echo "makensis is not installed: no installer"
fi
