#!/usr/bin/env bash
# Runs the tool under Wine in a throwaway prefix where the five keys are
# planted as a failed installation leaves them, and shows the keys before and
# after. With a display the user answers the boxes; without one the run goes
# on a virtual display, answers Yes, and saves a screenshot of each box.
#
# Usage: run-under-wine.sh WINDOWS_BUILD_DIR WINDOWS_X64_BUILD_DIR
set -euo pipefail

source "$(dirname "$0")/wine-session.sh"
wine_session "$1" "$2" run-prefix
echo "Running under $(wine --version) ($WINEARCH) in $WINEPREFIX"
helper() { wine "$build/tests/e2e_helper.exe" "$@"; }
key_names=(
    ''
    'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\ﾌﾟﾛｸﾞﾗﾑ(&P)\ﾎﾟﾙｶﾄﾞｰﾘｵ'
    'HKEY_LOCAL_MACHINE\SOFTWARE\TAVRO\ﾎﾟﾙｶﾄﾞｰﾘｵ'
    'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ﾎﾟﾙｶﾄﾞｰﾘｵ'
    'HKEY_USERS\.Default\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\ﾌﾟﾛｸﾞﾗﾑ(&P)\ﾎﾟﾙｶﾄﾞｰﾘｵ'
    'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\App Paths\porkado.exe'
)
keys() {
    helper dump | head -n 5 | while read -r label state _; do
        printf '  %-7s %s\n' "$state" "${key_names[${label#row}]}"
    done
}

helper plant five
echo "The five keys before the run:"
keys

tool=$build/porkado-recovery.exe
if [[ -z $headless ]]; then
    echo "Running $tool: answer its boxes."
    wine "$tool" && status=0 || status=$?
else
    shots=$build/screenshots
    rm -rf "$shots" && mkdir -p "$shots"
    echo "Running $tool on a virtual display, answering Yes."
    wine "$tool" & tool_pid=$!
    button=6  # Yes to the question, OK to every box after it
    for box in 1 2 3 4 5 6 7; do
        kill -0 "$tool_pid" 2>/dev/null || break
        helper answer 0 >/dev/null || break
        import -window root "$shots/box-$box.png"
        convert "$shots/box-$box.png" -trim +repage "$shots/box-$box.png"
        echo "  box $box: $shots/box-$box.png"
        helper answer "$button" >/dev/null
        button=1
    done
    wait "$tool_pid" && status=0 || status=$?
fi
echo "The tool ended with status $status. The five keys after the run:"
keys
