#!/usr/bin/env bash
# Runs every benchmark against its reference in the same run and prints the ratios.
#   bench/run_all.sh BUILD_DIR [xml|generation|catalog|postgresql|mariadb ...]
set -euo pipefail
build=${1:-build}
shift || true
which=${*:-xml generation catalog postgresql load load-postgresql mariadb load-mariadb reload reload-postgresql reload-mariadb shapes export rows-view}
bin=$build/bench
work=$build/bench-data
mkdir -p "$work"
measure() { "$bin/bench_measure" "$@"; }
# Best of N runs: "seconds kib".
best_of() {
    local n=$1 best_t="" best_m=""
    shift
    for _ in $(seq "$n"); do
        read -r t m s < <(measure "$@")
        [ "$s" = 0 ] || { echo "failed: $*" >&2; exit 1; }
        if [ -z "$best_t" ] || awk "BEGIN{exit !($t < $best_t)}"; then best_t=$t; fi
        if [ -z "$best_m" ] || [ "$m" -lt "$best_m" ]; then best_m=$m; fi
    done
    echo "$best_t $best_m"
}
best() { best_of 5 "$@"; }
ratio() { awk "BEGIN{printf \"%.2f\", $1 / ($2 > 0 ? $2 : 0.001)}"; }

# Servers of the benchmark's own (start_pg, start_my, ...), stopped however the run ends.
source "$(dirname "$0")/../tests/support/servers.sh"
trap stop_servers EXIT
# The reference for the tree's names: psql listing the tables of the search path from pg_class.
pg_names="SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.relkind IN ('r', 'p') AND n.nspname = ANY (current_schemas(false)) ORDER BY 1"

for w in $which; do
case $w in
shapes)
    # Typed documents of both shapes on every engine, and the analysis (SHAPE_ROWS etc.).
    "$(dirname "$0")/shapes.sh" "$build"
    ;;
export)
    "$(dirname "$0")/export.sh" "$build"
    ;;
rows-view)
    "$(dirname "$0")/rows_view.sh" "$build"
    ;;
load-postgresql)
    echo "Load of a nested document into new tables on PostgreSQL (COPY, one transaction) against"
    echo "psql creating the same tables and loading the same rows from per-table CSV files with"
    echo "\\copy in one transaction"
    start_pg
    cli=$build/src/quorix-cli
    printf "%-10s %10s %10s %8s %12s %12s %10s\n" rows "ours s" "psql s" ratio "ours KiB" "records/s" "MB/s"
    for rows in ${LOAD_ROWS:-1000000}; do
        d=$work/pgload_$rows
        rm -rf "$d"; mkdir -p "$d"; chmod 755 "$d"
        "$bin/bench_loading" prepare "$rows" "$d" postgresql
        # The reference's input: the same rows, exported table by table from a load of ours.
        fresh pgsrc
        "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$(src pgsrc)" --create > /dev/null
        "$cli" sql "$d/doc.qxd" | grep -v '^COMMIT;' > "$d/import.sql"
        for t in $(psql -X -At "$(src pgsrc)" -c "SELECT tablename FROM pg_tables WHERE schemaname = 'public'"); do
            psql -X -q "$(src pgsrc)" -c "\\copy \"$t\" TO '$d/$t.csv' CSV"
            echo "\\copy \"$t\" FROM '$d/$t.csv' CSV" >> "$d/import.sql"
        done
        echo "COMMIT;" >> "$d/import.sql"
        records=$(psql -X -At "$(src pgsrc)" -c "SELECT (SELECT count(*) FROM \"ROW\") + (SELECT count(*) FROM \"PRICE\")")
        mb=$(ls -l "$d/doc.xml" | awk '{print $5/1e6}')
        ours=() oursm=() ref=()
        for i in 1 2 3; do
            fresh pgours; fresh pgref
            read -r t m s < <(measure "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$(src pgours)" --create); ours+=("$t"); oursm+=("$m")
            read -r r _ s < <(measure psql -X -q -v ON_ERROR_STOP=1 "$(src pgref)" -f "$d/import.sql"); ref+=("$r")
        done
        ot=$(printf "%s\n" "${ours[@]}" | sort -n | head -1)
        om=$(printf "%s\n" "${oursm[@]}" | sort -n | tail -1)
        rt=$(printf "%s\n" "${ref[@]}" | sort -n | head -1)
        printf "%-10s %10s %10s %8s %12s %12.0f %10.1f\n" "$rows" "$ot" "$rt" "$(ratio "$ot" "$rt")" "$om" "$(awk "BEGIN{print $records / $ot}")" "$(awk "BEGIN{print $mb / $ot}")"
        rm -rf "$d"
    done
    # Row by row, for scale (INSERT per row, as a load that skips refused rows does).
    d=$work/pgload_rows; rm -rf "$d"; mkdir -p "$d"
    "$bin/bench_loading" prepare 100000 "$d" postgresql
    fresh pgrows
    read -r t _ s < <(measure "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$(src pgrows)" --create --reject "$d/rejects.tsv")
    fresh pgrows
    read -r c _ s < <(measure "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$(src pgrows)" --create)
    echo "100000 rows row by row (INSERT): ${t}s; through COPY: ${c}s"
    rm -rf "$d"
    stop_pg
    ;;
