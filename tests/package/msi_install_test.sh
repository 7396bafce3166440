#!/usr/bin/env bash
# The MSI under Wine: a silent per-user install puts the program, its Start-menu shortcut and its
# installed-programs entry in place and the installed program runs; a package of a higher version
# replaces it in place; the uninstall removes program, shortcut, entry and the "Start with Windows"
# value and keeps the user's settings and log.
# Usage: msi_install_test.sh BIN_DIR PACKAGE_DIR VERSION
set -uo pipefail
source "$(dirname "$0")/../e2e/lib.sh" "$1"
package_source=$(realpath "$(dirname "$0")/../../packaging")
version=$3
msi=$(realpath -m "$2/Kelvane2-$version-win64.msi")
IFS=. read -r major minor patch <<<"$version"
newer=$major.$minor.$((patch + 1))
user_dir="$WINEPREFIX/drive_c/users/$(whoami)"
installed="$user_dir/AppData/Local/Programs/Kelvane2/Kelvane2.exe"
shortcut="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Kelvane2.lnk"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
# Wine would copy the Start-menu shortcut into the desktop menus of the machine's own user.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winemenubuilder.exe=d"

# Wine's drive Z: is the root folder (winepath would cost a Wine start each time).
msiexec() { "$WINE" msiexec "$1" "Z:$(realpath "$2" | tr / '\\')" /qn 2>/dev/null; }
reg() { "$WINE" reg "$@" 2>/dev/null | tr -d '\r'; }
# The installed-programs list as Wine's uninstaller reads it: one "{product code}|||name" line each.
entries() { "$WINE" uninstaller --list 2>/dev/null | tr -d '\r' | grep -F '|||Kelvane2'; }
# Windows Installer keeps a GUID's hex digits per field reversed, the last eight bytes each swapped.
packed_guid() {
    local hex=${1//[\{\}-]/} out="" i
    out=$(rev <<<"${hex:0:8}")$(rev <<<"${hex:8:4}")$(rev <<<"${hex:12:4}")
    for ((i = 16; i < 32; i += 2)); do out+=${hex:i+1:1}${hex:i:1}; done
    echo "$out"
}
# The products Windows Installer has registered for this user under the package's upgrade code.
upgrade_code=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^UpgradeCode\t//p')
products() { reg query "HKCU\\Software\\Microsoft\\Installer\\UpgradeCodes\\$(packed_guid "$upgrade_code")" | grep -cE '^ +[0-9A-F]{32} '; }
# "<entries> <DisplayVersion> <Publisher>" of the installed-programs entries, from whichever hive
# Windows Installer chose for a per-user product.
entry_summary() {
    local list code hive values=""
    list=$(entries)
    code=$(head -n 1 <<<"$list" | cut -d'|' -f1)
    for hive in HKLM HKCU; do
        [[ -n "$values" ]] || values=$(reg query "$hive\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code")
    done
    echo "$(grep -c . <<<"$list")" $(sed -n 's/^ *\(DisplayVersion\|Publisher\) *REG_SZ *//p' <<<"$values")
}
no_run_value() { ! reg query "$run_key" /v Kelvane2 | grep -q Kelvane2; }

check "the MSI exists" [ -f "$msi" ]
summary=$(msiinfo suminfo "$msi")
properties=$(msiinfo export "$msi" Property | tr -d '\r')
# The summary's word count (msiinfo: "Source") has bit 8 for "no elevation needed": no UAC prompt.
x64_without_elevation() {
    grep -qxF 'Template: x64;1033' <<<"$summary" && (($(sed -n 's/^Source: \([0-9]*\).*/\1/p' <<<"$summary") & 8))
}
check "msiinfo: x64 package that needs no elevation" x64_without_elevation
check "msiinfo: product version $version" grep -qxF "ProductVersion	$version" <<<"$properties"
check "msiinfo: per-user (no ALLUSERS)" bash -c '! grep -q "^ALLUSERS" <<<"$1"' _ "$properties"
check "msiinfo: an upgrade code" grep -qE '^\{[0-9A-Fa-f-]{36}\}$' <<<"$upgrade_code"

# A leftover of an earlier run would turn the install into a no-op or a downgrade.
for code in $(entries | cut -d'|' -f1); do "$WINE" msiexec /x "$code" /qn 2>/dev/null; done
reg delete "$run_key" /v Kelvane2 /f >/dev/null
fresh_data
printf 'active=0\r\n' >"$e2e_ini"

check "silent install" msiexec /i "$msi"
check "the program is in LOCALAPPDATA\\Programs\\Kelvane2" cmp -s "$installed" "$e2e_bin/Kelvane2.exe"
check "the Start-menu shortcut points at it" grep -qxF 'C:\users\'"$(whoami)"'\AppData\Local\Programs\Kelvane2\Kelvane2.exe' \
    <(strings -a "$shortcut")
check "one product registered for the user" [ "$(products)" == 1 ]
check "one installed-programs entry with version and publisher" [ "$(entry_summary)" == "1 $version Kelvane2" ]

"$WINE" "$installed" --pattern 2>/dev/null &
kelvane_pid=$!
e2e_pids+=("$kelvane_pid")
check "the installed program starts" driver wait-window Kelvane2Msg 30000
check "and logs its start" log_has "Kelvane2 starting"
exit_kelvane
check "Exit ends it with code 0" [ $? -eq 0 ]

# The higher version carries a different program file, so that its replacing the old one shows.
cp "$e2e_bin/Kelvane2.exe" "$e2e_work/Kelvane2.exe"
printf 'newer build' >>"$e2e_work/Kelvane2.exe"
cmake -DEXE="$e2e_work/Kelvane2.exe" -DVERSION="$newer" -DOUTPUT_DIR="$e2e_work" -DREQUIRE_MSI=ON \
    -DREADME="$package_source/../README.md" -DICON="$package_source/../resources/kelvane2.ico" \
    -DWXS="$package_source/Kelvane2.wxs" -P "$package_source/package.cmake" >/dev/null
check "upgrade to $newer: silent install" msiexec /i "$e2e_work/Kelvane2-$newer-win64.msi"
check "upgrade: the program file is replaced" cmp -s "$installed" "$e2e_work/Kelvane2.exe"
check "upgrade: still one product and one entry, now $newer" [ "$(products) $(entry_summary)" == "1 1 $newer Kelvane2" ]

reg add "$run_key" /v Kelvane2 /d "\"C:\\users\\$(whoami)\\AppData\\Local\\Programs\\Kelvane2\\Kelvane2.exe\"" /f >/dev/null
cp "$e2e_ini" "$e2e_work/settings.before"
check "silent uninstall" msiexec /x "$e2e_work/Kelvane2-$newer-win64.msi"
check "uninstall: program and its folder gone" [ ! -e "$(dirname "$installed")" ]
check "uninstall: shortcut gone" [ ! -e "$shortcut" ]
check "uninstall: no product, no entry" [ "$(products) $(entries | grep -c .)" == "0 0" ]
check "uninstall: the Start with Windows value is gone" no_run_value
check "uninstall: settings.ini untouched" cmp -s "$e2e_ini" "$e2e_work/settings.before"
check "uninstall: the log kept" log_has "Kelvane2 exiting (0)"
finish
