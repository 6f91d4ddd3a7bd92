#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Three simulated access points and the manager, each in its own network namespace on one
# bridge, on the real agent port 161 and with discovery to the real limited broadcast: the
# set-up of a small wireless segment, with no root needed. A user namespace gives us the
# capabilities inside; a PID namespace (where available) takes every process down with it.
#
# Usage: NamespaceDiscoveryTest.sh KELVO_APSIM KELVO_CLI
# Exit status: 0 passed, 1 failed, 77 skipped (namespaces cannot be made on this machine).
#
# Layout (10.77.0.0/24):
#   switch namespace   br0, one veth per node
#   manager            10.77.0.10, runs kelvo-cli
#   ap1..ap3           10.77.0.11..13, one kelvo-apsim --count 1 --port 161 each
set -u

readonly SKIP=77
readonly DEVICE_NAME_OID=1.3.6.1.4.1.15177.1.2.1.10.0
readonly ADMIN_PASSWORD=bridge-admin
readonly MANAGER_ADDRESS=10.77.0.10
readonly AP_ADDRESSES="10.77.0.11 10.77.0.12 10.77.0.13"
# The whole run's limit. Where a PID namespace could be made, unshare --kill-child then ends
# every node with it.
readonly LIFETIME_SECONDS=30

log() { echo "[$1] ${*:2}" >&2; }

# Waits up to $2 tenths of a second for the command in $3... to succeed.
wait_for() {
  local what=$1 tenths=$2
  shift 2
  local i
  for ((i = 0; i < tenths * 2; i++)); do
    "$@" 2>/dev/null && return 0
    sleep 0.05
  done
  log wait "timed out waiting for $what"
  return 1
}

# Inside a fresh network namespace: waits for the veth end the switch moves in as eth0 and
# gives it the address; a default route on it carries the limited broadcast.
configure_node() {
  local work=$1 name=$2 address=$3
  : >"$work/$name.netns"
  wait_for "eth0 in $name" 100 ip link show dev eth0 >/dev/null || return 1
  ip link set dev lo up &&
    ip address add "$address/24" brd + dev eth0 &&
    ip link set dev eth0 up &&
    ip route add default dev eth0
}

# Role "ap": one access point on port 161 of its own namespace.
run_ap() {
  local work=$1 name=$2 apsim=$3 address=$4
  configure_node "$work" "$name" "$address" || exit 1
  # Exec'd, so that the switch signals the simulator itself. Its input is the switch's FIFO:
  # should the switch die, the simulator ends too.
  KELVO_APSIM_PASSWORD=$ADMIN_PASSWORD exec "$apsim" --count 1 --first "$address" --port 161
}

# Runs kelvo-cli with a time limit; stdout to $work/out, stderr to $work/err. Returns its status.
cli() {
  timeout 10 "$CLI" "$@" >"$WORK/out" 2>"$WORK/err"
}

fail() {
  log manager "FAIL: $*"
  log manager "last command's stdout:"
  cat "$WORK/out" >&2
  log manager "last command's stderr:"
  cat "$WORK/err" >&2
  exit 1
}

# Discovery must list exactly the expected rows (address TAB name, any order) and say nothing
# on stderr.
expect_discovered() {
  local expected=$1 label=$2
  shift 2
  cli discover --wait 0.5 "$@" || fail "$label: exit status $?"
  [[ -s $WORK/err ]] && fail "$label: unexpected stderr"
  local listed
  listed=$(sort "$WORK/out")
  [[ $listed == "$expected" ]] ||
    fail "$label: listed"$'\n'"$listed"$'\n'"expected"$'\n'"$expected"
  log manager "ok: $label lists all access points"
}

# Role "manager": the checks, run from the manager's namespace.
run_manager() {
  WORK=$1 CLI=$2
  configure_node "$WORK" manager "$MANAGER_ADDRESS" || exit 1
  # The switch starts the manager once every access point is ready.
  wait_for "the access points" 100 test -e "$WORK/aps-ready" || exit 1

  # A unicast get on port 161 to each access point; its name is what discovery must list.
  local address name expected=""
  for address in $AP_ADDRESSES; do
    cli get "$address" "$DEVICE_NAME_OID" || fail "get from $address: exit status $?"
    [[ -s $WORK/err ]] && fail "get from $address: unexpected stderr"
    name=$(awk -F '\t' -v oid="$DEVICE_NAME_OID" '$1 == oid { print $2 }' "$WORK/out")
    [[ -n $name ]] || fail "get from $address: no device name"
    expected+="$address"$'\t'"$name"$'\n'
  done
  log manager "ok: unicast get from each access point"
  expected=$(printf '%s' "$expected" | sort)

  # Default targets: the limited broadcast and the interface's directed broadcast.
  expect_discovered "$expected" "discover (default targets)"
  # The limited broadcast alone must reach every access point.
  expect_discovered "$expected" "discover --to 255.255.255.255" --to 255.255.255.255

  # A write with the administrator password, read back, and seen by the next discovery.
  local target=10.77.0.12 renamed=renamed-by-manager
  KELVO_COMMUNITY=$ADMIN_PASSWORD cli set "$target" "$DEVICE_NAME_OID" s "$renamed" ||
    fail "set on $target: exit status $?"
  cli get "$target" "$DEVICE_NAME_OID" || fail "get after set: exit status $?"
  [[ $(cat "$WORK/out") == "$DEVICE_NAME_OID"$'\t'"$renamed" ]] ||
    fail "get after set: the new name was not read back"
  log manager "ok: set and get round trip on $target"
  expected=$(printf '%s\n' "$expected" |
    awk -F '\t' -v OFS='\t' -v t="$target" -v n="$renamed" '$1 == t { $2 = n } { print }' | sort)
  expect_discovered "$expected" "discover after the rename"
  exit 0
}

