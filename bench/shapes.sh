#!/usr/bin/env bash
# Loads of documents whose values look like an export's (integers, decimals, dates, date-times
# with zones, booleans, codes, Japanese names, long text), flat and with three nested items per
# row, on every engine, against the engine's own bulk tool loading the same rows from per-table
# files written beforehand; the analysis with evidence against xmllint --stream; peers where
# they are installed. Medians of interleaved runs.
#   bench/shapes.sh BUILD_DIR        (SHAPE_ROWS, SHAPES, SHAPE_ENGINES, SHAPE_RUNS to narrow)
set -euo pipefail
build=${1:-build}
bin=$build/bench
cli=$build/src/quorix-cli
work=$build/bench-data/shapes
mkdir -p "$work"
source "$(dirname "$0")/../tests/support/servers.sh"
trap stop_servers EXIT

runs=${SHAPE_RUNS:-3}
source "$(dirname "$0")/bench_common.sh"
row() { printf "%-9s %-7s %8s %8s %7s %10s %8s %9s  %s\n" "$@"; }

# The reference's input of each engine: our load into a database of its own, exported table
# by table; then the tool's script creating the same tables and loading those files.
prepare_sqlite() {
    sqlite3 "$d/empty.db" "PRAGMA user_version=1"
    cp "$d/empty.db" "$d/src.db"
    "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$d/src.db" --create > /dev/null
    { sqlite3 "$d/src.db" .schema | grep -v "TABLE sqlite_sequence"; echo "BEGIN;"; } > "$d/import.sql"
    for t in $(sqlite3 "$d/src.db" "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"); do
        sqlite3 -csv "$d/src.db" "SELECT * FROM \"$t\"" > "$d/$t.csv"
        echo ".import --csv $d/$t.csv $t" >> "$d/import.sql"
    done
    echo "COMMIT;" >> "$d/import.sql"
    records=$(sqlite3 "$d/src.db" "SELECT (SELECT count(*) FROM \"ROW\")$([ "$shape" = nested ] && echo ' + (SELECT count(*) FROM ITEM)')")
    rm -f "$d/src.db"
}
ours_sqlite() { measure sh -c "cp '$d/empty.db' '$d/ours.db' && '$cli' load '$d/doc.qxd' '$d/doc.xml' --data-source '$d/ours.db' --create"; }
tool_sqlite() { measure sh -c "cp '$d/empty.db' '$d/ref.db' && sqlite3 '$d/ref.db' '.read $d/import.sql'"; }

prepare_postgresql() {
    fresh shsrc
    "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$(src shsrc)" --create > /dev/null
    "$cli" sql "$d/doc.qxd" | grep -v '^COMMIT;' > "$d/import.sql"
    for t in $(psql -X -At "$(src shsrc)" -c "SELECT tablename FROM pg_tables WHERE schemaname = 'public'"); do
        psql -X -q "$(src shsrc)" -c "\\copy \"$t\" TO '$d/$t.csv' CSV"
        echo "\\copy \"$t\" FROM '$d/$t.csv' CSV" >> "$d/import.sql"
    done
    echo "COMMIT;" >> "$d/import.sql"
    records=$(psql -X -At "$(src shsrc)" -c "SELECT (SELECT count(*) FROM \"ROW\")$([ "$shape" = nested ] && echo ' + (SELECT count(*) FROM "ITEM")')")
}
ours_postgresql() { fresh shours; measure "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$(src shours)" --create; }
tool_postgresql() { fresh shref; measure psql -X -q -v ON_ERROR_STOP=1 "$(src shref)" -f "$d/import.sql"; }

prepare_mysql() {
    myfresh shsrc
    "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$(mysrc shsrc)" --user root --create > /dev/null
    { "$cli" sql "$d/doc.qxd" | grep -v '^COMMIT;' | grep -v '^BEGIN;'; echo "SET autocommit = 0;"; } > "$d/import.sql"
    for t in $(mysql_run shsrc "SHOW TABLES"); do
        rm -f "$my/$t.tsv"
        mysql_run shsrc "SELECT * FROM \`$t\` INTO OUTFILE '$my/$t.tsv'"
        echo "LOAD DATA LOCAL INFILE '$my/$t.tsv' INTO TABLE \`$t\`;" >> "$d/import.sql"
    done
    echo "COMMIT;" >> "$d/import.sql"
    records=$(mysql_run shsrc "SELECT (SELECT count(*) FROM \`ROW\`)$([ "$shape" = nested ] && echo ' + (SELECT count(*) FROM ITEM)')")
}
ours_mysql() { myfresh shours; measure "$cli" load "$d/doc.qxd" "$d/doc.xml" --data-source "$(mysrc shours)" --user root --create; }
tool_mysql() { myfresh shref; measure sh -c "mariadb --no-defaults -u root --socket='$my/sock' --local-infile=1 shref < '$d/import.sql'"; }

