#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# A firmware transfer under 10% random loss completes by retransmission. In a network
# namespace of its own, an nftables rule on the input hook drops one UDP datagram in ten (in
# both directions, as loopback traffic passes input once per datagram); our server
# (kelvo-tftp-serve) and then Debian's tftpd-hpa, where installed, serve the same image to the
# same client (atftp), and the times are printed for comparison.
#
# The client asks for no options by default: atftp aborts ("unexpected OACK") when the server
# resends an OACK because the client's ACK 0 was lost, whichever server it talks to. A BLKSIZE
# argument adds the option anyway.
#
# Usage: TftpLossTest.sh KELVO_TFTP_SERVE [SIZE_KIB] [BLKSIZE]
# Exit status: 0 passed, 1 failed, 77 skipped (no namespaces, nft or atftp).
#
# As root a plain network namespace is made (tftpd-hpa cannot drop its groups inside a user
# namespace); otherwise `unshare -rn`, and tftpd-hpa is then left out.
set -u

readonly SKIP=77
readonly PORT_HPA=16969

log() { echo "[loss] $*" >&2; }

find_program() {
  PATH="$PATH:/usr/sbin:/sbin" command -v "$1" 2>/dev/null
}

# Inside the namespace: set up loopback and the loss rule, then time both servers.
inside() {
  local work=$1
  ip link set dev lo up || return $SKIP
  # glibc resolves a bind address only when some address other than 127.0.0.1 exists
  # (AI_ADDRCONFIG); tftpd-hpa needs that.
  ip address add 10.99.0.1/32 dev lo || return $SKIP
  nft add table inet kelvo_loss &&
    nft add chain inet kelvo_loss input '{ type filter hook input priority 0; }' &&
    nft add rule inet kelvo_loss input meta l4proto udp numgen random mod 100 '<' 10 drop ||
    return $SKIP
  nft list ruleset >&2

  local failed=0 start end
  local -a CLIENT_OPTIONS=()
  [[ -n $BLKSIZE ]] && CLIENT_OPTIONS=(--option "blksize $BLKSIZE")
  # Ours: prints "ready PORT" once bound; stdin closing ends it.
  coproc SERVER { exec "$SERVE" --bind 127.0.0.1 --port 0 --client 127.0.0.1 \
    --file "$work/application.dlf" --tries 8; }
  local ready port
  read -r ready port <&"${SERVER[0]}"
  if [[ $ready != ready ]]; then
    log "our server did not start"
    return 1
  fi
  start=$(date +%s%N)
  atftp --get --remote-file application.dlf --local-file "$work/ours.bin" \
    "${CLIENT_OPTIONS[@]}" 127.0.0.1 "$port" >/dev/null 2>&1
  end=$(date +%s%N)
  exec {SERVER[1]}>&-
  local summary
  read -r summary <&"${SERVER[0]}"
  wait "$SERVER_PID"
  if cmp -s "$work/application.dlf" "$work/ours.bin"; then
    log "ours:      $(((end - start) / 1000000)) ms (server: $summary)"
  else
    log "ours:      FAILED after $(((end - start) / 1000000)) ms (server: $summary)"
    failed=1
  fi

  local tftpd
  tftpd=$(find_program in.tftpd)
  if [[ -n $tftpd && $(id -u) == 0 && $OUTER_UID == 0 ]]; then
    "$tftpd" --foreground --address "127.0.0.1:$PORT_HPA" -s "$work" &
    local hpa=$!
    sleep 0.3
    start=$(date +%s%N)
    atftp --get --remote-file application.dlf --local-file "$work/hpa.bin" \
      "${CLIENT_OPTIONS[@]}" 127.0.0.1 "$PORT_HPA" >/dev/null 2>&1
    end=$(date +%s%N)
    kill "$hpa"
    wait "$hpa" 2>/dev/null
    if cmp -s "$work/application.dlf" "$work/hpa.bin"; then
      log "tftpd-hpa: $(((end - start) / 1000000)) ms"
    else
      log "tftpd-hpa: did not complete in $(((end - start) / 1000000)) ms (not counted)"
    fi
  else
    log "tftpd-hpa: left out (not installed, or no root for it)"
  fi
  return $failed
}

# The namespace runs this script again with --inside WORK; the settings travel in the
# environment.
if [[ ${1:-} == --inside ]]; then
  inside "$2"
  exit $?
fi

export SERVE=${1:?usage: TftpLossTest.sh KELVO_TFTP_SERVE [SIZE_KIB] [BLKSIZE]}
export BLKSIZE=${3:-}
readonly SIZE_KIB=${2:-48}

for tool in unshare nft ip atftp; do
  if [[ -z $(find_program "$tool") ]]; then
    log "$tool is not available; skipped"
    exit $SKIP
  fi
done
PATH="$PATH:/usr/sbin:/sbin"

work=$(mktemp -d /tmp/kelvo-tftp-loss-XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
head -c $((SIZE_KIB * 1024 + 7)) /dev/urandom >"$work/application.dlf"
chmod 644 "$work/application.dlf"

if [[ $(id -u) == 0 ]]; then namespace=(unshare -n); else namespace=(unshare -rn); fi
if ! "${namespace[@]}" true 2>/dev/null; then
  log "network namespaces cannot be made here; skipped"
  exit $SKIP
fi
OUTER_UID=$(id -u) timeout -k 5 240 "${namespace[@]}" bash "$0" --inside "$work"
exit $?
