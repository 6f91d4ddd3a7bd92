#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# A flood of damaged and forged replies (kelvo-datagram-flood) at the manager's listening port
# while the manager (kelvo-session-driver, one AgentSession) discovers and reads three
# simulated access points on loopback. Passes when the manager survives, lists only the real
# access points, never reads a wrong value, answers correctly once the flood is over, and its
# resident memory grows by less than MAX_GROWTH_KB.
#
# Usage: DatagramFloodTest.sh KELVO_APSIM KELVO_SESSION_DRIVER KELVO_DATAGRAM_FLOOD [COUNT]
# COUNT defaults to 1000000. Exit status: 0 passed, 1 failed.
set -u

APSIM=${1:?usage: DatagramFloodTest.sh APSIM DRIVER FLOOD [COUNT]}
DRIVER=${2:?}
FLOOD=${3:?}
COUNT=${4:-1000000}
readonly AGENTS="127.0.0.2 127.0.0.3 127.0.0.4"
readonly DEVICE_NAME_OID=1.3.6.1.4.1.15177.1.2.1.10.0
# The name and the access point's own IP address, which differ between access points.
readonly READ_OIDS="$DEVICE_NAME_OID 1.3.6.1.4.1.15177.1.1.2.1.0"
readonly MAX_GROWTH_KB=32768
readonly TIMEOUT_MESSAGE="Snmp Time out!  Please check your network is available and Agent was not be shutdown..."
# ASan keeps freed memory in quarantine; a small one lets the figures show real growth.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=8"

log() { echo "[flood] $*" >&2; }

