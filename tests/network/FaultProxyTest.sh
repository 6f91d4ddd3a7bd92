#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Requests and a firmware upgrade through kelvo-udp-fault-proxy, which drops, duplicates and
# reorders chosen datagrams, the same ones on every run. One manager session
# (kelvo-session-driver) talks to the proxy on 127.0.0.9 as if it were the access point:
#   - a duplicated or late reply is never taken as the answer to a later request (each get
#     asks for a different variable, so a stale answer shows as a wrong value);
#   - a request whose reply is lost or comes too late ends with exactly the time-out message,
#     and the next request works;
#   - kelvo-cli's firmware upgrade, with both the SNMP and the TFTP traffic relayed through
#     faulty proxies, delivers an identical image or ends with "Upgrade firmware fail!".
#
# Usage: FaultProxyTest.sh KELVO_APSIM KELVO_CLI KELVO_SESSION_DRIVER KELVO_UDP_FAULT_PROXY
# Exit status: 0 passed, 1 failed.
set -u

APSIM=${1:?usage: FaultProxyTest.sh APSIM CLI DRIVER PROXY}
CLI=${2:?}
DRIVER=${3:?}
PROXY=${4:?}
readonly AGENT=127.0.0.2
readonly RELAY=127.0.0.9
readonly PASSWORD=proxy-admin
readonly NAME_OID=1.3.6.1.4.1.15177.1.2.1.10.0
readonly IP_OID=1.3.6.1.4.1.15177.1.1.2.1.0
readonly TIMEOUT_MESSAGE="Snmp Time out!  Please check your network is available and Agent was not be shutdown..."
readonly UPGRADE_FAILED="Upgrade firmware fail!"

log() { echo "[proxy] $*" >&2; }