mariadb)
    start_my
    echo "Create command on MariaDB (500 tables x 20 columns, made in a staging database and moved"
    echo "in with one RENAME) against the mariadb client running the same DDL"
    "$bin/bench_generation" sql-my "$work/generation_my.sql"
    ours=() ref=()
    for i in 1 2 3; do
        myfresh gen_ours; myfresh gen_ref
        read -r t _ s < <(measure "$bin/bench_generation" create-my "$(mysrc gen_ours)"); ours+=("$t")
        read -r r _ s < <(measure sh -c "mariadb --no-defaults -u root --socket='$my/sock' gen_ref < '$work/generation_my.sql'"); ref+=("$r")
    done
    ot=$(printf "%s\n" "${ours[@]}" | sort -n | head -1)
    rt=$(printf "%s\n" "${ref[@]}" | sort -n | head -1)
    n=$(mysql_run "" "SELECT count(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'gen_ours'")
    echo "tables created: $n; ours ${ot}s, mariadb ${rt}s, ratio $(ratio "$ot" "$rt")"
    stop_my
    ;;
load-mariadb)
    echo "Load of a nested document into new tables on MariaDB (staging tables, multi-row INSERT,"
    echo "one transaction, one RENAME) against the mariadb client creating the same tables and"
    echo "loading the same rows with LOAD DATA LOCAL INFILE from per-table files in one transaction"
    start_my
    cli=$build/src/quorix-cli
    printf "%-10s %10s %10s %8s %12s %12s\n" rows "ours s" "mariadb s" ratio "ours KiB" "records/s"
    for rows in ${LOAD_ROWS:-1000000}; do
        d=$work/myload_$rows
        rm -rf "$d"; mkdir -p "$d"; chmod 755 "$d"
        "$bin/bench_loading" prepare "$rows" "$d" mysql
        myfresh mysrc_db
        "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$(mysrc mysrc_db)" --user root --create > /dev/null
        "$cli" sql "$d/doc.qxd" | grep -v '^COMMIT;' | grep -v '^BEGIN;' > "$d/import.sql"
        echo "SET autocommit = 0;" >> "$d/import.sql"
        for t in $(mysql_run mysrc_db "SHOW TABLES"); do
            rm -f "$my/$t.tsv"
            mysql_run mysrc_db "SELECT * FROM \`$t\` INTO OUTFILE '$my/$t.tsv'"
            echo "LOAD DATA LOCAL INFILE '$my/$t.tsv' INTO TABLE \`$t\`;" >> "$d/import.sql"
        done
        echo "COMMIT;" >> "$d/import.sql"
        records=$(mysql_run mysrc_db "SELECT (SELECT count(*) FROM \`ROW\`) + (SELECT count(*) FROM PRICE)")
        ours=() oursm=() ref=()
        for i in 1 2 3; do
            myfresh myours; myfresh myref
            read -r t m s < <(measure "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$(mysrc myours)" --user root --create); ours+=("$t"); oursm+=("$m")
            read -r r _ s < <(measure sh -c "mariadb --no-defaults -u root --socket='$my/sock' --local-infile=1 myref < '$d/import.sql'"); ref+=("$r")
        done
        ot=$(printf "%s\n" "${ours[@]}" | sort -n | head -1)
        om=$(printf "%s\n" "${oursm[@]}" | sort -n | tail -1)
        rt=$(printf "%s\n" "${ref[@]}" | sort -n | head -1)
        same=$(mysql_run "" "CHECKSUM TABLE myours.PRICE, myref.PRICE" | awk '{print $2}' | uniq | wc -l)
        printf "%-10s %10s %10s %8s %12s %12.0f  (same rows: %s)\n" "$rows" "$ot" "$rt" "$(ratio "$ot" "$rt")" "$om" "$(awk "BEGIN{print $records / $ot}")" "$([ "$same" = 1 ] && echo yes || echo NO)"
        rm -rf "$d"
    done
    stop_my
    ;;