work=$(mktemp -d /tmp/kelvo-flood-XXXXXX) || exit 1
apsim_pid='' driver_pid='' flood_pid=''
cleanup() {
  [[ -n $flood_pid ]] && kill "$flood_pid" 2>/dev/null
  [[ -n $driver_pid ]] && kill "$driver_pid" 2>/dev/null
  [[ -n $apsim_pid ]] && kill "$apsim_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The simulator reads a FIFO that this script holds open: should the script die, the
# simulator sees the end of its input and ends too.
mkfifo "$work/apsim-in.fifo"
exec {apsim_out}< <(exec "$APSIM" --count 3 --first 127.0.0.2 --port 0 <"$work/apsim-in.fifo" \
  2>"$work/apsim.err")
apsim_pid=$!
exec {apsim_in}>"$work/apsim-in.fifo"
read -r -t 10 ready <&"$apsim_out" || { log "the simulator did not start"; exit 1; }
agent_port=${ready#ready port=}

coproc DRIVER { exec "$DRIVER" --port "$agent_port" --listen 0 2>"$work/driver.err"; }
driver_pid=$DRIVER_PID
read -r -t 10 ready listen_port <&"${DRIVER[0]}" || { log "the driver did not start"; exit 1; }
log "agents on port $agent_port, manager listening on $listen_port (pid $driver_pid)"

# Sends one command to the driver; its answer (without the final ".") lands in REPLY_LINES.
ask() {
  echo "$*" >&"${DRIVER[1]}"
  REPLY_LINES=()
  local line
  while read -r -t 30 line <&"${DRIVER[0]}"; do
    [[ $line == . ]] && return 0
    REPLY_LINES+=("$line")
  done
  log "FAIL: the driver stopped answering ($*)"
  exit 1
}

memory() {
  awk '/^VmRSS:/ { rss = $2 } /^VmHWM:/ { hwm = $2 } END { print rss, hwm }' \
    "/proc/$driver_pid/status"
}

# The values each access point should give, read before the flood.
declare -A expected_values
for agent in $AGENTS; do
  ask get "$agent" $READ_OIDS
  [[ ${REPLY_LINES[-1]} == ok ]] || { log "FAIL: baseline read of $agent: ${REPLY_LINES[*]}"; exit 1; }
  expected_values[$agent]=$(printf '%s\n' "${REPLY_LINES[@]}" | grep '^value ')
done
ask discover 500 $AGENTS
expected_list=$(printf '%s\n' "${REPLY_LINES[@]}" | grep '^ap ' | sort)
[[ $(grep -c . <<<"$expected_list") == 3 ]] || { log "FAIL: baseline discovery: $expected_list"; exit 1; }
read -r rss_before hwm_before < <(memory)
log "before: VmRSS $rss_before kB, VmHWM $hwm_before kB"

agent_args=()
for agent in $AGENTS; do agent_args+=(--agent "$agent:$agent_port"); done
"$FLOOD" --target "127.0.0.1:$listen_port" "${agent_args[@]}" --count "$COUNT" >"$work/flood.out" 2>&1 &
flood_pid=$!

rounds=0 reads_ok=0 reads_timed_out=0 partial_lists=0 failures=0
# Checks one round of discovery and reads; wrong values and foreign rows are failures, missing
# answers (the manager's socket overflowing with the flood) are only counted.
round() {
  local agent line
  ask discover 300 $AGENTS
  for line in "${REPLY_LINES[@]}"; do
    [[ $line == ap* ]] || continue
    if ! grep -qxF "$line" <<<"$expected_list"; then
      log "FAIL: discovery listed $line"
      ((failures++))
    fi
  done
  (($(printf '%s\n' "${REPLY_LINES[@]}" | grep -c '^ap ') < 3)) && ((partial_lists++))
  for agent in $AGENTS; do
    ask get "$agent" $READ_OIDS
    if [[ ${REPLY_LINES[-1]} == ok ]]; then
      if [[ $(printf '%s\n' "${REPLY_LINES[@]}" | grep '^value ') == "${expected_values[$agent]}" ]]; then
        ((reads_ok++))
      else
        log "FAIL: wrong values from $agent: ${REPLY_LINES[*]}"
        ((failures++))
      fi
    elif [[ ${REPLY_LINES[0]} == "message $TIMEOUT_MESSAGE" ]]; then
      ((reads_timed_out++))
    else
      log "FAIL: read of $agent: ${REPLY_LINES[*]}"
      ((failures++))
    fi
  done
  ((rounds++))
}

start=$(date +%s%N)
while kill -0 "$flood_pid" 2>/dev/null; do round; done
wait "$flood_pid"
flood_status=$?
flood_pid=
end=$(date +%s%N)
cat "$work/flood.out" >&2
((flood_status == 0)) || { log "FAIL: the flood ended with status $flood_status"; exit 1; }
kill -0 "$driver_pid" 2>/dev/null || { log "FAIL: the manager died"; cat "$work/driver.err" >&2; exit 1; }
read -r rss_during _ < <(memory)

# Once the flood is over everything must work again at once.
before_after=$((reads_ok))
round
((reads_ok - before_after == 3)) || { log "FAIL: reads after the flood did not all succeed"; ((failures++)); }
ask discover 500 $AGENTS
[[ $(printf '%s\n' "${REPLY_LINES[@]}" | grep '^ap ' | sort) == "$expected_list" ]] ||
  { log "FAIL: discovery after the flood: ${REPLY_LINES[*]}"; ((failures++)); }
read -r rss_after hwm_after < <(memory)

log "during the flood ($(((end - start) / 1000000)) ms): $rounds rounds, $reads_ok reads right," \
  "$reads_timed_out timed out, $partial_lists discoveries missed an access point"
log "after:  VmRSS $rss_after kB (at the flood's end $rss_during kB), VmHWM $hwm_after kB"
growth=$((rss_after - rss_before))
if ((growth > MAX_GROWTH_KB)); then
  log "FAIL: resident memory grew by $growth kB"
  ((failures++))
fi
((reads_ok > 0)) || { log "FAIL: no read succeeded during the flood"; ((failures++)); }
if ((failures > 0)); then
  log "failed ($failures faults)"
  exit 1
fi
log "passed (memory growth $growth kB)"
exit 0
