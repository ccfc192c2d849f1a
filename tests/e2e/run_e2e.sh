#!/usr/bin/env bash
# Drives the real program under Xvfb the way a person would: creates a database in the
# connection dialog, opens an example document, names the tables and saves the definition;
# then starts the program again, connects to the remembered database, opens the definition,
# creates the tables, and checks the database file with sqlite3. Screenshots of each step go
# to the output folder.
set -euo pipefail

program=$1
examples=$2
out=$3
mkdir -p "$out"
rm -f "$out"/*.png

if [ -z "${QUORIX_E2E_INNER:-}" ]; then
    export QUORIX_E2E_INNER=1
    exec xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$0" "$@"
fi

# A real window on the X server, whatever the test run set for the widget tests.
export QT_QPA_PLATFORM=xcb
home=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$home"' EXIT
export HOME=$home
export XDG_CONFIG_HOME=$home/.config
db="$home/Book.mdb"
# The desktop's viewer: notes what it was given.
mkdir "$home/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" > "$HOME/viewed"\n' > "$home/bin/xdg-open"
chmod +x "$home/bin/xdg-open"
export PATH="$home/bin:$PATH"

fail() { echo "e2e: $*" >&2; import -window root "$out/failure.png" || true; exit 1; }
shot() { import -window root "$out/$1.png"; }

source "$(dirname "$0")/../../scripts/x-drive.sh"

# XMLを開く(&O) with examples/orders.xml, back in the main window afterwards.
open_orders() {
    xdotool key alt+o
    choose_file "XML文書を開く" "$examples/orders.xml"
}

# 終了 with unsaved changes: the question, キャンセル (Escape) keeps the window; then Ctrl+S
# saves the definition to FILE.qxd and 終了 ends without a question.
save_and_quit() {
    menu alt+f x
    focus "^Quorix$" > /dev/null
    shot "$2"
    xdotool key Escape
    back_to_main
    ended && fail "the program ended with unsaved changes"
    xdotool key ctrl+s
    choose_file "定義を保存" "$1"
    waitfor test -f "$1.qxd"
    menu alt+f x
    waitfor ended
}

"$program" &
pid=$!

focus "データベース接続情報" > /dev/null
shot 1-connect-dialog
xdotool key alt+d   # 新規作成(&D): creates Book.mdb in the home folder and connects
main=$(focus "Quorix\(")
[ -f "$db" ] || fail "the database file was not created"
shot 2-main-window

open_orders
shot 3-document-open

# ﾍﾙﾌﾟ(&H) → 使い方(&U) hands the guide beside the program to the desktop's viewer.
menu alt+h u
waitfor test -s "$home/viewed"
guide=$(realpath "$(dirname "$program")/../share/doc/quorix/guide/index.html")
[ "$(cat "$home/viewed")" = "$guide" ] || fail "the viewer was given '$(cat "$home/viewed")'"

# Click the 列名 cell of the first line, go to its 表名 cell, then walk down that column
# with the keyboard and type the table names.
xdotool mousemove --window "$main" 440 152 click 1
xdotool key End
name_line() {  # down N lines in the 表名 column, type the name
    for _ in $(seq 1 "$1"); do xdotool key Down; done
    xdotool type --delay 15 "$2"
    xdotool key Return
}
name_line 1 ORDERS_T      # ORDER_NO, level 1
name_line 4 ITEM_GROUP    # ITEM, level 2
name_line 1 ITEM_LINES    # LINE, level 3
shot 4-named

menu alt+f s   # ファイル(&F) → 定義を保存(&S)...
choose_file "定義を保存" "$home/orders"
waitfor test -f "$home/orders.qxd"
menu alt+f x   # 終了(&X)
waitfor ended

# Again: the dialog starts from the remembered database.
"$program" &
pid=$!
focus "データベース接続情報" > /dev/null
shot 5-remembered
xdotool key alt+o   # 接続(&O)
main=$(focus "Quorix\(")
menu alt+f l   # 定義を開く(&L)...
choose_file "定義を開く" "$home/orders.qxd"
shot 6-definition-open

xdotool key alt+t   # 作成(&T)
file_tables() { sqlite3 "$db" "SELECT group_concat(name, ' ') FROM sqlite_master WHERE type='table' ORDER BY rowid"; }
created() { [ -n "$(file_tables)" ]; }
waitfor created
shot 7-created

tables=$(file_tables)
[ "$tables" = "ORDERS_T ITEM_GROUP ITEM_LINES" ] || fail "tables are '$tables'"
cols=$(sqlite3 "$db" "SELECT group_concat(name || ':' || pk, ' ') FROM pragma_table_info('ITEM_LINES')")
[ "$cols" = "ITEMS:1 ITEM:2 LINE:3 SKU:0 QTY:0 NOTE:0" ] || fail "ITEM_LINES columns are '$cols'"
type=$(sqlite3 "$db" "SELECT type FROM pragma_table_info('ORDERS_T') WHERE name='ORDER_NO'")
[ "$type" = "INTEGER" ] || fail "ORDER_NO is '$type'"

# Load the rows: open the document again, link the nested keys, name the tables, load.
open_orders
menu alt+s k   # 設定(&S) → 入れ子の表をキーで結ぶ(&K)
menu alt+s n   # 設定(&S) → 表名を付ける(&N)
menu alt+f Right Right i  # ファイル(&F), 編集(&E), データベース(&B) → データを取り込む(&I)...
focus "データを取り込む" > /dev/null
xdotool key Return        # the open document
focus "^Quorix$" > /dev/null   # the question: create the tables first?
xdotool key Return
loaded() { [ "$(sqlite3 "$db" "SELECT count(*) FROM sqlite_master WHERE name = 'ITEM'")" = 1 ]; }
waitfor loaded
back_to_main
shot 8-loaded
rows=$(sqlite3 "$db" "SELECT group_concat(r.ORDER_NO || '/' || i.LINE || '/' || i.SKU, ' ') FROM ITEM i JOIN ROW r USING (ROW_ID)")
[ "$rows" = "20261201/1/P-1001 20261201/2/P-1002" ] || fail "loaded line items are '$rows'"
save_and_quit "$home/orders-linked" 9-save-question
grep -q "ITEM_ID" "$home/orders-linked.qxd" || fail "the saved definition lacks the generated key"
# The same road on a PostgreSQL server that this test starts on a socket of its own.
pgbin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
pg=$(mktemp -d)   # outside the home folder, which the server's user cannot enter
as=""
if [ "$(id -u)" -eq 0 ]; then chown postgres "$pg"; as="runuser -u postgres --"; fi
$as "$pgbin/initdb" -D "$pg/data" -A trust -U postgres -E UTF8 --locale=C --no-sync > /dev/null
$as "$pgbin/pg_ctl" -D "$pg/data" -l "$pg/log" -w -o "-k $pg -p 5432 -c listen_addresses=''" start > /dev/null
trap 'kill "$pid" 2>/dev/null || true; $as "$pgbin/pg_ctl" -D "$pg/data" -m immediate -w stop > /dev/null 2>&1 || true; rm -rf "$home" "$pg"' EXIT
source="host=$pg port=5432 user=postgres dbname=e2e_sales"

"$program" "$examples/orders.xml" &
pid=$!
focus "データベース接続情報" > /dev/null
xdotool key Tab Tab ctrl+a
xdotool type --delay 15 "PostgreSQL"
xdotool key Tab ctrl+a
xdotool type --delay 15 "$source"
shot 10-postgresql-dialog
xdotool key alt+d   # 新規作成(&D): creates the database on the server and connects
main=$(focus "Quorix\(")
shot 11-postgresql-main
xdotool mousemove --window "$main" 440 152 click 1
xdotool key End
name_line 1 ORDERS_T
name_line 4 ITEM_GROUP
name_line 1 ITEM_LINES
xdotool key alt+t   # 作成(&T)
psql() { command psql -X -q -At "host=$pg port=5432 user=postgres dbname=e2e_sales" -c "$1"; }
server_created() { [ "$(psql "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'")" != 0 ]; }
waitfor server_created
shot 12-postgresql-created
tables=$(psql "SELECT string_agg(tablename, ' ' ORDER BY tablename) FROM pg_tables WHERE schemaname = 'public'")
[ "$tables" = "ITEM_GROUP ITEM_LINES ORDERS_T" ] || fail "server tables are '$tables'"
key=$(psql "SELECT string_agg(a.attname, ' ' ORDER BY k.ord) FROM pg_constraint c CROSS JOIN LATERAL unnest(c.conkey) WITH ORDINALITY k(n, ord) JOIN pg_attribute a ON a.attrelid = c.conrelid AND a.attnum = k.n WHERE c.contype = 'p' AND c.conrelid = '\"ITEM_LINES\"'::regclass")
[ "$key" = "ITEMS ITEM LINE" ] || fail "ITEM_LINES key is '$key'"
back_to_main
save_and_quit "$home/orders-server" 13-postgresql-question

echo "1 passed, 0 failed"
