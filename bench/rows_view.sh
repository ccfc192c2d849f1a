#!/usr/bin/env bash
# The rows view of a big table on every engine: the table (an integer key, a date, an amount,
# a text) made by the engine itself, then what the view waits for (bench_rows_view).
#   bench/rows_view.sh BUILD_DIR    (ROWS_VIEW_ROWS, ROWS_VIEW_ENGINES to narrow)
set -euo pipefail
build=${1:-build}
bin=$build/bench
work=$build/bench-data/rows_view
mkdir -p "$work"
source "$(dirname "$0")/../tests/support/servers.sh"
trap stop_servers EXIT
rows=${ROWS_VIEW_ROWS:-10000000}
columns='(ID bigint PRIMARY KEY, DAY date, AMOUNT decimal(12,2), NAME varchar(40))'

echo "The rows view of a table of $rows rows, in milliseconds: opened (connection, first 200"
echo "rows), counted (shown when ready), the last rows, a page while scrolling, sorted by an"
echo "unindexed column, a filter's first page."
printf "%-11s %10s %8s %8s %8s %8s %8s %8s\n" engine rows opened counted "to end" "a page" sorted filter
for engine in ${ROWS_VIEW_ENGINES:-sqlite postgresql mysql}; do
    case $engine in
    sqlite)
        rm -f "$work/big.db"
        sqlite3 "$work/big.db" "CREATE TABLE BIG $columns;
            WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
            INSERT INTO BIG SELECT i, date('2020-01-01', '+' || (i % 2000) || ' days'),
                (i % 100000) / 100.0, '顧客 ' || (i * 7919 % 1000003) FROM n"
        source_text="Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$work/big.db" ;;
    postgresql)
        start_pg; fresh rowsview
        psql -X -q "$(src rowsview)" -c "CREATE TABLE \"BIG\" $columns" -c "INSERT INTO \"BIG\"
            SELECT i, date '2020-01-01' + (i % 2000)::int, (i % 100000) / 100.0,
                '顧客 ' || (i::bigint * 7919 % 1000003) FROM generate_series(1, $rows) i"
        source_text="Provider=PostgreSQL;Data Source=\"$(src rowsview)\"" ;;
    mysql)
        start_my; myfresh rowsview
        mysql_run rowsview "CREATE TABLE BIG $columns ENGINE=InnoDB;
            INSERT INTO BIG SELECT seq, date '2020-01-01' + INTERVAL (seq % 2000) DAY,
                (seq % 100000) / 100.0, CONCAT('顧客 ', seq * 7919 % 1000003) FROM seq_1_to_$rows"
        source_text="Provider=MariaDB;Data Source=\"$(mysrc rowsview)\";User ID=root" ;;
    esac
    read -r n opened counted end page sorted filter _ < <("$bin/bench_rows_view" "$source_text" BIG)
    printf "%-11s %10s %8s %8s %8s %8s %8s %8s\n" "$engine" "$n" "$opened" "$counted" "$end" "$page" "$sorted" "$filter"
    [ "$engine" = postgresql ] && stop_pg
    [ "$engine" = mysql ] && stop_my
done
rm -f "$work/big.db"