work=$(mktemp -d /tmp/kelvo-proxy-XXXXXX) || exit 1
mkdir -p "$work/images" "$work/settings/Firmware"
apsim_pid=
cleanup() {
  stop_scenario
  [[ -n $apsim_pid ]] && kill "$apsim_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Ports of the firmware transfer: the manager's server and the proxy the device fetches from.
readonly TFTP_SERVER_PORT=$((20000 + $$ % 20000))
readonly TFTP_RELAY_PORT=$((TFTP_SERVER_PORT + 1))

# The simulator reads a FIFO that this script holds open: should the script die, the
# simulator sees the end of its input and ends too.
mkfifo "$work/apsim-in.fifo"
exec {apsim_out}< <(KELVO_APSIM_PASSWORD=$PASSWORD exec "$APSIM" --count 1 --first "$AGENT" --port 0 \
  --tftp-port "$TFTP_RELAY_PORT" --tftp-timeout 300 --tftp-tries 8 --image-dir "$work/images" \
  <"$work/apsim-in.fifo" 2>"$work/apsim.err")
apsim_pid=$!
exec {apsim_in}>"$work/apsim-in.fifo"
read -r -t 10 ready <&"$apsim_out" || { log "the simulator did not start"; exit 1; }
readonly AGENT_PORT=${ready#ready port=}
SCENARIO=setup
FAILURES=0
fail() {
  log "FAIL [$SCENARIO]: $*"
  ((FAILURES++))
}

# Starts a proxy in front of the agent with the faults given and a fresh manager session
# talking to it.
start_scenario() {
  SCENARIO=$1
  shift
  rm -f "$work"/*.fifo
  mkfifo "$work/proxy-in.fifo" "$work/proxy-out.fifo" "$work/driver-in.fifo" "$work/driver-out.fifo"
  "$PROXY" --listen "$RELAY:0" --upstream "$AGENT:$AGENT_PORT" "$@" \
    <"$work/proxy-in.fifo" >"$work/proxy-out.fifo" &
  proxy_pid=$!
  exec {proxy_in}>"$work/proxy-in.fifo" {proxy_out}<"$work/proxy-out.fifo"
  read -r -t 10 _ proxy_port <&"$proxy_out" || { log "the proxy did not start"; exit 1; }
  "$DRIVER" --port "$proxy_port" <"$work/driver-in.fifo" >"$work/driver-out.fifo" \
    2>"$work/driver.err" &
  driver_pid=$!
  exec {driver_in}>"$work/driver-in.fifo" {driver_out}<"$work/driver-out.fifo"
}

stop_scenario() {
  [[ -z ${driver_pid:-} ]] && return
  exec {driver_in}>&-
  wait "$driver_pid" || fail "the driver ended with status $?"
  exec {proxy_in}>&-
  local line
  while read -r -t 5 line <&"$proxy_out"; do log "  $SCENARIO: $line"; done
  wait "$proxy_pid"
  exec {proxy_out}<&- {driver_out}<&-
  driver_pid=
}

ask() {
  echo "$*" >&"$driver_in"
  REPLY_LINES=()
  local line
  while read -r -t 30 line <&"$driver_out"; do
    [[ $line == . ]] && return 0
    REPLY_LINES+=("$line")
  done
  log "FAIL: the driver stopped answering ($*)"
  exit 1
}

# expect_get OID VALUE: the read through the proxy answers with exactly this value.
expect_get() {
  ask get "$RELAY" "$1"
  [[ ${#REPLY_LINES[@]} == 2 && ${REPLY_LINES[0]} == "value $1"$'\t'"$2" && ${REPLY_LINES[1]} == ok ]] ||
    fail "get $1: expected $2, got: ${REPLY_LINES[*]}"
}

expect_timeout() {
  local started
  started=$(date +%s%N)
  ask "$@"
  local took=$((($(date +%s%N) - started) / 1000000))
  [[ ${#REPLY_LINES[@]} == 2 && ${REPLY_LINES[0]} == "message $TIMEOUT_MESSAGE" &&
    ${REPLY_LINES[1]} == failed ]] || fail "$1: expected the time-out message, got: ${REPLY_LINES[*]}"
  ((took >= 1900 && took < 3000)) || fail "$1: the time-out took $took ms"
}

expect_set() {
  ask set "$RELAY" "$PASSWORD" "$NAME_OID" s "$1"
  [[ ${REPLY_LINES[-1]} == ok ]] || fail "set name $1: ${REPLY_LINES[*]}"
}

# The device's name, read directly (not through a proxy) before the scenarios.
AGENT_NAME=$(echo "get $AGENT $NAME_OID" | "$DRIVER" --port "$AGENT_PORT" |
  awk -F '\t' '/^value / { print $2 }')
[[ -n $AGENT_NAME ]] || { log "cannot read the device name"; exit 1; }

# Replies 1 and 3 come twice: the copies wait in the socket when the next request goes out.
start_scenario duplicated-replies --duplicate down:1,3
expect_get "$NAME_OID" "$AGENT_NAME"
expect_get "$IP_OID" "$AGENT"
expect_get "$NAME_OID" "$AGENT_NAME"
expect_get "$IP_OID" "$AGENT"
stop_scenario

# Requests 1 and 2 reach the agent twice: a repeated write is applied twice, harmlessly, and
# the second answers are not taken for later requests.
start_scenario duplicated-requests --duplicate up:1,2
expect_get "$IP_OID" "$AGENT"
expect_set "renamed-twice"
expect_get "$NAME_OID" "renamed-twice"
expect_get "$IP_OID" "$AGENT"
expect_set "$AGENT_NAME"
stop_scenario

# Reply 1 is held past the time-out and arrives after reply 2; request 3 finds it waiting.
start_scenario late-reply --hold down:1 --hold-ms 2500
expect_timeout get "$RELAY" "$NAME_OID"
expect_get "$IP_OID" "$AGENT"
expect_get "$NAME_OID" "$AGENT_NAME"
stop_scenario

# Request 2 and reply 3 held for 300 ms, well within the time-out: late but still answers.
start_scenario delayed-within-time-out --hold up:2 --hold-ms 300 --hold down:3 --hold-ms 300
expect_get "$NAME_OID" "$AGENT_NAME"
expect_get "$IP_OID" "$AGENT"
expect_get "$NAME_OID" "$AGENT_NAME"
expect_get "$IP_OID" "$AGENT"
stop_scenario

# Lost datagrams in both directions: reply 2 and request 4 (the write), then everything works.
start_scenario lost-datagrams --drop down:2 --drop up:4
expect_get "$NAME_OID" "$AGENT_NAME"
expect_timeout get "$RELAY" "$IP_OID"
expect_get "$IP_OID" "$AGENT"
expect_timeout set "$RELAY" "$PASSWORD" "$NAME_OID" s never-written
expect_get "$NAME_OID" "$AGENT_NAME"
stop_scenario

# Firmware: kelvo-cli asks the proxy on 127.0.0.9, so its TFTP server lends the image only to
# 127.0.0.9; a second proxy on the TFTP path relays the device's transfer from that address.
# run_firmware LABEL SNMP_FAULTS -- TFTP_FAULTS
run_firmware() {
  SCENARIO=$1
  shift
  local snmp_faults=() tftp_faults=()
  while (($# > 0)) && [[ $1 != -- ]]; do snmp_faults+=("$1"); shift; done
  shift
  tftp_faults=("$@")
  rm -f "$work/images/$AGENT.dlf" "$work"/*.fifo
  mkfifo "$work/snmp-in.fifo" "$work/snmp-out.fifo" "$work/tftp-in.fifo" "$work/tftp-out.fifo"
  "$PROXY" --listen "$RELAY:0" --upstream "$AGENT:$AGENT_PORT" "${snmp_faults[@]}" \
    <"$work/snmp-in.fifo" >"$work/snmp-out.fifo" &
  local snmp_pid=$! snmp_port snmp_in snmp_out
  exec {snmp_in}>"$work/snmp-in.fifo" {snmp_out}<"$work/snmp-out.fifo"
  read -r -t 10 _ snmp_port <&"$snmp_out" || { log "the SNMP proxy did not start"; exit 1; }
  "$PROXY" --listen "127.0.0.1:$TFTP_RELAY_PORT" --upstream "127.0.0.1:$TFTP_SERVER_PORT" \
    --source "$RELAY" --follow-upstream-port "${tftp_faults[@]}" \
    <"$work/tftp-in.fifo" >"$work/tftp-out.fifo" &
  local tftp_pid=$! tftp_in tftp_out
  exec {tftp_in}>"$work/tftp-in.fifo" {tftp_out}<"$work/tftp-out.fifo"
  read -r -t 10 _ <&"$tftp_out" || { log "the TFTP proxy did not start"; exit 1; }

  local start status
  start=$(date +%s%N)
  KELVO_COMMUNITY=$PASSWORD timeout 100 "$CLI" --port "$snmp_port" firmware \
    --settings-path "$work/settings" --tftp-port "$TFTP_SERVER_PORT" "$RELAY" "$work/image.dlf" \
    >"$work/fw.out" 2>"$work/fw.err"
  status=$?
  local took=$((($(date +%s%N) - start) / 1000000))
  exec {snmp_in}>&- {tftp_in}>&-
  local line
  while read -r -t 5 line <&"$snmp_out"; do log "  $SCENARIO: snmp $line"; done
  while read -r -t 5 line <&"$tftp_out"; do log "  $SCENARIO: tftp $line"; done
  wait "$snmp_pid" "$tftp_pid"
  exec {snmp_out}<&- {tftp_out}<&-
  if ((${EXPECT_FAILURE:-0})) && ((status == 0)); then
    fail "the upgrade succeeded although no datagram reached the server"
  elif ((status == 0)) && cmp -s "$work/image.dlf" "$work/images/$AGENT.dlf"; then
    log "$SCENARIO: upgrade completed in $took ms, image identical"
  elif ((status != 0)) && tr '\r' '\n' <"$work/fw.err" | grep -qxF "$UPGRADE_FAILED"; then
    log "$SCENARIO: upgrade failed cleanly after $took ms"
  else
    fail "status $status after $took ms; stderr: $(tr '\r' '\n' <"$work/fw.err")"
  fi
}

head -c $((24 * 1024 + 100)) /dev/urandom >"$work/image.dlf"
run_firmware firmware-clean --
run_firmware firmware-faulty-transfer --duplicate down:1 -- \
  --drop down:5,%17 --duplicate down:%7 --hold down:%11 --drop up:3,%13 --duplicate up:%5 --hold up:%19
# A third of the server's datagrams and a quarter of the device's lost.
run_firmware firmware-heavy-loss -- --drop down:%3 --drop up:%4
# The device's requests never reach the server: the upgrade must fail, and say so.
EXPECT_FAILURE=1 run_firmware firmware-transfer-cut -- --drop up:%1

if ((FAILURES > 0)); then
  log "failed ($FAILURES faults)"
  exit 1
fi
log "passed"
