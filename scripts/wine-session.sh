# Sourced by the scripts that run the tool under Wine: picks the build this
# machine's Wine can run, makes a fresh prefix and, without a display (or when
# asked), a virtual one. Everything it starts ends with the calling script.
#
#   wine_session WINDOWS_BUILD_DIR WINDOWS_X64_BUILD_DIR PREFIX_NAME [virtual]
# sets: build (the chosen build directory), headless (yes when on Xvfb)

wine() { "$WINELOADER" "$@"; }

wine_session_end() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    [[ -z ${xvfb_pid:-} ]] || kill "$xvfb_pid" 2>/dev/null || true
}

# Where the kernel runs no 32-bit code, the 64-bit build of the same sources
# stands in for the 32-bit executable.
#   pick_wine_build WINDOWS_BUILD_DIR WINDOWS_X64_BUILD_DIR
# sets: build, WINEARCH, WINELOADER
pick_wine_build() {
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        build=$(realpath "$1")
        export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
    else
        build=$(realpath "$2")
        export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    fi
}

wine_session() {
    pick_wine_build "$1" "$2"
    export WINEPREFIX=$build/$3 LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
    trap wine_session_end EXIT

    headless=
    if [[ -z ${DISPLAY:-} || ${4:-} == virtual ]]; then
        headless=yes
        local display_fd number
        exec {display_fd}<> <(:)
        Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        read -r -u "$display_fd" number
        export DISPLAY=:$number
    fi

    # A copy of the end-to-end tests' base prefix (made here if missing), its
    # drive_c shared by hard links: a few megabytes instead of a whole Wine
    # tree per prefix. The base already tells Wine that no window manager runs.
    /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/../tests/wine/test_end_to_end.py" \
        --copy-of-base-prefix "$WINEPREFIX" "$build/wine" --loader "$WINELOADER" --arch "$WINEARCH"
}
