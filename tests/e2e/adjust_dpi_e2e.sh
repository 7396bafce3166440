#!/usr/bin/env bash
# Kelvane2.exe's Adjust-warp window at 96, 144 and 192 DPI (the prefix's LogPixels): every control
# inside the client area, none overlapping another, each text inside its control; and its keyboard
# use as a dialog's: Tab through every control, arrow keys moving a slider live and saving once on
# release, Esc closing and saving. The prefix is shared: it is set back to 96 DPI at the end.
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$1"
needs_test_display

set_dpi() {
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    # The next programs read it when the prefix's server starts again.
    "$WINESERVER" -k
    "$WINESERVER" -w
}
restore_dpi() {
    set_dpi 96
    e2e_cleanup
}
trap restore_dpi EXIT

for dpi in 96 144 192; do
    set_dpi "$dpi"
    fresh_data
    check "$dpi DPI: Kelvane2.exe starts" start_kelvane --inactive
    driver post Kelvane2Msg 0x111 102 0
    check "$dpi DPI: the Adjust-warp window opens" driver wait-window Kelvane2Adjust 10000
    layout=$(driver layout Kelvane2Adjust | tr -d '\r')
    echo "$layout" | sed 's/^/     /'
    check "$dpi DPI: the window is laid out for $dpi DPI" grep -q "^dpi $dpi client" <<<"$layout"
    check "$dpi DPI: controls inside, apart, and each text fits" bash -c "! grep -q '^FAIL' <<<'$layout'"
    check "$dpi DPI: all 13 controls measured" [ "$(grep -c '^control ' <<<"$layout")" -eq 13 ]
    exit_kelvane
    check "$dpi DPI: Exit ends with code 0" [ $? -eq 0 ]
done

# Keyboard, at 96 DPI with the mirror running on the pattern.
set_dpi 96
fresh_data
ini_inode() { stat -c %i "$e2e_ini" 2>/dev/null; }
screen_hash() { import -window root -crop 700x370+0+0 -depth 8 rgb:- 2>/dev/null | md5sum | cut -c1-32; }
focus_id() { driver focus-id Kelvane2Adjust | tr -d '\r'; }
check "Kelvane2.exe --pattern starts" start_kelvane --pattern
wait_for 20 log_has "renderer: initialized 1280x1024"
driver post Kelvane2Msg 0x111 102 0
check "the Adjust-warp window opens" driver wait-window Kelvane2Adjust 10000
check "the first check box has the focus" wait_for 5 bash -c "[[ \$('$WINE' '$e2e_bin/kelvane_driver.exe' focus-id Kelvane2Adjust 2>/dev/null | tr -d '\r') == 301 ]]"
# The focus moves when the window handles the key: wait for it to leave the control it was on.
focus_moved_from() {
    local now
    now=$(focus_id)
    [[ "$now" != "$1" && "$now" != -1 && -n "$now" ]]
}
focus_is() { [[ "$(focus_id)" == "$1" ]]; }
order=""
focused=301
for _ in 1 2 3 4 5 6 7; do
    driver key Kelvane2Adjust 0x09 down
    posted=$?
    driver key Kelvane2Adjust 0x09 up
    wait_for 5 focus_moved_from "$focused"
    focused=$(focus_id)
    order="$order $focused"
    ((posted == 0)) || order="$order(not posted: $posted)"
done
check "Tab goes through every control and round again:$order" [ "$order" == " 307 302 303 304 305 306 301" ]
driver key Kelvane2Adjust 0x09 down
driver key Kelvane2Adjust 0x09 down
check "two more Tabs reach the top/bottom slider" wait_for 5 focus_is 302

inode=$(ini_inode)
before=$(screen_hash)
for _ in 1 2 3; do driver key Kelvane2Adjust 0x27 down; done   # Right arrow, held: repeats
check "the arrow key moves the slider by three steps" wait_for 5 bash -c "[[ \$('$WINE' '$e2e_bin/kelvane_driver.exe' send Kelvane2Adjust 302 0x400 0 0 2>/dev/null | tr -d '\r') == 103 ]]"
check "the mirrored picture follows at once" wait_for 10 bash -c "[[ \"\$(import -window root -crop 700x370+0+0 -depth 8 rgb:- 2>/dev/null | md5sum | cut -c1-32)\" != '$before' ]]"
check "no settings write while the key is held" [ "$(ini_inode)" == "$inode" ]
driver key Kelvane2Adjust 0x27 up
check "releasing the key writes keystone_tb=0.03" wait_for 5 ini_has "keystone_tb=0.03"
inode=$(ini_inode)
# A message sent to the window is answered once it has finished with the key's release.
check "the slider stays three steps on" [ "$(driver send Kelvane2Adjust 302 0x400 0 0 | tr -d '\r')" == 103 ]
check "and writes it once" [ "$(ini_inode)" == "$inode" ]

driver key Kelvane2Adjust 0x1B down                            # Esc
check "Esc closes the window" driver wait-gone Kelvane2Adjust 10000
check "closing saved the settings" wait_for 5 bash -c "[[ \$(stat -c %i '$e2e_ini') != '$inode' ]]"
exit_kelvane
check "Exit ends with code 0" [ $? -eq 0 ]
finish