load)
    echo "Load of a nested document into a new SQLite file (tables created, one transaction)"
    echo "against sqlite3 creating the same tables and importing the same rows from per-table"
    echo "CSV files (.import) in one transaction"
    printf "%-10s %10s %10s %8s %12s %12s %12s\n" rows "ours s" "sqlite3 s" ratio "ours KiB" "rows/s" "records"
    for rows in ${LOAD_ROWS:-1000000}; do
        d=$work/load_$rows
        rm -rf "$d"; mkdir -p "$d"
        "$bin/bench_loading" prepare "$rows" "$d"
        sqlite3 "$d/empty.db" "PRAGMA user_version=1"
        # The reference's input: the same rows, exported table by table from a load of ours.
        cp "$d/empty.db" "$d/src.db"
        "$build/src/quorix-cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$d/src.db" --create > /dev/null
        sqlite3 "$d/src.db" .schema | grep -v "TABLE sqlite_sequence" > "$d/import.sql"
        echo "BEGIN;" >> "$d/import.sql"
        for t in $(sqlite3 "$d/src.db" "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"); do
            sqlite3 -csv "$d/src.db" "SELECT * FROM \"$t\"" > "$d/$t.csv"
            echo ".import --csv $d/$t.csv $t" >> "$d/import.sql"
        done
        echo "COMMIT;" >> "$d/import.sql"
        records=$(sqlite3 "$d/src.db" "SELECT (SELECT count(*) FROM \"ROW\") + (SELECT count(*) FROM PRICE)")
        rm -f "$d/src.db"
        n=3; [ "$rows" -ge 10000000 ] && n=1
        read -r ot om < <(best_of "$n" sh -c "cp '$d/empty.db' '$d/ours.db' && '$build/src/quorix-cli' load '$d/doc.qxd' '$d/doc.xml' --data-source '$d/ours.db' --create")
        read -r rt rm < <(best_of "$n" sh -c "cp '$d/empty.db' '$d/ref.db' && sqlite3 '$d/ref.db' '.read $d/import.sql'")
        printf "%-10s %10s %10s %8s %12s %12.0f %12s\n" "$rows" "$ot" "$rt" "$(ratio "$ot" "$rt")" "$om" "$(awk "BEGIN{print $records / $ot}")" "$records"
        [ "$rows" -ge 1000000 ] && rm -rf "$d"
    done
    ;;
reload)
    echo "Second load of a month's orders into a SQLite file holding the month before (half of the"
    echo "orders there, three lines each), by key: update (the lines of an updated order replaced)"
    echo "and replace, against sqlite3 importing the same rows from CSV files (.import) into work"
    echo "tables and running INSERT ... ON CONFLICT DO UPDATE and the DELETE of the replaced lines,"
    echo "or emptying the tables and importing; one transaction each"
    cli=$build/src/quorix-cli
    printf "%-8s %-8s %10s %10s %8s %12s %6s\n" rows mode "ours s" "sqlite3 s" ratio "ours KiB" same
    for rows in ${RELOAD_ROWS:-1000000}; do
        d=$work/reload_$rows
        rm -rf "$d"; mkdir -p "$d"
        "$bin/bench_loading" reload "$rows" "$d"
        for x in a b; do
            sqlite3 "$d/$x.db" "PRAGMA user_version=1"
            "$cli" load "$d/doc.qxd" "$d/$x.xml" --data-source "$d/$x.db" --create > /dev/null
        done
        for t in ORDERS ORDER_LINES; do sqlite3 -csv "$d/b.db" "SELECT * FROM $t" > "$d/b_$t.csv"; done
        rm -f "$d/b.db"
        cat > "$d/update.sql" <<SQL
