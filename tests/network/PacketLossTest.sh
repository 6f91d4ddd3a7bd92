#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Discovery, reads, writes and a firmware upgrade under 10% and then 30% random loss. In a
# network namespace of its own, an nftables rule on the input hook drops that share of UDP
# datagrams (loopback traffic passes input once per datagram, so both directions lose).
# Three simulated access points and one manager session (kelvo-session-driver) run there:
#   - a request that got no answer shows exactly the time-out message, nothing else;
#   - the session stays usable: after each time-out the loss is lifted for one request,
#     which must then succeed;
#   - replies that do arrive carry the right values, and discovery lists only real rows;
#   - kelvo-cli's firmware upgrade either completes with the image intact on the access point
#     or ends with "Upgrade firmware fail!".
#
# Usage: PacketLossTest.sh KELVO_APSIM KELVO_CLI KELVO_SESSION_DRIVER [REQUESTS]
# Exit status: 0 passed, 1 failed, 77 skipped (no namespaces or nft).
set -u

readonly SKIP=77
readonly AGENT_PORT=1161
readonly TFTP_PORT=1069
readonly AGENTS="127.0.0.2 127.0.0.3 127.0.0.4"
readonly PASSWORD=loss-admin
readonly DEVICE_NAME_OID=1.3.6.1.4.1.15177.1.2.1.10.0
readonly IP_ADDRESS_OID=1.3.6.1.4.1.15177.1.1.2.1.0
readonly TIMEOUT_MESSAGE="Snmp Time out!  Please check your network is available and Agent was not be shutdown..."
readonly UPGRADE_FAILED="Upgrade firmware fail!"

log() { echo "[loss] $*" >&2; }

find_program() { PATH="$PATH:/usr/sbin:/sbin" command -v "$1" 2>/dev/null; }

set_loss() {
  nft flush chain inet kelvo_loss input &&
    { (($1 == 0)) || nft add rule inet kelvo_loss input meta l4proto udp numgen random mod 100 '<' "$1" drop; }
}

# One command to the driver; the answer's lines (without ".") in REPLY_LINES.
ask() {
  echo "$*" >&"${SESSION[1]}"
  REPLY_LINES=()
  local line
  while read -r -t 70 line <&"${SESSION[0]}"; do
    [[ $line == . ]] && return 0
    REPLY_LINES+=("$line")
  done
  log "FAIL: the driver stopped answering ($*)"
  exit 1
}

FAILURES=0
fail() {
  log "FAIL: $*"
  ((FAILURES++))
}

# After a time-out: the lost reply must leave nothing behind, so with the loss lifted the very
# next request succeeds with the right values.
check_usable_after_timeout() {
  local loss=$1 agent=$2
  set_loss 0
  ask get "$agent" "$IP_ADDRESS_OID"
  [[ ${REPLY_LINES[-1]} == ok && ${REPLY_LINES[0]} == "value $IP_ADDRESS_OID"$'\t'"$agent" ]] ||
    fail "the request after a time-out: ${REPLY_LINES[*]}"
  set_loss "$loss"
}

# Classifies the answer of a get or set: "ok", "timeout" or a failure.
classify() {
  local what=$1
  if [[ ${REPLY_LINES[-1]} == ok ]]; then
    OUTCOME=ok
  elif ((${#REPLY_LINES[@]} == 2)) && [[ ${REPLY_LINES[0]} == "message $TIMEOUT_MESSAGE" ]]; then
    OUTCOME=timeout
  else
    OUTCOME=bad
    fail "$what: ${REPLY_LINES[*]}"
  fi
}

run_requests() {
  local loss=$1 requests=$2 i agent ok=0 timeouts=0 listed=0 rounds=0 start end
  start=$(date +%s%N)
  for ((i = 0; i < requests; i++)); do
    agent=127.0.0.$((2 + i % 3))
    case $((i % 4)) in
      0)
        ask discover 300 $AGENTS
        ((rounds++))
        local line
        for line in "${REPLY_LINES[@]}"; do
          case $line in
            ap\ *) ((listed++)) ;;
            ok) ;;
            *) fail "discovery: $line" ;;
          esac
          [[ $line == ap\ * && ! $line =~ ^ap\ 127\.0\.0\.[234]$'\t'. ]] && fail "discovery listed $line"
        done
        ;;
      1 | 2)
        ask get "$agent" "$IP_ADDRESS_OID" "$DEVICE_NAME_OID"
        classify "get from $agent"
        if [[ $OUTCOME == ok ]]; then
          [[ ${REPLY_LINES[0]} == "value $IP_ADDRESS_OID"$'\t'"$agent" ]] || fail "get from $agent: ${REPLY_LINES[*]}"
          ((ok++))
        elif [[ $OUTCOME == timeout ]]; then
          ((timeouts++))
          check_usable_after_timeout "$loss" "$agent"
        fi
        ;;
      3)
        ask set "$agent" "$PASSWORD" "$DEVICE_NAME_OID" s "loss$loss-$i"
        classify "set on $agent"
        if [[ $OUTCOME == ok ]]; then
          ((ok++))
        elif [[ $OUTCOME == timeout ]]; then
          ((timeouts++))
          check_usable_after_timeout "$loss" "$agent"
        fi
        ;;
    esac
  done
  end=$(date +%s%N)
  log "$loss% loss: $requests requests in $(((end - start) / 1000000)) ms: $ok answered," \
    "$timeouts timed out (each followed by a working request), discovery listed $listed of" \
    "$((rounds * 3)) rows"
}

