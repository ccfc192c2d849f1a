#!/usr/bin/env bash
# Loads interrupted the hard way, a bounded number of times at moments drawn from a fixed
# seed: the command line killed, the disk full, the server stopped at once or crashed, the
# load's session killed. Each time the database holds all of the load or nothing of it, the
# program never says it loaded what it did not, and the next load works.
#   check_faults.sh BENCH_LOADING QUORIX_CLI
set -euo pipefail
prepare=$1 cli=$2
source "$(dirname "$0")/../support/servers.sh"
work=$(mktemp -d)
chmod 755 "$work"
trap 'stop_servers; umount "$work/small" 2> /dev/null || true; rm -rf "$work"' EXIT
watch_folder "$work" none
RANDOM=${FAULT_SEED:-20261208}
trials=${FAULT_TRIALS:-4}
fail() { echo "check-faults: $*" >&2; exit 1; }
# A moment between $1 and $2 seconds, from the seeded sequence.
moment() { awk -v r=$RANDOM -v lo="$1" -v hi="$2" 'BEGIN { printf "%.3f", lo + (hi - lo) * r / 32767 }'; }

# Every table and its row count, on one line; empty for none.
state_sqlite() {
    [ -f "$1" ] || return 0
    [ "$(sqlite3 "$1" "PRAGMA integrity_check")" = ok ] || fail "$1 is damaged"
    for t in $(sqlite3 "$1" "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY 1"); do
        printf '%s=%s ' "$t" "$(sqlite3 "$1" "SELECT count(*) FROM \"$t\"")"
    done
}
state_pg() {
    for t in $(psql -X -At "$(src "$1")" -c "SELECT tablename FROM pg_tables WHERE schemaname = 'public' ORDER BY 1"); do
        printf '%s=%s ' "$t" "$(psql -X -At "$(src "$1")" -c "SELECT count(*) FROM \"$t\"")"
    done
}
state_my() {
    for t in $(mysql_run "$1" "SHOW TABLES"); do
        printf '%s=%s ' "$t" "$(mysql_run "$1" "SELECT count(*) FROM \`$t\`")"
    done
}
# After an interrupted load ($1 its exit status, $2 its message, $3 the state, $4 the full
# state): all or nothing, and a success only when all is there; no row is blamed for what
# the server did. An outcome the program could not know is said as such.
judge() {
    local status=$1 said=$2 state=$3 full=$4 what=$5
    if [ "$status" = 0 ]; then
        [ "$state" = "$full" ] || fail "$what: said it loaded, but holds '$state'"
    elif [[ $said == *"doc.xml 行"* ]]; then
        fail "$what: an innocent row was blamed: $said"
    elif [ -n "$state" ] && [ "$state" = "$full" ]; then
        case $said in *分かりません*) ;; *) fail "$what: failed ($said) but everything is there" ;; esac
    else
        [ -z "$state" ] || fail "$what: a part was left: '$state' ($said)"
    fi
    echo "$what: exit $status, ${state:-nothing}${said:+ — ${said:0:120}}"
}

# The command line killed during a load into a file of its own making.
mkdir "$work/file"
"$prepare" prepare 200000 "$work/file" > /dev/null
"$cli" load "$work/file/doc.qxd" "$work/file/doc.xml" --create --new-database \
    --data-source "$work/file/full.db" > /dev/null
full=$(state_sqlite "$work/file/full.db")
for i in $(seq "$trials"); do
    db=$work/file/killed$i.db
    "$cli" load "$work/file/doc.qxd" "$work/file/doc.xml" --create --new-database \
        --data-source "$db" > "$work/said" 2>&1 &
    pid=$!
    sleep "$(moment 0.05 0.6)"
    kill -9 "$pid" 2> /dev/null || true
    status=0
    wait "$pid" || status=$?
    state=$(state_sqlite "$db")
    # Killed, it had no word to say: its file holds no table or every row (killed after the
    # commit), and a load that ended holds every row.
    case $status in
        0) judge 0 "" "$state" "$full" "kill -9 trial $i (ended first)" ;;
        137) [ -z "$state" ] || [ "$state" = "$full" ] || fail "kill -9 trial $i: a part was left: '$state'"
             echo "kill -9 trial $i: killed, ${state:-nothing}" ;;
        *) fail "kill -9 trial $i: exit $status" ;;
    esac
done

# The disk fills during a load into a database that already holds rows: the rows stay as
# they were, and the message says so (or that the journal must stay with the file).
mkdir "$work/small"
mount -t tmpfs -o size=12m tmpfs "$work/small"
cp "$work/file/doc.qxd" "$work/small/"
"$cli" create "$work/small/doc.qxd" --new-database --data-source "$work/small/full.db" > /dev/null
before=$(state_sqlite "$work/small/full.db")
status=0
said=$("$cli" load "$work/small/doc.qxd" "$work/file/doc.xml" --data-source "$work/small/full.db" 2>&1) ||
    status=$?
[ "$status" = 1 ] || fail "disk full: exit $status ($said)"
case $said in *元の状態に戻されました*|*ジャーナル*) ;; *) fail "disk full: $said" ;; esac
[ "$(state_sqlite "$work/small/full.db")" = "$before" ] || fail "disk full: the rows changed"
echo "disk full: exit 1, $before"
umount "$work/small"

# A PostgreSQL server stopped at once in the middle of a load.
mkdir "$work/pg"
"$prepare" prepare 300000 "$work/pg" postgresql > /dev/null
start_pg
fresh whole
"$cli" load "$work/pg/doc.qxd" "$work/pg/doc.xml" --create --data-source "$(src whole)" > /dev/null
full=$(state_pg whole)
for i in $(seq "$trials"); do
    fresh stopped
    "$cli" load "$work/pg/doc.qxd" "$work/pg/doc.xml" --create --data-source "$(src stopped)" \
        > "$work/said" 2>&1 &
    pid=$!
    sleep "$(moment 0.1 1.5)"
    $as "$pgbin/pg_ctl" -D "$pg/data" -m immediate -w stop > /dev/null
    status=0
    wait "$pid" || status=$?
    run_pg
    judge "$status" "$(cat "$work/said")" "$(state_pg stopped)" "$full" "PostgreSQL stopped, trial $i"
done
stop_pg

# A MariaDB server that crashes, or kills the load's session, in the middle of a load made
# through a staging database; the next load clears what the crashed one left.
mkdir "$work/my"
"$prepare" prepare 150000 "$work/my" mysql > /dev/null
MY_POOL=128M MY_LOG=64M start_my
myfresh whole
"$cli" load "$work/my/doc.qxd" "$work/my/doc.xml" --create --data-source "$(mysrc whole)" \
    --user root > /dev/null
full=$(state_my whole)
for i in $(seq "$trials"); do
    myfresh crashed
    "$cli" load "$work/my/doc.qxd" "$work/my/doc.xml" --create --data-source "$(mysrc crashed)" \
        --user root > "$work/said" 2>&1 &
    pid=$!
    sleep "$(moment 0.1 1.0)"
    if [ $((i % 2)) = 1 ]; then
        what="MariaDB crashed, trial $i"
        crash_my
        run_my
    else
        what="MariaDB killed the session, trial $i"
        mysql_run "" "SELECT ID FROM information_schema.PROCESSLIST WHERE ID <> CONNECTION_ID() AND USER = 'root'" |
            while read -r id; do mysql_run "" "KILL CONNECTION $id" 2> /dev/null || true; done
    fi
    status=0
    wait "$pid" || status=$?
    judge "$status" "$(cat "$work/said")" "$(state_my crashed)" "$full" "$what"
    # A killed session stays in the list while the server undoes its rows; its staging
    # database is then still its own.
    for _ in $(seq 600); do
        [ -z "$(mysql_run "" "SELECT ID FROM information_schema.PROCESSLIST WHERE ID <> CONNECTION_ID() AND USER = 'root'")" ] && break
        sleep 0.1
    done
    myfresh again
    "$cli" load "$work/my/doc.qxd" "$work/my/doc.xml" --create --data-source "$(mysrc again)" \
        --user root > /dev/null || fail "$what: the next load failed"
    [ "$(state_my again)" = "$full" ] || fail "$what: the next load is not whole"
    [ -z "$(mysql_run "" "SHOW DATABASES LIKE 'quorix\\_staging\\_%'")" ] ||
        fail "$what: a staging database was left"
done
stop_my
echo "every interrupted load left all or nothing"