BEGIN;
CREATE TEMP TABLE w_o AS SELECT * FROM ORDERS WHERE 0;
CREATE TEMP TABLE w_l AS SELECT * FROM ORDER_LINES WHERE 0;
.import --csv $d/b_ORDERS.csv w_o
.import --csv $d/b_ORDER_LINES.csv w_l
DELETE FROM ORDER_LINES WHERE ORDER_NO IN (SELECT ORDER_NO FROM w_o);
INSERT INTO ORDERS SELECT * FROM w_o WHERE true ON CONFLICT (ORDER_NO) DO UPDATE SET CUSTOMER = excluded.CUSTOMER, ORDERED_ON = excluded.ORDERED_ON, NOTE = excluded.NOTE;
INSERT INTO ORDER_LINES SELECT * FROM w_l;
COMMIT;
SQL
        cat > "$d/replace.sql" <<SQL
BEGIN;
DELETE FROM ORDER_LINES;
DELETE FROM ORDERS;
.import --csv $d/b_ORDERS.csv ORDERS
.import --csv $d/b_ORDER_LINES.csv ORDER_LINES
COMMIT;
SQL
        facts="SELECT count(*), sum(QTY), group_concat(DISTINCT substr(SHIPPED_ON, 1, 7)) FROM ORDER_LINES; SELECT count(*), sum(length(CUSTOMER)) FROM ORDERS"
        for mode in update replace; do
            read -r ot om < <(best_of 3 sh -c "cp '$d/a.db' '$d/ours.db' && '$cli' load '$d/doc.qxd' '$d/b.xml' --data-source '$d/ours.db' --mode $mode 2> /dev/null")
            read -r rt rm < <(best_of 3 sh -c "cp '$d/a.db' '$d/ref.db' && sqlite3 '$d/ref.db' '.read $d/$mode.sql'")
            same=$([ "$(sqlite3 "$d/ours.db" "$facts")" = "$(sqlite3 "$d/ref.db" "$facts")" ] && echo yes || echo NO)
            printf "%-8s %-8s %10s %10s %8s %12s %6s\n" "$rows" "$mode" "$ot" "$rt" "$(ratio "$ot" "$rt")" "$om" "$same"
        done
        rm -rf "$d"
    done
    ;;
reload-postgresql)
    echo "The same second load on PostgreSQL, against psql loading the same rows with \\copy into"
    echo "temporary tables and running INSERT ... ON CONFLICT DO UPDATE and DELETE ... USING, or"
    echo "TRUNCATE and \\copy; one transaction each, the database copied from the month before"
    start_pg
    cli=$build/src/quorix-cli
    printf "%-8s %-8s %10s %10s %8s %12s %6s\n" rows mode "ours s" "psql s" ratio "ours KiB" same
    for rows in ${RELOAD_ROWS:-1000000}; do
        d=$work/pgreload_$rows
        rm -rf "$d"; mkdir -p "$d"; chmod 755 "$d"
        "$bin/bench_loading" reload "$rows" "$d" postgresql
        fresh reload_a; fresh reload_b
        "$cli" load "$d/doc.qxd" "$d/a.xml" --data-source "$(src reload_a)" --create > /dev/null
        "$cli" load "$d/doc.qxd" "$d/b.xml" --data-source "$(src reload_b)" --create > /dev/null
        for t in ORDERS ORDER_LINES; do psql -X -q "$(src reload_b)" -c "\\copy \"$t\" TO '$d/b_$t.csv' CSV"; done
        psql -X -q "$(src postgres)" -c "VACUUM ANALYZE" > /dev/null
        cat > "$d/update.sql" <<SQL
