#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The port privilege as the package grants it: an ordinary user (nobody) runs copies of kelvo
# and kelvo-cli with and without the file capability cap_net_bind_service, against one
# simulated access point on the real ports 161 (SNMP) and 69 (TFTP), on loopback in a network
# namespace of its own. With the capability kelvo listens on 161 and kelvo-cli serves a
# firmware image on 69; without it kelvo says "Undetermined Error! Not Listening." and opens
# its window all the same, and kelvo-cli's upgrade ends with the reason and status 1.
#
# Usage: CapabilityTest.sh KELVO KELVO_CLI KELVO_APSIM
# Exit status: 0 passed, 1 failed, 77 skipped (not root, a tool missing, no network namespace,
# or a temporary file system that cannot hold file capabilities).
set -u

readonly SKIP=77
readonly AP=127.0.0.2
readonly NOT_LISTENING="Undetermined Error! Not Listening."

log() { echo "[$1] ${*:2}"; }
skip() {
  log skip "$*"
  exit $SKIP
}
fail() {
  log FAIL "$*"
  exit 1
}

[[ $# -eq 3 ]] || {
  echo "usage: $0 KELVO KELVO_CLI KELVO_APSIM" >&2
  exit 2
}
[[ $(id -u) -eq 0 ]] || skip "needs real root (uid $(id -u))"
for tool in setcap getcap setpriv unshare ss ip; do
  command -v "$tool" >/dev/null || skip "$tool is missing"
done
if [[ -z ${KELVO_CAPABILITY_NAMESPACE:-} ]]; then
  unshare -n true 2>/dev/null || skip "no network namespace can be made"
  KELVO_CAPABILITY_NAMESPACE=1 exec unshare -n bash "$0" "$@"
fi
readonly KELVO=$1 CLI=$2 APSIM=$3

WORK=$(mktemp -d) || fail "no temporary directory"
PIDS=()
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  wait
  rm -rf "$WORK"
}
trap cleanup EXIT

chmod 755 "$WORK"
if ! cp "$CLI" "$WORK/probe" || ! setcap cap_net_bind_service=ep "$WORK/probe" 2>/dev/null ||
  ! getcap "$WORK/probe" | grep -q cap_net_bind_service; then
  skip "$WORK cannot hold file capabilities"
fi
ip link set dev lo up || fail "lo does not come up"
log net "network namespace with lo only: $(ip -brief address show dev lo | tr -s ' ')"

