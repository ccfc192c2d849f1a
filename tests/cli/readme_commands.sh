#!/usr/bin/env bash
# Runs the command lines of the README's command-line section as written, in a copy of
# examples/ with a home folder of its own, and checks what they made. Also checks that the
# README's definition file example is the beginning of examples/orders.qxd.
set -euo pipefail

readme=$1
cli_dir=$2
examples=$3

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home
export PATH="$cli_dir:$PATH"
cp -r "$examples" "$home/examples"
fail() { echo "readme: $*" >&2; exit 1; }

# The first fenced block after "## The command line".
commands=$(awk '/^## The command line/ {s = 1} s && /^```/ {if (b) exit; b = 1; next} b' "$readme")
[ -n "$commands" ] || fail "no command block found"
cd "$home/examples"
while IFS= read -r line; do
    [ -n "$line" ] || continue
    echo "\$ $line"
    bash -c "$line" > "$home/out" 2> "$home/err" || fail "failed: $line: $(cat "$home/err")"
done <<< "$commands"

rows=$(sqlite3 "$home/Orders.db" "SELECT group_concat(ORDER_NO || '/' || LINE || '/' || SKU, ' ') FROM ORDER_LINES")
[ "$rows" = "20261201/1/P-1001 20261201/2/P-1002" ] || fail "ORDER_LINES holds '$rows'"
[ -s "$home/my-orders.qxd" ] || fail "no definition of one's own was written"
grep -q 'CREATE TABLE `ORDERS`' "$home/out" || fail "the last command showed no SQL"
grep -q "mysql" "$home/err" || fail "no note on the moved types"

# Every non-ellipsis line of the definition example is a line of examples/orders.qxd.
example=$(awk '/^## Definition files/ {s = 1} s && /^```/ {if (b) exit; b = 1; next} b' "$readme")
while IFS= read -r line; do
    [ "$line" = "…" ] && continue
    grep -qxF -- "$line" "$examples/orders.qxd" || fail "not in orders.qxd: $line"
done <<< "$example"
echo "README commands ran as written"