BEGIN;
CREATE TEMP TABLE w_o (LIKE "ORDERS") ON COMMIT DROP;
CREATE TEMP TABLE w_l (LIKE "ORDER_LINES") ON COMMIT DROP;
\\copy w_o FROM '$d/b_ORDERS.csv' CSV
\\copy w_l FROM '$d/b_ORDER_LINES.csv' CSV
DELETE FROM "ORDER_LINES" l USING w_o w WHERE l."ORDER_NO" = w."ORDER_NO";
INSERT INTO "ORDERS" SELECT * FROM w_o ON CONFLICT ("ORDER_NO") DO UPDATE SET "CUSTOMER" = EXCLUDED."CUSTOMER", "ORDERED_ON" = EXCLUDED."ORDERED_ON", "NOTE" = EXCLUDED."NOTE";
INSERT INTO "ORDER_LINES" SELECT * FROM w_l;
COMMIT;
SQL
        cat > "$d/replace.sql" <<SQL
BEGIN;
TRUNCATE "ORDER_LINES", "ORDERS";
\\copy "ORDERS" FROM '$d/b_ORDERS.csv' CSV
\\copy "ORDER_LINES" FROM '$d/b_ORDER_LINES.csv' CSV
COMMIT;
SQL
        copy() { psql -X -q "$(src postgres)" -c "DROP DATABASE IF EXISTS $1" -c "CREATE DATABASE $1 TEMPLATE reload_a"; }
        facts="SELECT count(*), sum(\"QTY\"), sum(length(\"CUSTOMER\")) FROM \"ORDER_LINES\" JOIN \"ORDERS\" USING (\"ORDER_NO\")"
        for mode in update replace; do
            ours=() oursm=() ref=()
            for i in 1 2 3; do
                copy pgours; copy pgref
                read -r t m _ < <(measure "$cli" load "$d/doc.qxd" "$d/b.xml" --data-source "$(src pgours)" --mode $mode 2> /dev/null); ours+=("$t"); oursm+=("$m")
                read -r r _ _ < <(measure psql -X -q -v ON_ERROR_STOP=1 "$(src pgref)" -f "$d/$mode.sql"); ref+=("$r")
            done
            ot=$(printf "%s\n" "${ours[@]}" | sort -n | head -1)
            om=$(printf "%s\n" "${oursm[@]}" | sort -n | tail -1)
            rt=$(printf "%s\n" "${ref[@]}" | sort -n | head -1)
            same=$([ "$(psql -X -At "$(src pgours)" -c "$facts")" = "$(psql -X -At "$(src pgref)" -c "$facts")" ] && echo yes || echo NO)
            printf "%-8s %-8s %10s %10s %8s %12s %6s\n" "$rows" "$mode" "$ot" "$rt" "$(ratio "$ot" "$rt")" "$om" "$same"
        done
        rm -rf "$d"
    done
    stop_pg
    ;;
reload-mariadb)
    echo "The same second load on MariaDB, against the mariadb client loading the same rows with"
    echo "LOAD DATA LOCAL INFILE into temporary tables and running INSERT ... ON DUPLICATE KEY"
    echo "UPDATE and a DELETE joined to them, or DELETE and LOAD DATA; one transaction each"
    start_my
    cli=$build/src/quorix-cli
    printf "%-8s %-8s %10s %10s %8s %12s %6s\n" rows mode "ours s" "mariadb s" ratio "ours KiB" same
    for rows in ${RELOAD_ROWS:-1000000}; do
        d=$work/myreload_$rows
        rm -rf "$d"; mkdir -p "$d"; chmod 755 "$d"
        "$bin/bench_loading" reload "$rows" "$d" mysql
        myfresh reload_a; myfresh reload_b
        "$cli" load "$d/doc.qxd" "$d/a.xml" --data-source "$(mysrc reload_a)" --user root --create > /dev/null
        "$cli" load "$d/doc.qxd" "$d/b.xml" --data-source "$(mysrc reload_b)" --user root --create > /dev/null
        "$cli" sql "$d/doc.qxd" --db-type mysql | grep -v '^COMMIT;' | grep -v '^BEGIN;' > "$d/a.sql"
        echo "SET autocommit = 0;" >> "$d/a.sql"
        for x in a b; do
            for t in ORDERS ORDER_LINES; do
                rm -f "$my/${x}_$t.tsv"
                mysql_run "reload_$x" "SELECT * FROM \`$t\` INTO OUTFILE '$my/${x}_$t.tsv'"
            done
        done
        for t in ORDERS ORDER_LINES; do echo "LOAD DATA LOCAL INFILE '$my/a_$t.tsv' INTO TABLE \`$t\`;" >> "$d/a.sql"; done
        echo "COMMIT;" >> "$d/a.sql"
        cat > "$d/update.sql" <<SQL