# A copy of each program with the capability, one without; the home of nobody.
mkdir -p "$WORK"/{cap,plain,images} "$WORK"/home/runtime
for copy in cap plain; do cp "$KELVO" "$CLI" "$WORK/$copy/"; done
for program in "$WORK"/cap/*; do
  setcap cap_net_bind_service=ep "$program" || fail "setcap on $program"
done
log setup "$(getcap "$WORK"/cap/* | tr '\n' ' ')"
head -c 70000 /dev/urandom >"$WORK/image.dlf"
chmod 644 "$WORK/image.dlf"
chown -R nobody:nogroup "$WORK/home"
chmod 700 "$WORK/home/runtime"

coproc APSIM_PROCESS {
  exec "$APSIM" --count 1 --first $AP --port 161 --tftp-port 69 \
    --image-dir "$WORK/images" 2>"$WORK/apsim.err"
}
PIDS+=("$APSIM_PROCESS_PID")
read -r -t 20 ready <&"${APSIM_PROCESS[0]}" ||
  fail "the simulator did not start: $(cat "$WORK/apsim.err")"
log apsim "$ready on $AP (TFTP downloads from port 69)"

# As nobody: no groups, no inheritable capabilities, a clean environment without a display, so
# that a run shows Qt reading QT_QPA_PLATFORM under file capabilities; time-limited.
as_nobody() {
  env -i -C "$WORK/home" PATH=/usr/bin:/bin HOME="$WORK/home" \
    XDG_RUNTIME_DIR="$WORK/home/runtime" XDG_DATA_HOME="$WORK/home/data" \
    QT_QPA_PLATFORM=offscreen KELVO_COMMUNITY=admin ASAN_OPTIONS=detect_leaks=0 \
    setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all \
    timeout 120 "$@"
}

# Whether kelvo (by the copies' process name) holds UDP port 161; asked until it does or has
# ended.
kelvo_holds_161() {
  local pid=$1
  while kill -0 "$pid" 2>/dev/null; do
    ss -Hulnp 'sport = :161' | grep -q '(("kelvo",' && return 0
    sleep 0.05
  done
  return 1
}

# kelvo-cli's firmware upgrade: exit status, a text it prints, whether the image arrives.
cli_run() {
  local copy=$1 expected=$2 says=$3 arrives=$4 status
  local out="$WORK/$copy.cli"
  rm -f "$WORK/images/$AP.dlf"
  as_nobody "$WORK/$copy/$(basename "$CLI")" firmware $AP "$WORK/image.dlf" >"$out" 2>&1
  status=$?
  log "cli $copy" "exit $status: $(grep -v '%' "$out" | tr '\n' ' ')"
  [[ $status -eq $expected ]] || fail "kelvo-cli ($copy) exit $status, not $expected"
  grep -qF "$says" "$out" || fail "kelvo-cli ($copy) does not say: $says"
  ! grep -qE 'Sanitizer|runtime error' "$out" || fail "kelvo-cli ($copy) crashed"
  if [[ $arrives == yes ]]; then
    cmp -s "$WORK/image.dlf" "$WORK/images/$AP.dlf" || fail "the image did not arrive intact"
    # Staged in the user's own data directory, as nothing else names a settings path.
    cmp -s "$WORK/image.dlf" "$WORK/home/data/kelvo/Firmware/application.dlf" ||
      fail "the image was not staged under XDG_DATA_HOME"
  elif [[ -e $WORK/images/$AP.dlf ]]; then
    fail "an image arrived without the capability"
  fi
}

# kelvo's screenshot tour: its start-up line, whether it holds port 161, its main window.
kelvo_run() {
  local copy=$1 start_line=$2 holds=$3 held=no status
  local pictures="$WORK/home/pictures-$copy"
  as_nobody "$WORK/$copy/kelvo" --discover-to $AP \
    --screenshot-dir "$pictures" >"$WORK/$copy.out" 2>"$WORK/$copy.err" &
  local pid=$!
  PIDS+=("$pid")
  kelvo_holds_161 "$pid" && held=yes
  wait "$pid"
  status=$?
  log "kelvo $copy" "exit $status, holds 161: $held, stdout: $(cat "$WORK/$copy.out")"
  [[ $status -eq 0 ]] || fail "kelvo ($copy) exit $status: $(tail -5 "$WORK/$copy.err")"
  [[ $(cat "$WORK/$copy.out") == "$start_line" ]] || fail "kelvo ($copy) start-up line"
  [[ $held == "$holds" ]] || fail "kelvo ($copy) holds port 161: $held, not $holds"
  [[ -s $pictures/main-window.png ]] || fail "kelvo ($copy) opened no main window"
  log "kelvo $copy" "pictures: $(cd "$pictures" && echo *.png)"
}

#        copy  exit  kelvo-cli prints                                                 image
cli_run  cap   0     "Upgrade firmware successfully!"                                 yes
cli_run  plain 1     "TFTP server could not start on 127.0.0.1:69: Permission denied" no
# kelvo listens on port 161 of every address, the simulator's included.
echo quit >&"${APSIM_PROCESS[1]}"
wait "$APSIM_PROCESS_PID"
#          copy  kelvo's stdout                        holds 161
kelvo_run  cap   ""                                    yes
kelvo_run  plain "start-up message: $NOT_LISTENING"    no
log result "passed"
