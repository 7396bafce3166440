#!/usr/bin/env bash
# Kelvane2.exe black-box: Ctrl+Alt+M typed on the X display and the tray double-click switch the mirror
# on and off (log, screenshots, settings file); other hotkey ids and tray messages do nothing; Exit
# ends the process with code 0.
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$1"
needs_test_display

red=E03030            # the pattern's top-left corner square
corner_x=1270         # top-right corner of the mirrored monitor (1280x1024 at the origin)
corner_y=10
mirror_on=(wait_for 20 pixel_is "$corner_x" "$corner_y" "$red")
mirror_off=(wait_for 20 pixel_is_not "$corner_x" "$corner_y" "$red")

fresh_data
printf 'active=0\r\n' >"$e2e_ini"
check "Kelvane2.exe --pattern starts with its control window" start_kelvane --pattern
check "the saved inactive mirror stays off" "${mirror_off[@]}"

# Wine passes X keys only to a focused Wine window; another Wine process may hold that focus.
driver focus 120000 &
e2e_pids+=($!)
# With no window manager on the display, the X focus is handed to that window explicitly.
check "a Wine window holds the keyboard focus" wait_for 20 xdotool search --name '^focus$' windowfocus --sync

xdotool key ctrl+alt+m
check "hotkey: mirror started" wait_for 20 log_has "start: mirroring DISPLAY2  1280x1024 @ (0,0)"
check "hotkey: the mirrored pattern shows red at the top-right" "${mirror_on[@]}"
check "hotkey: active=1 saved" wait_for 5 ini_has "active=1"

xdotool key ctrl+alt+m
check "hotkey again: mirror stopped" wait_for 20 log_has "stop: mirror stopped"
check "hotkey again: the overlay is gone from the screen" "${mirror_off[@]}"
check "hotkey again: active=0 saved" wait_for 5 ini_has "active=0"

driver post Kelvane2Msg 0x8001 1 0x203   # tray icon: WM_LBUTTONDBLCLK
check "tray double-click: mirror started again" wait_for 20 log_count_is 2 "start: mirroring DISPLAY2  1280x1024 @ (0,0)"
check "tray double-click: pattern on screen" "${mirror_on[@]}"
check "tray double-click: active=1 saved" wait_for 5 ini_has "active=1"
driver post Kelvane2Msg 0x8001 1 0x203
check "tray double-click again: mirror stopped" wait_for 20 log_count_is 2 "stop: mirror stopped"
check "tray double-click again: overlay gone" "${mirror_off[@]}"
check "tray double-click again: active=0 saved" wait_for 5 ini_has "active=0"

# Neither another hotkey id nor other mouse messages of the tray icon do anything.
lines_before=$(log_text | wc -l)
driver post Kelvane2Msg 0x312 2 0       # WM_HOTKEY, id 2
driver post Kelvane2Msg 0x8001 1 0x201  # WM_LBUTTONDOWN
driver post Kelvane2Msg 0x8001 1 0x202  # WM_LBUTTONUP
driver post Kelvane2Msg 0x8001 1 0x200  # WM_MOUSEMOVE
# The tray menu, opened by a message queued behind them, shows that they have all been handled.
menu_opens() { driver menu Kelvane2Msg 0x8001 1 0x205 >/dev/null; }
check "ignored messages: handled before the tray menu opens" menu_opens
check "ignored messages: no new log line" [ "$(log_text | wc -l)" -eq "$lines_before" ]
check "ignored messages: mirror still off" pixel_is_not "$corner_x" "$corner_y" "$red"
check "ignored messages: active=0 kept" ini_has "active=0"

exit_kelvane
code=$?
check "Exit ends the process with code 0" [ "$code" -eq 0 ]
check "the last log line is the exit line" [ "$(last_log_line)" == "Kelvane2 exiting (0)" ]
check "the settings file is written" ini_has "active=0"
finish