START TRANSACTION;
CREATE TEMPORARY TABLE w_o LIKE ORDERS;
CREATE TEMPORARY TABLE w_l LIKE ORDER_LINES;
LOAD DATA LOCAL INFILE '$my/b_ORDERS.tsv' INTO TABLE w_o;
LOAD DATA LOCAL INFILE '$my/b_ORDER_LINES.tsv' INTO TABLE w_l;
DELETE l FROM ORDER_LINES l JOIN w_o w USING (ORDER_NO);
INSERT INTO ORDERS SELECT * FROM w_o ON DUPLICATE KEY UPDATE CUSTOMER = VALUES(CUSTOMER), ORDERED_ON = VALUES(ORDERED_ON), NOTE = VALUES(NOTE);
INSERT INTO ORDER_LINES SELECT * FROM w_l;
COMMIT;
SQL
        cat > "$d/replace.sql" <<SQL
START TRANSACTION;
DELETE FROM ORDER_LINES;
DELETE FROM ORDERS;
LOAD DATA LOCAL INFILE '$my/b_ORDERS.tsv' INTO TABLE ORDERS;
LOAD DATA LOCAL INFILE '$my/b_ORDER_LINES.tsv' INTO TABLE ORDER_LINES;
COMMIT;
SQL
        month() { myfresh "$1"; mariadb --no-defaults -u root --socket="$my/sock" --local-infile=1 "$1" < "$d/a.sql"; }
        facts="SELECT count(*), sum(QTY), sum(char_length(CUSTOMER)) FROM ORDER_LINES JOIN ORDERS USING (ORDER_NO)"
        for mode in update replace; do
            ours=() oursm=() ref=()
            for i in 1 2 3; do
                month myours; month myref
                read -r t m _ < <(measure "$cli" load "$d/doc.qxd" "$d/b.xml" --data-source "$(mysrc myours)" --user root --mode $mode 2> /dev/null); ours+=("$t"); oursm+=("$m")
                read -r r _ _ < <(measure sh -c "mariadb --no-defaults -u root --socket='$my/sock' --local-infile=1 myref < '$d/$mode.sql'"); ref+=("$r")
            done
            ot=$(printf "%s\n" "${ours[@]}" | sort -n | head -1)
            om=$(printf "%s\n" "${oursm[@]}" | sort -n | tail -1)
            rt=$(printf "%s\n" "${ref[@]}" | sort -n | head -1)
            same=$([ "$(mysql_run myours "$facts")" = "$(mysql_run myref "$facts")" ] && echo yes || echo NO)
            printf "%-8s %-8s %10s %10s %8s %12s %6s\n" "$rows" "$mode" "$ot" "$rt" "$(ratio "$ot" "$rt")" "$om" "$same"
        done
        rm -rf "$d"
    done
    stop_my
    ;;
