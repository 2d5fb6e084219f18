#!/usr/bin/env bash
# Starts or stops a private MariaDB server for the tests, on loopback, in a
# temporary data directory. `start` prints the environment the tests read.
#   scripts/test-db.sh start DIR     -> server in DIR, prints export lines
#   scripts/test-db.sh stop DIR
set -euo pipefail
cmd=$1; dir=$2
sock=$dir/mysqld.sock; pidf=$dir/mysqld.pid
port=${ATLASDESK_TEST_DB_PORT:-33306}
case "$cmd" in
start)
  mkdir -p "$dir/data"
  mariadb-install-db --no-defaults --user=root --datadir="$dir/data" \
    --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1
  mariadbd --no-defaults --user=root --datadir="$dir/data" --socket="$sock" \
    --port="$port" --bind-address=127.0.0.1 --pid-file="$pidf" --skip-log-bin \
    >"$dir/server.log" 2>&1 &
  # Up to two minutes: on a loaded machine the first start takes long.
  for _ in $(seq 1 240); do
    mariadb-admin --no-defaults --socket="$sock" -uroot ping >/dev/null 2>&1 && break
    sleep 0.5
  done
  if ! mariadb-admin --no-defaults --socket="$sock" -uroot ping >/dev/null 2>&1; then
    echo "test-db: the server in $dir did not start; its log:" >&2
    tail -n 30 "$dir/server.log" >&2 || true
    exit 1
  fi
  mariadb --no-defaults --socket="$sock" -uroot <<SQL
CREATE USER IF NOT EXISTS 'chartroom'@'127.0.0.1' IDENTIFIED BY 'chartroom-test';
CREATE USER IF NOT EXISTS 'chartroom'@'localhost' IDENTIFIED BY 'chartroom-test';
GRANT ALL PRIVILEGES ON *.* TO 'chartroom'@'127.0.0.1' WITH GRANT OPTION;
GRANT ALL PRIVILEGES ON *.* TO 'chartroom'@'localhost' WITH GRANT OPTION;
FLUSH PRIVILEGES;
SQL
  echo "export ATLASDESK_TEST_DB_HOST=127.0.0.1"
  echo "export ATLASDESK_TEST_DB_PORT=$port"
  echo "export ATLASDESK_TEST_DB_USER=chartroom"
  echo "export ATLASDESK_TEST_DB_PASSWORD=chartroom-test"
  echo "export ATLASDESK_TEST_DB_SOCKET=$sock"
  ;;
stop)
  if [ -f "$pidf" ]; then
    pid=$(cat "$pidf")
    mariadb-admin --no-defaults --socket="$sock" -uroot shutdown >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 60); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
  fi
  ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
