#!/usr/bin/env bash
# Runs the command lines that the documents show as written (the command-line section of
# both READMEs, the EXAMPLES of both manual pages of quorix-cli, as man shows them), each
# document's in a copy of examples/ with a home folder of its own, and checks what they made.
# Also checks that the README's definition file example is the beginning of
# examples/orders.qxd.
#   doc_commands.sh CLI_DIR EXAMPLES DOCUMENT...
set -euo pipefail

cli_dir=$1
examples=$2
shift 2
export PATH="$cli_dir:$PATH"
fail() { echo "doc_commands: $*" >&2; exit 1; }

# The first fenced block after the heading HEADING of a Markdown file.
fenced() { awk -v h="$2" '$0 == h {s = 1} s && /^```/ {if (b) exit; b = 1; next} b' "$1"; }

commands_of() {
    case $1 in
        *README.md) fenced "$1" "## The command line" ;;
        *README.ja.md) fenced "$1" "## コマンドライン" ;;
        *.1) # The lines of quorix-cli in the rendered section EXAMPLES (例 in Japanese).
            MANWIDTH=200 man -l "$1" 2> /dev/null |
                awk '/^(EXAMPLES|例)$/ {s = 1; next} /^[^ ]/ {s = 0} s' |
                sed -n 's/^ *\(quorix-cli .*\)$/\1/p' ;;
        *) fail "no commands known in $1" ;;
    esac
}

for doc in "$@"; do
    commands=$(commands_of "$doc")
    [ -n "$commands" ] || fail "no commands found in $doc"
    home=$(mktemp -d)
    export HOME=$home
    cp -r "$examples" "$home/examples"
    (
        cd "$home/examples"
        while IFS= read -r line; do
            [ -n "$line" ] || continue
            echo "$(basename "$doc") \$ $line"
            bash -c "$line" > "$home/out" 2> "$home/err" ||
                fail "$doc: failed: $line: $(cat "$home/err")"
        done <<< "$commands"
    )
    rows=$(sqlite3 "$home/Orders.db" "SELECT group_concat(ORDER_NO || '/' || LINE || '/' || SKU, ' ') FROM ORDER_LINES")
    [ "$rows" = "20261201/1/P-1001 20261201/2/P-1002" ] || fail "$doc: ORDER_LINES holds '$rows'"
    [ -s "$home/my-orders.qxd" ] || fail "$doc: no definition of one's own was written"
    # November's export, then December's as an update: order 1001 is December's, 1002 stays.
    deliveries=$(sqlite3 "$home/Sales.db" "SELECT group_concat(d, ' ') FROM (SELECT ORDER_NO || '/' || LINE_NO || '/' || DELIVERY_NO AS d FROM DELIVERIES ORDER BY 1)")
    [ "$deliveries" = "1001/1/3 1002/1/1 1003/1/1" ] || fail "$doc: DELIVERIES holds '$deliveries'"
    # The tables written back out: order 1001's delivery 3 inside its line inside its order.
    grep -q "<ROW><ORDER_NO>1001</ORDER_NO><LINES><LINE><LINE_NO>1</LINE_NO><DELIVERIES><DELIVERY><DELIVERY_NO>3</DELIVERY_NO>" "$home/sales-back.xml" ||
        fail "$doc: sales-back.xml is not the tables' document"
    grep -q 'CREATE TABLE `ORDERS`' "$home/out" || fail "$doc: the last command showed no SQL"
    grep -q "mysql" "$home/err" || fail "$doc: no note on the moved types"
    if [[ "$doc" == *.md ]]; then
        # The document with attributes and two child tables, straight from analyse.
        authors=$(sqlite3 "$home/Library.db" "SELECT group_concat(r.id || '/' || a.role || '/' || a.NAME, ' ') FROM AUTHOR a JOIN \"ROW\" r USING (ROW_ID)")
        [ "$authors" = "B-1001/著/佐藤 花子 B-1001/監修/鈴木 一郎 B-1002/author/Jane Doe" ] ||
            fail "$doc: AUTHOR holds '$authors'"
    fi
    rm -rf "$home"

    [[ "$doc" == *README.md ]] || continue
    # Every non-ellipsis line of the definition example is a line of examples/orders.qxd.
    while IFS= read -r line; do
        [ "$line" = "…" ] && continue
        grep -qxF -- "$line" "$examples/orders.qxd" || fail "not in orders.qxd: $line"
    done < <(fenced "$doc" "## Definition files")
done
echo "the documents' commands ran as written"
