#!/bin/sh
# The apt configuration scripts/windows fetches Qt's source with must be its
# own: what apt makes of it names only the private folders, and none of the
# system's apt.conf.d lines (an update hook, a Dir::State::Lists of its own)
# comes through. Usage: check_private_apt.sh SOURCE_DIR
set -eu
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/scripts/windows" --apt-config "$work"
apt="$work/apt"
dump=$(APT_CONFIG="$apt/apt.conf" apt-config dump)
fail=0
expect() { # KEY VALUE: apt's value of KEY must be VALUE
    got=$(printf '%s\n' "$dump" | sed -n "s|^$1 \"\(.*\)\";\$|\1|p" | head -n 1)
    if [ "$got" != "$2" ]; then
        echo "FAIL: $1 is \"$got\", expected \"$2\""
        fail=1
    fi
}
expect 'Dir::Etc::parts' "$apt/apt.conf.d"
expect 'Dir::Etc::main' '/dev/null'
expect 'Dir::State::lists' "$apt/lists"
if [ -n "$(ls -A "$apt/apt.conf.d")" ]; then
    echo "FAIL: $apt/apt.conf.d is not empty"
    fail=1
fi
hooks=$(printf '%s\n' "$dump" | grep -i 'invoke' || true)
if [ -n "$hooks" ]; then
    echo "FAIL: hooks of the system reach the private configuration:"
    printf '%s\n' "$hooks"
    fail=1
fi
[ "$fail" = 0 ] && echo "PASS: the private apt configuration reads nothing of the system's"
exit "$fail"
