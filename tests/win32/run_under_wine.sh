#!/bin/sh
# Runs the cross-compiled Windows backend test under Wine.
# Usage: run_under_wine.sh EXE WINE WINESERVER PREFIX [CASE-FILTER]
# Exits 77 (skipped) when something it needs is missing.
exe=$1 wine=$2 wineserver=$3 prefix=$4
shift 4

skip() { echo "SKIP: $*"; exit 77; }
[ -n "$exe" ] && [ -f "$exe" ] || skip "no cross compiler (install g++-mingw-w64-x86-64)"
[ -n "$wine" ] && [ -x "$wine" ] || skip "wine not found (install wine and wine64)"
[ -n "$DISPLAY" ] || skip "no DISPLAY: Wine's user32 needs an X display (scripts/test starts one)"

# A prefix of our own, so nothing of the user's Wine set-up is touched; the
# first run creates it, which takes a while. Mono and Gecko are not needed
# and their installers must not pop up.
mkdir -p "$prefix" || exit 1
WINEPREFIX="$(cd "$prefix" && pwd)" # Wine wants an absolute path
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

"$wine" "$exe" "$@"
rc=$?
# Let this prefix's server end before the display goes away.
[ -n "$wineserver" ] && [ -x "$wineserver" ] && "$wineserver" -w
exit $rc
