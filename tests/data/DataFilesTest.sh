#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The manual pages render without warnings, the bash completion offers what each command line
# expects, and neither lacks an option or a command that kelvo-cli's usage text names.
# Usage: DataFilesTest.sh DATA_DIR KELVO_CLI
set -u
data=$1
cli=$2
command -v man >/dev/null || { echo "man is not installed"; exit 77; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for page in "$data"/man/*.1; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$page renders with warnings: $warnings"
    # Option names and other hyphens are typed as \- (a plain - may print as a hyphen).
    grep -nE '(^|[^\\])-[-a-zA-Z]' "$page" | grep -v '^[0-9]*:\.\\"' |
        while read -r line; do echo "FAIL: $page: unescaped hyphen: $line"; done | grep . &&
        failures=$((failures + 1))
done

# shellcheck source=/dev/null
source "$data/completion/kelvo-cli"
[[ $(complete -p kelvo-cli) == *"-F _kelvo_cli"* ]] || fail "kelvo-cli is not registered"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/sub"
touch "$work/a.kvp" "$work/b.txt" "$work/sub/c.kvp" "$work/sub/d.dlf"
cd "$work" || exit 1

# Command line up to the cursor | the completions expected, sorted.
while IFS='|' read -r line expected; do
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kelvo_cli 2>/dev/null
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    [[ $got == "$expected" ]] || fail "'$line': expected '$expected', got '$got'"
done <<'EOF'
kelvo-cli |backup diff discover exporter firmware get inventory profile set show stats vars
kelvo-cli stats -|--count --counters --format --interval --parallel --port
kelvo-cli stats --counters ethernet_rx_bytes,wireless_tx_b|ethernet_rx_bytes,wireless_tx_beacons ethernet_rx_bytes,wireless_tx_broadcast
kelvo-cli stats --counters a|all
kelvo-cli stats --interval 1 10.0.0.2 |
kelvo-cli exporter --listen 127.0.0.1:9757 -|--community-file --listen --parallel --port --rediscover --to --wait
kelvo-cli exporter --rediscover |
kelvo-cli inventory --format |csv json table
kelvo-cli inventory --parallel 8 -|--community-file --format --parallel --port --to --wait
kelvo-cli backup -|--community-file --git --parallel --port --to --wait
kelvo-cli backup s|sub
kelvo-cli backup sub 10.0.0.2 |
kelvo-cli show -|--community-file --json --parallel --port
kelvo-cli diff a|a.kvp
kelvo-cli diff a.kvp s|sub
kelvo-cli -|--help --port --version
kelvo-cli --port 1161 p|profile
kelvo-cli --port |
kelvo-cli discover -|--port --to --wait
kelvo-cli discover --to |
kelvo-cli get -|--community-file --port
kelvo-cli set 10.0.0.2 1.3.6.1.4.1.15177.1.2.1.10.0 |a i s x
kelvo-cli set --community-file - 10.0.0.2 1.3.6 |a i s x
kelvo-cli --port 1161 set --port 1161 h 1.3 |a i s x
kelvo-cli set h 1.3 s |
kelvo-cli set h ess|Essid
kelvo-cli set h Channel |
kelvo-cli vars |
kelvo-cli get |
kelvo-cli get --community-file - h channel wepk|WepKey1 WepKey2 WepKey3 WepKey4
kelvo-cli profile |apply save show
kelvo-cli profile s|save show
kelvo-cli profile show -|--port
kelvo-cli profile save -|--community-file --port
kelvo-cli profile show |a.kvp sub
kelvo-cli profile show sub/|sub/c.kvp
kelvo-cli profile show a.kvp |
kelvo-cli profile save 10.0.0.2 |a.kvp sub
kelvo-cli profile save |
kelvo-cli profile apply --community-file key |a.kvp sub
kelvo-cli profile apply a.kvp |
kelvo-cli firmware -|--all --community-file --expect-description --image --parallel --port --reboot-wait --settings-path --tftp-port --to --verify --wait --yes
kelvo-cli firmware --image |a.kvp b.txt sub
kelvo-cli firmware --image sub/d.dlf 10.0.0.2 |
kelvo-cli profile apply a.kvp --c|--canary --community-file
kelvo-cli firmware --tftp-port 1169 10.0.0.2 |a.kvp b.txt sub
kelvo-cli firmware 10.0.0.2 sub/|sub/c.kvp sub/d.dlf
kelvo-cli firmware |
kelvo-cli firmware --settings-path |sub
kelvo-cli get --community-file |- a.kvp b.txt sub
kelvo-cli get --community-file sub/|sub/c.kvp sub/d.dlf
EOF

# get and set complete the names kelvo-cli vars lists, all of them.
COMP_WORDS=(kelvo-cli set h '')
COMP_CWORD=3
COMPREPLY=()
_kelvo_cli
[[ $(printf '%s\n' "${COMPREPLY[@]}" | sort) == "$("$cli" vars | cut -f1 | sort)" ]] ||
    fail "the completion's variable names differ from kelvo-cli vars"

# Every option and command the usage text names is completed and documented.
usage=$("$cli" --help) || fail "kelvo-cli --help failed"
words=$(grep -oE -- '--[a-z][-a-z]*' <<<"$usage"
    sed -nE 's/^  ([a-z]+( [a-z]+)?)( [[A-Z]|   ).*/\1/p' <<<"$usage")
[[ $words == *--port*discover* ]] || fail "usage text not understood: $usage"
for word in $words; do
    grep -qwF -- "$word" "$data/completion/kelvo-cli" || fail "the completion lacks $word"
    grep -qwF -- "${word//-/\\-}" "$data/man/kelvo-cli.1" || fail "kelvo-cli.1 lacks $word"
done

((failures == 0)) || { echo "$failures failure(s)"; exit 1; }
echo "all data file checks passed"
