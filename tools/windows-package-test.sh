#!/usr/bin/env bash
# Makes the Windows setup program and portable zip (CPack) and tries them
# under Wine, without the build's DLL path: the setup program installs
# silently for the current user, the installed qlarkw-cli.exe runs on the
# simulated Writer, the uninstaller removes what was installed; the zip's
# qlarkw-cli.exe keeps its settings beside itself. Each file stays under
# 25 MB.
#   tools/windows-package-test.sh [WIN_BUILD_DIR]   (default: build-win)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-${QLARKW_WIN_BUILD_DIR:-$root/build-win}}")
start=$SECONDS
fail() { echo "windows-package-test: $*" >&2; exit 1; }
say() { echo "windows-package-test: $*"; }

packages=$build/packages
rm -rf "$packages"
cpack --config "$build/CPackConfig.cmake" -B "$packages" >/dev/null
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
setup=$packages/qlarkw-$version-win64.exe
zip=$packages/qlarkw-$version-win64.zip
for file in "$setup" "$zip"; do
    [ -f "$file" ] || fail "$file was not made"
    size=$(stat -c %s "$file")
    [ "$size" -lt $((25 * 1024 * 1024)) ] || fail "$file has $size bytes, 25 MB at most"
    say "$(basename "$file"): $((size / 1024)) KiB"
done

# The build's prefix, started by its wrapper; the programs below run
# without its WINEPATH, on what they bring.
"$build/wine-run.sh" cmd /c exit
export WINEPREFIX=${QLARKW_WINEPREFIX:-$build/wine} WINEDEBUG=-all
wine() { env -u WINEPATH /usr/lib/wine/wine64 "$@" </dev/null 2>&1 | tr -d '\r'; }
user=$WINEPREFIX/drive_c/users/$(id -un)
dir=$user/AppData/Local/Programs/qlarkw
menu=$user/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\qlarkw'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

wine "$setup" /S >/dev/null
for f in qlarkw.exe qlarkw-cli.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll \
    styles/qwindowsvistastyle.dll translations/qtbase_ja.qm libstdc++-6.dll libgcc_s_seh-1.dll \
    libwinpthread-1.dll qt.conf README.txt uninstall.exe; do
    [ -f "$dir/$f" ] || fail "the setup program did not install $f"
done
[ -f "$menu/Q-LARK USBライタ.lnk" ] || fail "no Start menu entry"
wine reg query "$uninstall" /v DisplayVersion | grep -q "$version" ||
    fail "no entry in the list of programs"
wine reg query 'HKCU\Software\Classes\.hex\OpenWithProgids' | grep -q qlarkw.hexfile ||
    fail "qlarkw is not in .hex's Open with"
wine reg query 'HKCU\Software\Classes\qlarkw.hexfile\shell\open\command' |
    grep -q 'qlarkw.exe" %1' || fail "the .hex command is not the program's"
say "installed silently for the user: files, Start menu, Open with, list of programs"

out=$(QLARKW_DEVICE=sim QLARKW_SIM_STATE="Z:$work/chip.hex" wine "$dir/qlarkw-cli.exe" \
    write "Z:$root/samples/blink.hex" --verify) || { echo "$out"; fail "the installed CLI failed"; }
grep -q '^verify: ' <<<"$out" || { echo "$out"; fail "the installed CLI did not verify"; }
say "the installed qlarkw-cli.exe wrote and verified on the simulated Writer"

# The uninstaller runs from a copy of itself and returns at once.
wine "$dir/uninstall.exe" /S >/dev/null
for _ in $(seq 60); do [ -e "$dir" ] || break; sleep 1; done
[ ! -e "$dir" ] || fail "the uninstaller left $(find "$dir" | head -n 5)"
[ ! -e "$menu/Q-LARK USBライタ.lnk" ] || fail "the Start menu entry is still there"
! wine reg query "$uninstall" >/dev/null || fail "the list of programs still has qlarkw"
! wine reg query 'HKCU\Software\Classes\qlarkw.hexfile' >/dev/null ||
    fail "the .hex command is still there"
say "uninstalled silently: nothing left"

(cd "$work" && unzip -q "$zip")
portable=$work/qlarkw-$version-win64
out=$(QLARKW_DEVICE=sim wine "$portable/qlarkw-cli.exe" --verbose erase) ||
    { echo "$out"; fail "the portable CLI failed"; }
grep -q "settings Z:$portable/qlarkw.ini" <<<"$out" ||
    { echo "$out"; fail "the portable copy does not keep its settings beside itself"; }
say "the portable zip runs from its folder and keeps its settings there"
say "passed in $((SECONDS - start)) s"
