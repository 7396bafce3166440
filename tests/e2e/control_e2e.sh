#!/usr/bin/env bash
# Kelvane2.exe black-box: --send to the running copy and with none running, a hotkey chosen in the
# settings file and in the Hotkey window (one refused because another process holds it), and "Start
# with Windows" read back from the registry.
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$1"

send() { "$WINE" "$e2e_bin/Kelvane2.exe" --send "$@" 2>/dev/null; }
command() { driver post Kelvane2Msg 0x111 "$1" 0; }
starts() { log_text | grep -c '^start: mirroring'; }
stops() { log_count "stop: mirror stopped"; }
# The check mark of "Start with Windows" in the menu as it opens.
start_item() { driver menu Kelvane2Msg 0x8001 1 0x205 | tr -d '\r' | grep -F '|108|' | cut -d'|' -f3; }
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
approved_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
# The Run value (paths compared ignoring case), or "absent"; whether the StartupApproved record is there.
run_value_is() {
    local value
    value=$("$WINE" reg query "$run_key" /v Kelvane2 2>/dev/null | tr -d '\r' | grep -F REG_SZ | grep -o '".*"')
    [[ "${value:-absent}" == "${1,,}" || "${value,,}" == "${1,,}" ]]
}
approved_record_gone() { ! "$WINE" reg query "$approved_key" /v Kelvane2 >/dev/null 2>&1; }
count_is() { [ "$("$2")" -eq "$1" ]; }
hotkey_set() {   # HKM_SETHOTKEY in the Hotkey window, then OK
    driver send Kelvane2Hotkey 402 0x401 "$1" 0 >/dev/null
    driver send Kelvane2Hotkey 1 0xF5 0 0 >/dev/null
}

fresh_data
"$WINE" reg delete "$run_key" /v Kelvane2 /f >/dev/null 2>&1
"$WINE" reg delete "$approved_key" /v Kelvane2 /f >/dev/null 2>&1
send off
check "--send off with no copy running exits 3" [ $? -eq 3 ]
send bogus
check "--send bogus exits 4" [ $? -eq 4 ]
send
check "--send with no command exits 4" [ $? -eq 4 ]
check "no copy was started by them" [ "$(driver count Kelvane2Msg | tr -d '\r')" == "0" ]

printf 'active=0\r\nkeystone_tb=0.5\r\nhotkey=Ctrl+Shift+F9\r\n' >"$e2e_ini"
"$WINE" "$e2e_bin/Kelvane2.exe" --send on --pattern 2>/dev/null &
kelvane_pid=$!
e2e_pids+=("$kelvane_pid")
check "--send on with no copy running starts one" driver wait-window Kelvane2Msg 30000
check "... with the mirror on" wait_for 20 count_is 1 starts

# Each command to the running copy: exit 0, its line, and what the menu command changes.
sent() {   # sent COMMAND CHECK...: sends, expects exit 0 and the command's line, then the checks
    local command=$1 rc=0
    shift
    send "$command" || rc=$?
    [ "$rc" -eq 0 ] && wait_for 10 log_has "control: $command" && wait_for 10 "$@"
}
check "--send off: mirror stopped, active=0" sent off eval '[ "$(stops)" -eq 1 ] && ini_has "active=0"'
check "--send on: mirror started, active=1" sent on eval '[ "$(starts)" -eq 2 ] && ini_has "active=1"'
check "--send toggle: mirror stopped, active=0" sent toggle eval '[ "$(stops)" -eq 2 ] && ini_has "active=0"'
check "--send mirror-h: mirror_h=0" sent mirror-h ini_has "mirror_h=0"
check "--send mirror-v: mirror_v=1" sent mirror-v ini_has "mirror_v=1"
check "--send reset-warp: keystone_tb=0" sent reset-warp ini_has "keystone_tb=0"
check "--send adjust: the Adjust-warp window opens" sent adjust driver wait-window Kelvane2Adjust 10000
driver post Kelvane2Adjust 0x10 0 0   # WM_CLOSE