# The nodes' processes, for the exit trap.
NODE_PIDS=()
NODE_NAMES=()

# Role "switch": runs in the outer namespace; builds the bridge, starts the nodes, waits for
# the manager's verdict and stops every access point.
run_switch() {
  local work=$1 apsim=$2 cli_path=$3

  stop_nodes() {
    local i
    for i in "${!NODE_PIDS[@]}"; do kill -TERM "${NODE_PIDS[i]}" 2>/dev/null; done
    for ((i = 0; i < 40; i++)); do
      local alive=0 pid
      for pid in "${NODE_PIDS[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
      ((alive)) || break
      sleep 0.05
    done
    for i in "${!NODE_PIDS[@]}"; do kill -KILL "${NODE_PIDS[i]}" 2>/dev/null; done
    wait 2>/dev/null
  }
  trap stop_nodes EXIT
  trap 'exit 1' TERM INT

  # Starts "$0 ROLE ..." in a new network namespace and plugs it into the bridge.
  start_node() {
    local name=$1
    shift
    mkfifo "$work/$name.in"
    unshare -n bash "$0" "$@" >"$work/$name.out" 2>"$work/$name.err" <"$work/$name.in" &
    local pid=$! input
    # Held open until the switch ends.
    exec {input}>"$work/$name.in"
    NODE_PIDS+=("$pid")
    NODE_NAMES+=("$name")
    # The new namespace exists once the node's script runs in it.
    wait_for "namespace of $name" 100 test -e "$work/$name.netns" || return 1
    ip link add "kv-$name" type veth peer name eth0 netns "$pid" &&
      ip link set dev "kv-$name" master br0 up
  }

  if ! { ip link set dev lo up && ip link add br0 type bridge && ip link set dev br0 up; }; then
    log switch "cannot build the bridge"
    return 1
  fi

  local address i=0 name
  for address in $AP_ADDRESSES; do
    name=ap$((++i))
    start_node "$name" ap "$work" "$name" "$apsim" "$address" || return 1
  done
  for name in "${NODE_NAMES[@]}"; do
    if ! wait_for "$name ready" 100 grep -qx 'ready port=161' "$work/$name.out"; then
      log switch "$name did not start; its stderr:"
      cat "$work/$name.err" >&2
      return 1
    fi
  done
  : >"$work/aps-ready"

  start_node manager manager "$work" "$cli_path" || return 1
  local manager_pid=${NODE_PIDS[-1]} status
  wait "$manager_pid"
  status=$?
  cat "$work/manager.err" >&2
  for ((i = 0; i < ${#NODE_PIDS[@]} - 1; i++)); do
    if ! kill -0 "${NODE_PIDS[i]}" 2>/dev/null; then
      log switch "${NODE_NAMES[i]} ended early; its stderr:"
      cat "$work/${NODE_NAMES[i]}.err" >&2
      status=1
    fi
  done
  return "$status"
}

# Which namespaces this machine lets us make, best first: with a PID namespace and its own
# /proc, every process dies with the test; user namespaces make it work without root. Prints
# the unshare options; fails when none works.
namespace_options() {
  local options
  for options in "-rnpm --fork --kill-child --mount-proc" "-rnp --fork --kill-child" "-rn" \
    "-npm --fork --kill-child --mount-proc" "-np --fork --kill-child" "-n"; do
    # shellcheck disable=SC2086
    if unshare $options sh -c \
      'ip link add kvprobe0 type bridge && ip link add kvprobe1 type veth peer name kvprobe2' \
      >/dev/null 2>&1; then
      echo "$options"
      return 0
    fi
  done
  return 1
}

main() {
  local apsim=$1 cli_path=$2 tool
  for tool in unshare ip timeout awk; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIPPED: $tool is not installed" >&2
      exit "$SKIP"
    fi
  done
  local options
  if ! options=$(namespace_options); then
    echo "SKIPPED: cannot create network namespaces with a bridge and veth pairs here" \
      "(user namespaces disabled or restricted, or no bridge/veth support)" >&2
    exit "$SKIP"
  fi

  WORK_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-netns.XXXXXX") || exit 1
  trap 'rm -rf "$WORK_DIR"' EXIT
  log main "namespaces: unshare $options"
  if [[ $options == *"p --fork"* && $options != *--mount-proc* ]]; then
    # /proc still shows the outer PID namespace, where LeakSanitizer would look for the
    # wrong threads.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
  fi
  # shellcheck disable=SC2086
  timeout -k 2 "$LIFETIME_SECONDS" \
    unshare $options bash "$0" switch "$WORK_DIR" "$apsim" "$cli_path"
  local status=$?
  if ((status == 0)); then
    log main "passed"
  else
    log main "failed (status $status)"
  fi
  return "$status"
}

case ${1:-} in
  switch) run_switch "${@:2}" ;;
  ap) run_ap "${@:2}" ;;
  manager) run_manager "${@:2}" ;;
  *)
    if (($# != 2)); then
      echo "usage: $0 KELVO_APSIM KELVO_CLI" >&2
      exit 2
    fi
    main "$@"
    ;;
esac