# Peers on the flat document: the servers' own XML readers, and pandas where it is installed.
peers() {
    local cols="\"ID\" integer, \"CODE\" text, \"AMOUNT\" numeric, \"RATE\" numeric, \"ORDERED_ON\" date, \"UPDATED_AT\" timestamptz, \"ACTIVE\" boolean, \"NAME\" text, \"MEMO\" text"
    if [ "$engine" = postgresql ]; then
        cp "$d/doc.xml" "$pg/doc.xml"; chmod 644 "$pg/doc.xml"
        local x=()
        for _ in $(seq "$runs"); do
            fresh shpeer
            read -r t _ _ < <(measure psql -X -q -v ON_ERROR_STOP=1 "$(src shpeer)" -c "CREATE TABLE t ($cols)" -c "INSERT INTO t SELECT x.* FROM XMLTABLE('/ROWSET/ROW' PASSING (convert_from(pg_read_binary_file('$pg/doc.xml'), 'UTF8')::xml) COLUMNS $cols) x")
            x+=("$t")
        done
        rm -f "$pg/doc.xml"
        echo "  peer: PostgreSQL XMLTABLE over the document $(printf "%s\n" "${x[@]}" | median) s"
    fi
    if [ "$engine" = mysql ]; then
        cp "$d/doc.xml" "$my/doc.xml"
        local x=()
        for _ in $(seq "$runs"); do
            myfresh shpeer
            mysql_run shpeer "CREATE TABLE t (ID int PRIMARY KEY, CODE varchar(16), AMOUNT decimal(12,2), RATE decimal(6,4), ORDERED_ON date, UPDATED_AT varchar(32), ACTIVE varchar(5), NAME varchar(64), MEMO text)"
            read -r t _ _ < <(measure sh -c "mariadb --no-defaults -u root --socket='$my/sock' --local-infile=1 shpeer -e \"SET autocommit = 0; LOAD XML LOCAL INFILE '$my/doc.xml' INTO TABLE t ROWS IDENTIFIED BY '<ROW>'; COMMIT\"")
            x+=("$t")
        done
        rm -f "$my/doc.xml"
        echo "  peer: MariaDB LOAD XML ... ROWS IDENTIFIED BY '<ROW>' $(printf "%s\n" "${x[@]}" | median) s"
    fi
    if [ "$engine" = sqlite ]; then
        if python3 -c "import pandas, lxml" 2> /dev/null; then
            read -r t m _ < <(measure python3 -c "
import pandas, sqlite3, sys
frame = pandas.read_xml(sys.argv[1], xpath='/ROWSET/ROW')
with sqlite3.connect(sys.argv[2]) as db: frame.to_sql('t', db, index=False)" "$d/doc.xml" "$d/pandas.db")
            rm -f "$d/pandas.db"
            echo "  peer: pandas read_xml + to_sql ${t} s, ${m} KiB"
        else
            echo "  peer: pandas not installed (python3-pandas, python3-lxml)"
        fi
    fi
}

echo "Loads of typed documents (8 scalar columns of every kind; nested: 3 items per row) against"
echo "the engine's bulk tool on the same rows from per-table files; analysis with evidence against"
echo "xmllint --stream --noout. Medians of $runs interleaved runs."
row rows shape "ours s" "tool s" ratio "records/s" "MB/s" "peak KiB" engine
for engine in ${SHAPE_ENGINES:-sqlite postgresql mysql}; do
    [ "$engine" = postgresql ] && start_pg
    [ "$engine" = mysql ] && start_my
    for shape in ${SHAPES:-flat nested}; do
        for rows in ${SHAPE_ROWS:-100000 1000000}; do
            d=$work/${engine}_${shape}_$rows
            rm -rf "$d"; mkdir -p "$d"; chmod 755 "$d"
            dbtype=$([ "$engine" = sqlite ] && echo access || echo "$engine")
            "$bin/bench_loading" typed "$rows" "$d" "$dbtype" "$shape"
            "prepare_$engine"
            mb=$(stat -c %s "$d/doc.xml" | awk '{print $1 / 1e6}')
            ours=() tool=() peak=()
            for _ in $(seq "$runs"); do
                read -r t m s < <("ours_$engine"); [ "$s" = 0 ] || { echo "our load failed" >&2; exit 1; }
                ours+=("$t"); peak+=("$m")
                read -r t _ s < <("tool_$engine"); [ "$s" = 0 ] || { echo "the tool failed" >&2; exit 1; }
                tool+=("$t")
            done
            ot=$(printf "%s\n" "${ours[@]}" | median)
            tt=$(printf "%s\n" "${tool[@]}" | median)
            om=$(printf "%s\n" "${peak[@]}" | sort -n | tail -1)
            row "$rows" "$shape" "$ot" "$tt" "$(ratio "$ot" "$tt")" \
                "$(awk "BEGIN{printf \"%.0f\", $records / $ot}")" "$(awk "BEGIN{printf \"%.1f\", $mb / $ot}")" "$om" "$engine (${mb%.*} MB, $records records)"
            if [ "$engine" = sqlite ]; then
                ana=() xml=() apeak=()
                for _ in $(seq "$runs"); do
                    read -r t m _ < <(measure "$bin/bench_xml_analysis" analyse "$d/doc.xml"); ana+=("$t"); apeak+=("$m")
                    read -r t _ _ < <(measure xmllint --stream --noout "$d/doc.xml"); xml+=("$t")
                done
                at=$(printf "%s\n" "${ana[@]}" | median)
                xt=$(printf "%s\n" "${xml[@]}" | median)
                row "$rows" "$shape" "$at" "$xt" "$(ratio "$at" "$xt")" \
                    "$(awk "BEGIN{printf \"%.0f\", $rows / $at}")" "$(awk "BEGIN{printf \"%.1f\", $mb / $at}")" \
                    "$(printf "%s\n" "${apeak[@]}" | sort -n | tail -1)" "analysis with evidence vs xmllint"
            fi
            [ "$shape" = flat ] && [ "$rows" -le 1000000 ] && peers
            rm -rf "$d"
        done
    done
    [ "$engine" = postgresql ] && stop_pg
    [ "$engine" = mysql ] && stop_my
done
