#!/usr/bin/env bash
# Runs the tool under Wine in a throwaway prefix where the five keys are
# planted as a failed installation leaves them, and shows the keys before and
# after. With a display the user answers the boxes; without one the run goes
# on a virtual display, answers Yes, and saves a screenshot of each box.
#
# Usage: run-under-wine.sh BUILD_DIR     (BUILD_DIR holds porkado-recovery.exe and e2e_helper.exe)
set -euo pipefail

build=$(realpath "$1")
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
else
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
fi
export WINEPREFIX=$build/run-prefix LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
wine() { "$WINELOADER" "$@"; }
helper() { wine "$build/tests/e2e_helper.exe" "$@"; }
keys() { helper dump | head -n 5 | sed 's/ present .*/ present/; s/^/  /'; }

xvfb_pid=
cleanup() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    [[ -z $xvfb_pid ]] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

headless=
if [[ -z ${DISPLAY:-} ]]; then
    headless=yes
    exec {display_fd}<> <(:)
    Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r -u "$display_fd" number
    export DISPLAY=:$number
fi

echo "Preparing a Wine prefix ($WINEARCH) in $WINEPREFIX"
rm -rf "$WINEPREFIX"
wine wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
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
