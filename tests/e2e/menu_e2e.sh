#!/usr/bin/env bash
# Kelvane2.exe black-box: the tray menu read back while it is open, each command chosen by its id,
# and the Adjust-warp window operated from outside (sliders dragged, check boxes, Reset, close box).
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$1"
needs_test_display

red=E03030
menu() { driver menu Kelvane2Msg 0x8001 1 0x205 | tr -d '\r'; }   # right button released on the icon
command() { driver post Kelvane2Msg 0x111 "$1" 0; }
adjust() { driver send Kelvane2Adjust "$@" | tr -d '\r'; }
ini_inode() { stat -c %i "$e2e_ini" 2>/dev/null; }
screen_hash() { import -window root -crop 1280x1024+0+0 -depth 8 rgb:- 2>/dev/null | md5sum | cut -c1-32; }
red_at() { wait_for 20 pixel_is "$1" "$2" "$red"; }

# The "Source" submenu lists the monitor that is not mirrored: DISPLAY1 while DISPLAY2 is mirrored
# (the automatic choice), DISPLAY2 while DISPLAY1 is. Its checks: This monitor, that one, Whole monitor.
other_line() { if (($3)); then echo "1|402|$2|DISPLAY2  1280x1024 @ (0,0)"; else echo "1|401|$2|DISPLAY1  1920x1080 @ (0,0)  [primary]"; fi; }
expected_menu() {
    local source=${7:-1 0 1}
    cat <<MENU
0|100|$1|Mirror active\tCtrl+Alt+M
0|-|-|---
0|0|0|Monitor
1|110|$2|Auto (topmost screen)
1|-|-|---
1|111|$3|DISPLAY1  1920x1080 @ (0,0)  [primary]
1|112|$4|DISPLAY2  1280x1024 @ (0,0)
0|0|0|Source
1|400|${source:0:1}|This monitor
1|-|-|---
$(other_line x "${source:2:1}" "$3")
1|-|-|---
1|398|0|Choose region...
1|399|${source:4:1}|Whole monitor
0|101|$5|Mirror horizontally
0|106|$6|Mirror vertically
0|102|0|Adjust warp...
0|107|0|Hotkey...
0|103|0|Reset warp
0|-|-|---
0|108|0|Start with Windows
0|-|-|---
0|104|0|Make apps like this with Orvendt...
0|105|0|Exit
MENU
}

fresh_data
check "Kelvane2.exe --pattern starts" start_kelvane --pattern
check "the mirror runs: red corner at the top-right" red_at 1270 10
check "menu: items, ids and check marks while running on the automatic choice" \
    [ "$(menu)" == "$(expected_menu 1 1 0 0 1 0)" ]

starts=$(log_count "start: mirroring DISPLAY2  1280x1024 @ (0,0)")
command 101
check "101 flips the horizontal mirror live: red at the top-left" red_at 10 10
check "101 saved mirror_h=0" wait_for 5 ini_has "mirror_h=0"
command 106
check "106 flips the vertical mirror live: red at the bottom-left" red_at 10 1014
check "106 saved mirror_v=1" wait_for 5 ini_has "mirror_v=1"
check "the flips did not restart the mirror" [ "$(log_count "start: mirroring DISPLAY2  1280x1024 @ (0,0)")" == "$starts" ]
check "menu: the axes' check marks follow" [ "$(menu)" == "$(expected_menu 1 1 0 0 0 1)" ]

# The Adjust-warp window: one only, centred on the monitor that is not mirrored (the primary).
command 102
check "102 opens the Adjust-warp window" driver wait-window Kelvane2Adjust 10000
command 102
menu >/dev/null   # queued behind the command: once it opens, the command has been handled
check "a second 102 opens no second window" [ "$(driver count Kelvane2Adjust | tr -d '\r')" == "1" ]
centred_on_primary() {
    local l t r b
    read -r l t r b < <(driver rect Kelvane2Adjust | tr -d '\r')
    (( (l + r) / 2 - 960 <= 1 && 960 - (l + r) / 2 <= 1 && (t + b) / 2 - 540 <= 1 && 540 - (t + b) / 2 <= 1 ))
}
check "the window is centred on the primary monitor" centred_on_primary
check "its horizontal check box shows the flipped axis" [ "$(adjust 301 0xF0 0 0)" == "0" ]

# Dragging the top/bottom keystone slider: the picture follows each step, the file is written once.
inode=$(ini_inode)
previous=$(screen_hash)
changes=0
for position in 120 140 160; do
    adjust 302 0x405 1 "$position" >/dev/null              # TBM_SETPOS
    driver hscroll Kelvane2Adjust 302 5 "$position"         # TB_THUMBTRACK
    if wait_for 10 bash -c "[[ \"\$(import -window root -crop 1280x1024+0+0 -depth 8 rgb:- 2>/dev/null | md5sum | cut -c1-32)\" != '$previous' ]]"; then
        changes=$((changes + 1))
    fi
    previous=$(screen_hash)
