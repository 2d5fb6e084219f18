#!/usr/bin/env bash
# Starts or stops a private 3-node MariaDB Galera cluster on loopback, for the
# cluster tests and benchmarks. Each node has its own data folder under DIR,
# owned by the mysql user: the servers run as that user, which the rsync state
# transfer needs (it starts rsync daemons as the server's user).
#   scripts/galera-cluster.sh start DIR   -> cluster in DIR, prints export lines
#   scripts/galera-cluster.sh stop DIR
#   scripts/galera-cluster.sh restart DIR N -> node N (1..3), stopped or killed, joins again
#   scripts/galera-cluster.sh available   -> exit 0 when galera-4 can be used (says why not)
# Ports: ATLASDESK_GALERA_BASE_PORT (default 34600); node N (1..3) listens for
# clients on BASE+N, for the group on BASE+10+N, for incremental transfers on
# BASE+20+N and for rsync state transfers on BASE+30+N.
# Must run as root (or as mysql with DIR writable by it).
set -euo pipefail
cmd=$1
provider=/usr/lib/galera/libgalera_smm.so
base=${ATLASDESK_GALERA_BASE_PORT:-34600}
nodes=3

available() {
  local missing=""
  [ -r "$provider" ] || missing="$missing galera-4 ($provider)"
  command -v mariadbd >/dev/null || missing="$missing mariadbd"
  command -v rsync >/dev/null || missing="$missing rsync"
  command -v wsrep_sst_rsync >/dev/null || missing="$missing wsrep_sst_rsync"
  id mysql >/dev/null 2>&1 || missing="$missing the-mysql-user"
  if [ -n "$missing" ]; then echo "galera-cluster: missing:$missing" >&2; return 1; fi
  if [ "$(id -u)" -ne 0 ] && [ "$(id -un)" != mysql ]; then
    echo "galera-cluster: the nodes must run as the mysql user: run as root or as mysql" >&2
    return 1
  fi
}

peers() {
  local list="" n
  for n in $(seq 1 $nodes); do list="$list${list:+,}127.0.0.1:$((base + 10 + n))"; done
  echo "$list"
}

as_mysql() {
  if [ "$(id -u)" -eq 0 ]; then setpriv --reuid=mysql --regid=mysql --init-groups -- "$@"; else "$@"; fi
}

ping_node() { mariadb-admin --no-defaults --socket="$1/mysqld.sock" -uroot ping >/dev/null 2>&1; }

wait_synced() { # node dir; waits until the node is a synced member of the primary component
  for _ in $(seq 1 240); do
    state=$(mariadb --no-defaults --socket="$1/mysqld.sock" -uroot -N -e \
      "SHOW STATUS LIKE 'wsrep_local_state_comment'" 2>/dev/null | awk '{print $2}') || true
    [ "$state" = "Synced" ] && return 0
    sleep 0.5
  done
  echo "galera-cluster: node in $1 did not reach Synced; its log:" >&2
  tail -n 40 "$1/server.log" >&2 || true
  return 1
}

start_node() { # n dir cluster-address [extra args]
  local n=$1 dir=$2 address=$3; shift 3
  local node=$dir/node$n
  as_mysql mariadbd --no-defaults --datadir="$node/data" --socket="$node/mysqld.sock" \
    --port=$((base + n)) --bind-address=127.0.0.1 --pid-file="$node/mysqld.pid" \
    --log-error="$node/server.log" --skip-log-bin --innodb-buffer-pool-size=64M \
    --binlog-format=ROW --default-storage-engine=InnoDB --innodb-autoinc-lock-mode=2 \
    --wsrep-on=ON --wsrep-provider="$provider" --wsrep-cluster-name=atlasdesk-test \
    --wsrep-node-name="node$n" --wsrep-node-address="127.0.0.1:$((base + 10 + n))" \
    --wsrep-cluster-address="$address" --wsrep-sst-method=rsync \
    --wsrep-sst-receive-address="127.0.0.1:$((base + 30 + n))" \
    --wsrep-provider-options="gmcast.listen_addr=tcp://127.0.0.1:$((base + 10 + n));ist.recv_addr=127.0.0.1:$((base + 20 + n));gcache.size=64M" \
    "$@" >/dev/null 2>&1 &
  for _ in $(seq 1 240); do ping_node "$node" && break; sleep 0.5; done
  if ! ping_node "$node"; then
    echo "galera-cluster: node $n did not start; its log:" >&2
    tail -n 40 "$node/server.log" >&2 || true
    return 1
  fi
  wait_synced "$node"
}

case "$cmd" in
available)
  available
  ;;
start)
  dir=$2
  available || exit 2
  mkdir -p "$dir"
  chmod 755 "$dir"
  peers=$(peers)
  for n in $(seq 1 $nodes); do
    mkdir -p "$dir/node$n/data"
    [ "$(id -u)" -eq 0 ] && chown -R mysql:mysql "$dir/node$n"
  done
  # The first node makes the system tables and founds the cluster; the others
  # receive everything by state transfer.
  as_mysql mariadb-install-db --no-defaults --datadir="$dir/node1/data" \
    --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1
  start_node 1 "$dir" "gcomm://" --wsrep-new-cluster
  mariadb --no-defaults --socket="$dir/node1/mysqld.sock" -uroot <<SQL
CREATE USER IF NOT EXISTS 'chartroom'@'127.0.0.1' IDENTIFIED BY 'chartroom-test';
CREATE USER IF NOT EXISTS 'chartroom'@'localhost' IDENTIFIED BY 'chartroom-test';
GRANT ALL PRIVILEGES ON *.* TO 'chartroom'@'127.0.0.1' WITH GRANT OPTION;
GRANT ALL PRIVILEGES ON *.* TO 'chartroom'@'localhost' WITH GRANT OPTION;
SQL
  for n in $(seq 2 $nodes); do start_node "$n" "$dir" "gcomm://$peers"; done
  hosts=""
  for n in $(seq 1 $nodes); do hosts="$hosts${hosts:+,}127.0.0.1:$((base + n))"; done
  echo "export ATLASDESK_GALERA_HOSTS=$hosts"
  echo "export ATLASDESK_GALERA_DIR=$dir"
  echo "export ATLASDESK_GALERA_USER=chartroom"
  echo "export ATLASDESK_GALERA_PASSWORD=chartroom-test"
  ;;
restart)
  dir=$2 n=$3
  pidf=$dir/node$n/mysqld.pid
  if [ -f "$pidf" ] && kill -0 "$(cat "$pidf")" 2>/dev/null; then
    echo "galera-cluster: node $n is running" >&2
    exit 1
  fi
  start_node "$n" "$dir" "gcomm://$(peers)"
  ;;
stop)
  dir=$2
  for n in $(seq $nodes -1 1); do
    pidf=$dir/node$n/mysqld.pid
    [ -f "$pidf" ] || continue
    pid=$(cat "$pidf")
    kill -CONT "$pid" 2>/dev/null || true
    mariadb-admin --no-defaults --socket="$dir/node$n/mysqld.sock" -uroot shutdown >/dev/null 2>&1 ||
      kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 60); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
    kill -9 "$pid" 2>/dev/null || true
  done
  ;;
*) echo "usage: $0 start DIR | stop DIR | restart DIR N | available" >&2; exit 2 ;;
esac