xml)
    echo "XML analysis (streaming pass, template, definition lines) against xmllint --stream --noout"
    echo "(with the evidence of every value, and without it)"
    printf "%-10s %10s %10s %10s %8s %8s %12s %12s\n" rows "ours s" "no-evid s" "xmllint s" ratio "no-evid" "ours KiB" "xmllint KiB"
    for rows in ${XML_ROWS:-10000 100000 1000000 10000000}; do
        f=$work/rows_$rows.xml
        [ -f "$f" ] || "$bin/bench_xml_analysis" generate "$rows" "$f"
        n=5; [ "$rows" -ge 10000000 ] && n=2
        read -r ot om < <(best_of "$n" "$bin/bench_xml_analysis" analyse "$f")
        read -r nt nm < <(best_of "$n" "$bin/bench_xml_analysis" analyse-noevidence "$f")
        read -r xt xm < <(best_of "$n" xmllint --stream --noout "$f")
        printf "%-10s %10s %10s %10s %8s %8s %12s %12s\n" "$rows" "$ot" "$nt" "$xt" "$(ratio "$ot" "$xt")" "$(ratio "$nt" "$xt")" "$om" "$xm"
        ls -l "$f" | awk '{printf "  document: %.0f MB\n", $5/1e6}'
        # Generated documents are large: they go once measured.
        [ "$rows" -ge 1000000 ] && rm -f "$f"
    done
    f=$work/wide_100000.xml
    [ -f "$f" ] || "$bin/bench_xml_analysis" generate-wide 100000 "$f"
    read -r ot om < <(best "$bin/bench_xml_analysis" analyse "$f")
    read -r xt xm < <(best xmllint --stream --noout "$f")
    echo "one row of 100000 distinct names: ours ${ot}s, xmllint --stream ${xt}s, ratio $(ratio "$ot" "$xt")"
    # Rows of attributes only, read with attributes as lines.
    f=$work/attributes_1000000.xml
    [ -f "$f" ] || "$bin/bench_xml_analysis" generate-attributes 1000000 "$f"
    read -r ot om < <(best "$bin/bench_xml_analysis" analyse-attributes "$f")
    read -r xt xm < <(best xmllint --stream --noout "$f")
    echo "1000000 rows of attributes only: ours ${ot}s ${om} KiB, xmllint --stream ${xt}s, ratio $(ratio "$ot" "$xt")"
    rm -f "$f"
    ;;
generation)
    echo "Create command (500 tables x 20 columns, 3 levels) against sqlite3 running the same DDL"
    "$bin/bench_generation" sql "$work/generation.sql"
    ours=() ref=()
    for i in 1 2 3; do
        rm -f "$work/gen_ours.mdb" "$work/gen_ref.mdb"
        sqlite3 "$work/gen_ours.mdb" "PRAGMA user_version=1"
        sqlite3 "$work/gen_ref.mdb" "PRAGMA user_version=1"
        read -r t _ s < <(measure "$bin/bench_generation" create "$work/gen_ours.mdb"); ours+=("$t")
        read -r r _ s < <(measure sqlite3 "$work/gen_ref.mdb" ".read $work/generation.sql"); ref+=("$r")
    done
    ot=$(printf "%s\n" "${ours[@]}" | sort -n | head -1)
    rt=$(printf "%s\n" "${ref[@]}" | sort -n | head -1)
    n=$(sqlite3 "$work/gen_ours.mdb" "SELECT count(*) FROM sqlite_master WHERE type='table'")
    echo "tables created: $n; ours ${ot}s, sqlite3 ${rt}s, ratio $(ratio "$ot" "$rt")"
    ;;
catalog)
    echo "Catalog tree refresh, names first (tables of 10 columns, 2 indexes, 1 foreign key), against"
    echo "sqlite3 listing the same names; the old full read and the opening of one table's node beside it"
    printf "%-8s %9s %11s %7s %10s %12s %10s %14s\n" tables "ours s" "sqlite3 s" ratio "ours KiB" "sqlite3 KiB" "full s" "open one node"
    for n in ${CATALOG_TABLES:-2000 20000 100000}; do
        db=$work/catalog_$n.mdb
        if [ ! -f "$db" ]; then
            "$bin/bench_catalog_tree" file "$db.part" "$n"
            mv "$db.part" "$db"
        fi
        # SQLite reads a schema of 100 000 tables for minutes (its own listing as well): once.
        runs=$([ "$n" -ge 100000 ] && echo 1 || echo 5)
        read -r ot om < <(best_of "$runs" "$bin/bench_catalog_tree" refresh "$db")
        read -r rt rm < <(best_of "$runs" sh -c "sqlite3 '$db' \"SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid\" > /dev/null")
        read -r ft fm < <(best_of 1 "$bin/bench_catalog_tree" full "$db")
        open=$("$bin/bench_catalog_tree" open "$db")
        printf "%-8s %9s %11s %7s %10s %12s %10s %14s\n" "$n" "$ot" "$rt" "$(ratio "$ot" "$rt")" "$om" "$rm" "$ft" "$open"
    done
    ;;