# The hotkey from settings.ini; Ctrl+Alt+P is held by the focus process.
driver focus 120000 3 0x50 &
e2e_pids+=($!)
check "a Wine window holds the keyboard focus" wait_for 20 xdotool search --name '^focus$' windowfocus --sync
xdotool key ctrl+shift+F9
check "Ctrl+Shift+F9 from settings.ini starts the mirror" wait_for 20 count_is 3 starts
xdotool key ctrl+alt+m
sleep 2
check "Ctrl+Alt+M does nothing then" [ "$(stops)" -eq 2 ]

command 107
check "107 opens the Hotkey window" driver wait-window Kelvane2Hotkey 10000
check "its controls and texts fit at the display's DPI" driver layout Kelvane2Hotkey
check "the hotkey control has the keyboard focus" [ "$(driver focus-id Kelvane2Hotkey | tr -d '\r')" == 402 ]
driver key Kelvane2Hotkey 0x1B down   # Esc
check "Esc closes it" driver wait-gone Kelvane2Hotkey 10000
command 107
driver wait-window Kelvane2Hotkey 10000
hotkey_set 0x0650   # Ctrl+Alt+P
check "a held combination is refused with the reason logged" \
    wait_for 10 log_has "hotkey: Ctrl+Alt+P refused by the system, keeping Ctrl+Shift+F9"
check "... the window stays open and says so" [ "$(driver send Kelvane2Hotkey 404 0x0E 0 0 | tr -d '\r')" -gt 0 ]
check "... the settings keep the old hotkey" ini_has "hotkey=Ctrl+Shift+F9"
xdotool key ctrl+shift+F9
check "... which still works" wait_for 20 count_is 3 stops
hotkey_set 0x064B   # Ctrl+Alt+K
check "a free combination closes the window" driver wait-gone Kelvane2Hotkey 10000
check "... and is saved" wait_for 5 ini_has "hotkey=Ctrl+Alt+K"
xdotool key ctrl+alt+k
check "... and works" wait_for 20 count_is 4 starts
message_length() { driver send Kelvane2Hotkey 404 0x0E 0 0 | tr -d '\r'; }   # WM_GETTEXTLENGTH
command 107
driver wait-window Kelvane2Hotkey 10000
check "AltGr+K types nothing on a US keyboard: no warning" [ "$(message_length)" == 0 ]
driver send Kelvane2Hotkey 2 0xF5 0 0 >/dev/null   # Cancel

# Start with Windows.
exe=$("$WINE" winepath -w "$e2e_bin/Kelvane2.exe" 2>/dev/null | tr -d '\r')
check "Start with Windows unchecked at first" [ "$(start_item)" == "0" ]
command 108
check "checking it writes the quoted path" wait_for 5 run_value_is "\"$exe\""
check "... and the menu shows it checked" [ "$(start_item)" == "1" ]
"$WINE" reg add "$approved_key" /v Kelvane2 /t REG_BINARY /d 030000001779BD0117D9D101 /f >/dev/null 2>&1
check "a StartupApproved disabled record shows as unchecked" [ "$(start_item)" == "0" ]
command 108
check "checking again clears that record" wait_for 5 approved_record_gone
check "... and shows checked" [ "$(start_item)" == "1" ]
"$WINE" reg add "$run_key" /v Kelvane2 /t REG_SZ /d '"C:\other\Kelvane2.exe"' /f >/dev/null 2>&1
check "a value naming another path shows as unchecked" [ "$(start_item)" == "0" ]
command 108
check "... and checking it rewrites it" wait_for 5 run_value_is "\"$exe\""
command 108
check "unchecking removes the value" wait_for 5 run_value_is absent

check "--send exit: exit 0" sent exit true
code=0
wait "$kelvane_pid" || code=$?
check "the running copy ended with 0" [ "$code" -eq 0 ]
check "its last line is the exit line" [ "$(last_log_line)" == "Kelvane2 exiting (0)" ]

# On a German keyboard AltGr+Q types @: the Hotkey window warns about Ctrl+Alt+Q.
setxkbmap de
trap 'setxkbmap us; e2e_cleanup' EXIT   # the display is shared with the scripts after this one
printf 'active=0\r\nhotkey=Ctrl+Alt+Q\r\n' >"$e2e_ini"
start_kelvane
command 107
driver wait-window Kelvane2Hotkey 10000
check "German layout: Ctrl+Alt+Q comes with a warning" [ "$(message_length)" -gt 0 ]
setxkbmap us
check "the copy ends on --send exit" sent exit true
finish
