# PostgreSQL and MariaDB servers of a script's own, each on a socket in a temporary folder of
# its own; sourced by the shell tests and the benchmarks. A watcher in a session of its own
# stops them and removes their folders when the script ends, however it ends (kill -9 too).

# Stops the servers of this script and removes their folders.
stop_servers() {
    [ -n "${pg:-}" ] && [ -d "$pg" ] && { $as "$pgbin/pg_ctl" -D "$pg/data" -m immediate -w stop > /dev/null 2>&1 || true; rm -rf "$pg"; }
    if [ -n "${my:-}" ] && [ -d "$my" ]; then
        [ -f "$my/pid" ] && kill "$(cat "$my/pid")" 2> /dev/null || true
        for _ in $(seq 100); do [ -f "$my/pid" ] || break; sleep 0.1; done
        pkill -9 -f "datadir=$my/" 2> /dev/null || true
        rm -rf "$my"
    fi
    pg="" my=""
}

# Watches this script from outside: when it is gone, the folder's server (pg, my, or none)
# goes, and the folder.
watch_folder() {
    local folder=$1 kind=$2
    setsid bash -c '
        while kill -0 "$1" 2> /dev/null; do sleep 0.5; done
        if [ "$2" = pg ]; then
            pid=$(head -1 "$0/data/postmaster.pid" 2> /dev/null) && kill -QUIT "$pid" 2> /dev/null
        elif [ "$2" = my ]; then
            pkill -9 -f "datadir=$0/" 2> /dev/null
        fi
        sleep 1; rm -rf "$0"' "$folder" "$$" "$kind" < /dev/null > /dev/null 2>&1 &
}

start_pg() {
    pgbin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
    pg=$(mktemp -d)
    as=""
    if [ "$(id -u)" -eq 0 ]; then chown postgres "$pg"; as="runuser -u postgres --"; fi
    watch_folder "$pg" pg
    $as "$pgbin/initdb" -D "$pg/data" -A trust -U postgres -E UTF8 --locale=C > /dev/null
    run_pg
}
# Starts the server of the folder again (after an immediate stop).
run_pg() {
    $as "$pgbin/pg_ctl" -D "$pg/data" -l "$pg/log" -w -o "-k $pg -p 5432 -c listen_addresses=''" start > /dev/null
}
stop_pg() {
    $as "$pgbin/pg_ctl" -D "$pg/data" -m immediate -w stop > /dev/null
    rm -rf "$pg"
    pg=""
}
src() { echo "host=$pg port=5432 user=postgres dbname=$1"; }
fresh() { psql -X -q "$(src postgres)" -c "DROP DATABASE IF EXISTS $1" -c "CREATE DATABASE $1" 2> /dev/null; }

# Files the server writes (for the benchmarks' references) go to its folder.
start_my() {
    my=$(mktemp -d)
    local user=""
    [ "$(id -u)" -eq 0 ] && user=--user=root
    watch_folder "$my" my
    mariadb-install-db --no-defaults $user --datadir="$my/data" --auth-root-authentication-method=normal --skip-test-db > /dev/null 2>&1
    run_my
}
# Starts the server of the folder again (after a crash: it recovers first).
run_my() {
    local user=""
    [ "$(id -u)" -eq 0 ] && user=--user=root
    rm -f "$my/pid"
    mariadbd --no-defaults $user --datadir="$my/data" --socket="$my/sock" --skip-networking \
        --pid-file="$my/pid" --log-error="$my/log.err" --secure-file-priv="$my" --local-infile=1 \
        --tmpdir="$my" --innodb-buffer-pool-size=${MY_POOL:-512M} --innodb-log-file-size=${MY_LOG:-256M} \
        --skip-log-bin > /dev/null 2>&1 &
    for _ in $(seq 300); do mysql_run "" "SELECT 1" > /dev/null 2>&1 && return 0; sleep 0.1; done
    echo "MariaDB did not start" >&2
    exit 1
}
# The server process dies at once, as in a crash.
crash_my() {
    local pid
    pid=$(cat "$my/pid")
    kill -9 "$pid"
    while kill -0 "$pid" 2> /dev/null; do sleep 0.05; done
}
stop_my() {
    kill "$(cat "$my/pid")"
    while [ -f "$my/pid" ]; do sleep 0.1; done
    rm -rf "$my"
    my=""
}
mysql_run() { mariadb --no-defaults -u root --socket="$my/sock" --local-infile=1 -N -B ${1:+"$1"} -e "$2"; }
mysrc() { echo "socket=$my/sock database=$1"; }
myfresh() { mysql_run "" "DROP DATABASE IF EXISTS $1; CREATE DATABASE $1 CHARACTER SET utf8mb4 COLLATE utf8mb4_bin"; }