postgresql)
    start_pg
    echo "Create command on PostgreSQL (500 tables x 20 columns) against psql running the same DDL in one transaction"
    "$bin/bench_generation" sql-pg "$work/generation_pg.sql"
    ours=() ref=()
    for i in 1 2 3; do
        fresh gen_ours; fresh gen_ref
        read -r t _ s < <(measure "$bin/bench_generation" create-pg "$(src gen_ours)"); ours+=("$t")
        read -r r _ s < <(measure psql -X -q "$(src gen_ref)" -f "$work/generation_pg.sql"); ref+=("$r")
    done
    ot=$(printf "%s\n" "${ours[@]}" | sort -n | head -1)
    rt=$(printf "%s\n" "${ref[@]}" | sort -n | head -1)
    n=$(psql -X -At "$(src gen_ours)" -c "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'")
    echo "tables created: $n; ours ${ot}s, psql ${rt}s, ratio $(ratio "$ot" "$rt")"
    echo "Catalog tree on PostgreSQL (2000 tables, 10 columns, 2 indexes, 1 foreign key) against psql '\\d public.*'"
    fresh catalog
    "$bin/bench_catalog_tree" sql-pg "$work/catalog_pg.sql"
    psql -X -q "$(src catalog)" -f "$work/catalog_pg.sql" > /dev/null
    read -r ot om < <(best "$bin/bench_catalog_tree" refresh-pg "$(src catalog)")
    read -r rt rm < <(best sh -c "psql -X -q '$(src catalog)' -c '\\d public.*' > /dev/null")
    read -r qt qm < <(best sh -c "psql -X -q '$(src catalog)' -f bench/pg_catalog_reference.sql > /dev/null")
    echo "ours ${ot}s (${om} KiB), psql \\d ${rt}s, ratio $(ratio "$ot" "$rt")"
    read -r nt nm < <(best psql -X -q -At "$(src catalog)" -c "$pg_names" -o /dev/null)
    read -r ft fm < <(best_of 1 "$bin/bench_catalog_tree" full-pg "$(src catalog)")
    echo "ours ${ot}s, psql listing the names from pg_class ${nt}s, ratio $(ratio "$ot" "$nt"); the old full read ${ft}s; $("$bin/bench_catalog_tree" open-pg "$(src catalog)")"
    echo "ours ${ot}s, psql running the same facts' catalog queries ${qt}s, ratio $(ratio "$ot" "$qt")"
    echo "Catalog tree on PostgreSQL, bigger catalogs, against psql listing the names from pg_class"
    printf "%-8s %9s %9s %7s %10s %10s %10s %14s\n" tables "ours s" "psql s" ratio "ours KiB" "psql KiB" "full s" "open one node"
    for n in ${PG_CATALOG_TABLES:-20000 100000}; do
        fresh catalog
        "$bin/bench_catalog_tree" sql-pg "$work/catalog_pg.sql" "$n"
        psql -X -q "$(src catalog)" -f "$work/catalog_pg.sql" > /dev/null
        rm -f "$work/catalog_pg.sql"
        psql -X -q "$(src catalog)" -c "VACUUM ANALYZE" > /dev/null
        read -r ot om < <(best "$bin/bench_catalog_tree" refresh-pg "$(src catalog)")
        read -r nt nm < <(best psql -X -q -At "$(src catalog)" -c "$pg_names" -o /dev/null)
        read -r ft fm < <(best_of 1 "$bin/bench_catalog_tree" full-pg "$(src catalog)")
        open=$("$bin/bench_catalog_tree" open-pg "$(src catalog)")
        printf "%-8s %9s %9s %7s %10s %10s %10s %14s\n" "$n" "$ot" "$nt" "$(ratio "$ot" "$nt")" "$om" "$nm" "$ft" "$open"
    done
    stop_pg
    ;;
esac
done
