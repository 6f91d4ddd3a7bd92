#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The packet receive test across a slow link counts only what arrived. Two network namespaces,
# the computer's and the device's, are joined by a veth pair whose computer end sends through a
# 6 Mbit/s token bucket (about what 802.11b carries); the simulated device under test runs in
# its namespace, and kelvo-bench-shaped-link drives the RF test window's model in the other:
# the stream's count must equal the datagrams the device received. A plain sendto() loop runs
# the same test afterwards for contrast (its numbers are printed, not checked).
#
# Usage: ShapedLinkTest.sh KELVO_APSIM KELVO_BENCH_SHAPED_LINK [COUNT]
# Exit status: 0 passed, 1 failed, 77 skipped (not root, or no namespaces, veth or tbf).
set -u

readonly SKIP=77
readonly COMPUTER=10.77.0.1
readonly DEVICE=10.77.0.2
readonly AGENT_PORT=1161

log() { echo "[shaped] $*" >&2; }

APSIM=${1:?usage: ShapedLinkTest.sh KELVO_APSIM KELVO_BENCH_SHAPED_LINK [COUNT]}
BENCH=${2:?usage: ShapedLinkTest.sh KELVO_APSIM KELVO_BENCH_SHAPED_LINK [COUNT]}
COUNT=${3:-3000}
PATH="$PATH:/usr/sbin:/sbin"

if [[ $(id -u) != 0 ]]; then
  log "two named network namespaces need root; skipped"
  exit $SKIP
fi
for tool in ip tc; do
  if ! command -v "$tool" >/dev/null; then
    log "$tool is not available; skipped"
    exit $SKIP
  fi
done

computer=kelvo-computer-$$
device=kelvo-device-$$
apsim_pid=
cleanup() {
  [[ -n $apsim_pid ]] && kill "$apsim_pid" 2>/dev/null && wait "$apsim_pid" 2>/dev/null
  ip netns del "$computer" 2>/dev/null
  ip netns del "$device" 2>/dev/null
}
trap cleanup EXIT

if ! ip netns add "$computer" || ! ip netns add "$device"; then
  log "network namespaces cannot be made here; skipped"
  exit $SKIP
fi
ip -n "$computer" link set lo up
ip -n "$device" link set lo up
if ! ip -n "$computer" link add kelvo-wlan type veth peer name kelvo-dut netns "$device"; then
  log "no veth pairs here; skipped"
  exit $SKIP
fi
ip -n "$computer" address add "$COMPUTER/24" dev kelvo-wlan
ip -n "$device" address add "$DEVICE/24" dev kelvo-dut
ip -n "$computer" link set kelvo-wlan up
ip -n "$device" link set kelvo-dut up
# A queue of 50 ms at the rate: what does not fit is dropped at the interface.
if ! tc -n "$computer" qdisc add dev kelvo-wlan root tbf rate 6mbit burst 16kb latency 50ms; then
  log "no tbf queueing discipline here; skipped"
  exit $SKIP
fi
tc -n "$computer" qdisc show dev kelvo-wlan >&2

coproc APSIM {
  exec ip netns exec "$device" "$APSIM" --count 1 --first "$DEVICE" --port "$AGENT_PORT"
}
apsim_pid=$APSIM_PID
if ! read -r -t 10 ready <&"${APSIM[0]}"; then
  log "the simulated device did not start"
  exit 1
fi
log "device under test at $DEVICE:$AGENT_PORT ($ready)"

ip netns exec "$computer" "$BENCH" --device "$DEVICE" --wireless "$COMPUTER" \
  --agent-port "$AGENT_PORT" --count "$COUNT" --plain
status=$?
log "exit status $status"
exit $status