done
check "each drag step changes the mirrored picture" [ "$changes" -eq 3 ]
check "no settings write while dragging" [ "$(ini_inode)" == "$inode" ]
driver hscroll Kelvane2Adjust 302 8 160                     # TB_ENDTRACK
check "releasing the slider writes the file once" wait_for 5 ini_has "keystone_tb=0.6"
check "the label shows the value" [ "$(adjust 312 0x0E 0 0)" == "4" ]   # WM_GETTEXTLENGTH of "0.60"

# The rotation slider, released at once.
adjust 304 0x405 1 450 >/dev/null
driver hscroll Kelvane2Adjust 304 8 450
check "the rotation slider saves 45 degrees" wait_for 5 ini_has "rotation=45"

# Check boxes publish and save.
adjust 307 0xF5 0 0 >/dev/null                              # BM_CLICK on "Mirror vertically"
check "the vertical check box saves mirror_v=0" wait_for 5 ini_has "mirror_v=0"
# A flip from the tray menu shows in the open window at once.
command 101
check "a tray flip updates the window's check box" wait_for 5 bash -c "[[ \"\$('$WINE' '$e2e_bin/kelvane_driver.exe' send Kelvane2Adjust 301 0xF0 0 0 2>/dev/null | tr -d '\r')\" == 1 ]]"

# Reset in the window, then 103 from the menu: keystones and rotation go, the mirror flags stay.
adjust 305 0xF5 0 0 >/dev/null
check "Reset saves keystone_tb=0" wait_for 5 ini_has "keystone_tb=0"
check "Reset saves rotation=0" wait_for 5 ini_has "rotation=0"
check "Reset keeps mirror_h=1" ini_has "mirror_h=1"
adjust 303 0x405 1 50 >/dev/null
driver hscroll Kelvane2Adjust 303 8 50
check "the left/right slider saves -0.5" wait_for 5 ini_has "keystone_lr=-0.5"
command 103
check "103 resets keystone_lr" wait_for 5 ini_has "keystone_lr=0"
check "103 keeps mirror_h=1" ini_has "mirror_h=1"
check "103 keeps mirror_v=0" ini_has "mirror_v=0"
check "103 moves the open window's slider back to the middle" [ "$(adjust 303 0x400 0 0)" == "100" ]   # TBM_GETPOS

# Closing by the close box saves.
inode=$(ini_inode)
driver post Kelvane2Adjust 0x112 0xF060 0                   # WM_SYSCOMMAND, SC_CLOSE
check "the close box closes the window" driver wait-gone Kelvane2Adjust 10000
check "closing saved the settings" wait_for 5 bash -c "[[ \$(stat -c %i '$e2e_ini') != '$inode' ]]"

# Monitor commands restart the running mirror on the chosen monitor.
command 111
check "111 restarts the mirror on DISPLAY1" wait_for 20 log_has "overlay: created at (0,0) 1920x1080"
check "111 saved the monitor" wait_for 5 ini_has 'monitor=\\.\DISPLAY1'
check "111: the session built its renderer at DISPLAY1's size" wait_for 20 log_has "renderer: initialized 1920x1080"
check "menu: DISPLAY1 checked, Auto not" [ "$(menu)" == "$(expected_menu 1 0 1 0 1 0)" ]
# Lines of the command's own; the cursor-hiding attempt repeats its line while the pointer is on the mirror.
own_lines() { log_text | grep -vcxF "MagInitialize failed; system cursor will stay visible on the mirror"; }
lines=$(own_lines)
inode=$(ini_inode)
command 113
menu >/dev/null
check "113, past the listed monitors, does nothing" [ "$(own_lines)" -eq "$lines" ]
check "113 leaves the settings file alone" [ "$(ini_inode)" == "$inode" ]
command 110
check "110 restarts on the automatic choice" wait_for 20 bash -c "[[ \$(tr -d '\r' <'$e2e_log' | grep -c 'overlay: created at (0,0) 1280x1024') -ge 2 ]]"
check "110 saved an empty monitor" wait_for 5 ini_has "monitor="

# 100 toggles, and the menu's check mark follows.
command 100
check "100 stops the mirror" wait_for 20 bash -c "[[ \$(tr -d '\r' <'$e2e_log' | grep -c 'stop: mirror stopped') -ge 3 ]]"
check "100 saved active=0" wait_for 5 ini_has "active=0"
check "menu: Mirror active unchecked after the stop" [ "$(menu)" == "$(expected_menu 0 1 0 0 1 0)" ]

# The source: another monitor is saved and checked, and "This monitor" goes back to the mirrored one.
command 401
check "401 saves DISPLAY1 as the source" wait_for 5 ini_has 'source_monitor=\\.\DISPLAY1'
check "menu: the source DISPLAY1 checked, This monitor not" [ "$(menu)" == "$(expected_menu 0 1 0 0 1 0 "0 1 1")" ]
command 400
check "400 saves no source monitor" wait_for 5 ini_has "source_monitor="
check "menu: This monitor checked again" [ "$(menu)" == "$(expected_menu 0 1 0 0 1 0)" ]

exit_kelvane
code=$?
check "105 ends the process with code 0" [ "$code" -eq 0 ]
check "the last log line is the exit line" [ "$(last_log_line)" == "Kelvane2 exiting (0)" ]
finish