# kelvo-cli's upgrade of 127.0.0.2 under the current loss; the image must arrive intact or the
# upgrade must say it failed.
run_firmware() {
  local loss=$1 work=$2 attempt status start end
  for ((attempt = 1; attempt <= 3; attempt++)); do
    rm -f "$work/images/127.0.0.2.dlf"
    start=$(date +%s%N)
    KELVO_COMMUNITY=$PASSWORD timeout 120 "$CLI" --port "$AGENT_PORT" firmware \
      --settings-path "$work/settings" --tftp-port "$TFTP_PORT" 127.0.0.2 "$work/image.dlf" \
      >"$work/fw.out" 2>"$work/fw.err"
    status=$?
    end=$(date +%s%N)
    # The preparing set's reply lost: the upgrade never started; try again.
    if grep -q "^Reset device, please wait a moment" "$work/fw.err"; then
      log "$loss% loss: firmware attempt $attempt: the prepare request timed out"
      continue
    fi
    if ((status == 0)) && cmp -s "$work/image.dlf" "$work/images/127.0.0.2.dlf"; then
      log "$loss% loss: firmware upgrade completed in $(((end - start) / 1000000)) ms, image identical"
    elif ((status != 0)) && grep -qxF "$UPGRADE_FAILED" <(tr '\r' '\n' <"$work/fw.err"); then
      log "$loss% loss: firmware upgrade failed cleanly after $(((end - start) / 1000000)) ms"
    else
      fail "firmware upgrade under $loss% loss: status $status, stderr: $(cat "$work/fw.err")"
    fi
    return
  done
  log "$loss% loss: no firmware attempt got past the prepare request"
}

inside() {
  local work=$1
  ip link set dev lo up || return $SKIP
  nft add table inet kelvo_loss &&
    nft add chain inet kelvo_loss input '{ type filter hook input priority 0; }' || return $SKIP

  # The simulator reads a FIFO that this script holds open: should the script die, the
  # simulator sees the end of its input and ends too.
  mkfifo "$work/apsim-in.fifo"
  exec {apsim_out}< <(KELVO_APSIM_PASSWORD=$PASSWORD exec "$APSIM" --count 3 --first 127.0.0.2 \
    --port "$AGENT_PORT" --tftp-port "$TFTP_PORT" --tftp-timeout 300 --tftp-tries 8 \
    --image-dir "$work/images" <"$work/apsim-in.fifo" 2>"$work/apsim.err")
  local apsim_pid=$! apsim_in
  exec {apsim_in}>"$work/apsim-in.fifo"
  read -r -t 10 _ <&"$apsim_out" || { log "the simulator did not start"; return 1; }
  coproc SESSION { exec "$DRIVER" --port "$AGENT_PORT" 2>"$work/driver.err"; }
  local driver_pid=$SESSION_PID session_in=${SESSION[1]}

  local loss
  for loss in 10 30; do
    set_loss "$loss"
    run_requests "$loss" "$REQUESTS"
    run_firmware "$loss" "$work"
  done
  set_loss 0
  kill -0 "$driver_pid" 2>/dev/null || fail "the driver died: $(cat "$work/driver.err")"
  exec {session_in}>&-
  wait "$driver_pid"
  kill "$apsim_pid"
  wait "$apsim_pid" 2>/dev/null
  ((FAILURES == 0))
}

if [[ ${1:-} == --inside ]]; then
  inside "$2"
  exit $?
fi

export APSIM=${1:?usage: PacketLossTest.sh KELVO_APSIM KELVO_CLI KELVO_SESSION_DRIVER [REQUESTS]}
export CLI=${2:?}
export DRIVER=${3:?}
export REQUESTS=${4:-40}
for tool in unshare nft ip; do
  if [[ -z $(find_program "$tool") ]]; then
    log "$tool is not available; skipped"
    exit $SKIP
  fi
done
PATH="$PATH:/usr/sbin:/sbin"

work=$(mktemp -d /tmp/kelvo-loss-XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/images" "$work/settings/Firmware"
head -c $((16 * 1024 + 7)) /dev/urandom >"$work/image.dlf"

if [[ $(id -u) == 0 ]]; then namespace=(unshare -n); else namespace=(unshare -rn); fi
if ! "${namespace[@]}" true 2>/dev/null; then
  log "network namespaces cannot be made here; skipped"
  exit $SKIP
fi
timeout -k 5 280 "${namespace[@]}" bash "$0" --inside "$work"
status=$?
((status == 0)) && log "passed" || log "failed (status $status)"
exit $status
