# SPDX-License-Identifier: GPL-2.0-or-later
# Turns captured datagrams (RAW/NNNNN-SRC-SPORT-DST-DPORT.bin, agent port 1161, everything else
# TFTP) into seed candidates in OUT/TARGET, in each target's input format.
import glob
import os
import re
import struct
import sys

raw_dir, out_dir = sys.argv[1], sys.argv[2]
AGENT_PORT = 1161
SCENARIOS = ["read", "set", "set-address", "discovery"]


def write(target, name, data):
    os.makedirs(os.path.join(out_dir, target), exist_ok=True)
    with open(os.path.join(out_dir, target, name), "wb") as f:
        f.write(data)


def tlv(b, i):
    tag, length = b[i], b[i + 1]
    i += 2
    if length & 0x80:
        n = length & 0x7F
        length = int.from_bytes(b[i:i + n], "big")
        i += n
    return tag, b[i:i + length], i + length


def encode(tag, value):
    n = len(value)
    if n < 0x80:
        length = bytes([n])
    else:
        digits = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(digits)]) + digits
    return bytes([tag]) + length + value


def parse_message(b):
    _, body, _ = tlv(b, 0)
    _, version, i = tlv(body, 0)
    _, community, i = tlv(body, i)
    pdu_tag, pdu, _ = tlv(body, i)
    _, _, j = tlv(pdu, 0)
    _, status, j = tlv(pdu, j)
    _, index, j = tlv(pdu, j)
    _, bindings, _ = tlv(pdu, j)
    variables, k = [], 0
    while k < len(bindings):
        _, binding, k = tlv(bindings, k)
        _, name, m = tlv(binding, 0)
        value_tag, value, _ = tlv(binding, m)
        variables.append((name, value_tag, value))
    return dict(version=version, community=community, pdu_tag=pdu_tag, status=status,
                index=index, bindings=bindings, variables=variables)


def with_id_marker(m):
    """The message again with "RQID" as its 4-byte request id."""
    pdu = (encode(2, b"RQID") + encode(2, m["status"]) + encode(2, m["index"]) +
           encode(0x30, m["bindings"]))
    return encode(0x30, encode(2, m["version"]) + encode(4, m["community"]) +
                  encode(m["pdu_tag"], pdu))


def record(data, stranger=False):
    return bytes([1 if stranger else 0]) + struct.pack("<H", len(data)) + data


replies, requests, tftp = [], [], []
for path in sorted(glob.glob(os.path.join(raw_dir, "*.bin"))):
    sport, dport = map(int, re.match(r".*-(\d+)-[\d.]+-(\d+)\.bin$", path).groups())
    with open(path, "rb") as f:
        data = f.read()
    (replies if sport == AGENT_PORT else requests if dport == AGENT_PORT else tftp).append(data)

# snmp_reply: each reply as the answer to the request it fits, alone, after the same reply from
# the stranger, and after the reply with its old request id.
blocks, discovery = {}, []
for n, data in enumerate(replies):
    m = parse_message(data)
    marked = with_id_marker(m)
    names = [v[0] for v in m["variables"]]
    if m["community"] == b"tundra":
        single_name = len(names) == 1 and names[0].endswith(b"\x01\x02\x01\x0a\x00")
        scenario = 3 if single_name else 0
    else:
        scenario = 2 if any(v[1] == 0x40 for v in m["variables"]) else 1
    if scenario == 3:
        discovery.append(marked)
    last = ".".join(str(x) for x in names[0][-5:]) if names else "none"
    base = (f"{SCENARIOS[scenario]}-{len(names)}vars-{last}-"
            f"{m['community'].decode(errors='replace')}-status{int.from_bytes(m['status'], 'big')}-{n:02d}")
    write("snmp_reply", base, bytes([scenario]) + record(marked))
    write("snmp_reply", base + "-stranger-first",
          bytes([scenario]) + record(marked, True) + record(marked))
    write("snmp_reply", base + "-old-id-first", bytes([scenario]) + record(data) + record(marked))
    for name, tag, value in m["variables"]:
        if tag == 4 and len(value) == 12:
            blocks.setdefault(name + value, value)
        elif tag == 4 and len(value) in (3, 8, 10, 16, 32, 56, 64):
            blocks.setdefault(name, value)
if discovery:
    write("snmp_reply", "discovery-two-agents",
          bytes([3]) + record(discovery[0]) + record(discovery[-1], True) + record(discovery[0]))
for n, data in enumerate(requests[:6]):
    write("snmp_reply", f"request-echoed-{SCENARIOS[n % 4]}-{n}", bytes([n % 4]) + record(data))

# counter_blocks and authorized_record: the octet strings of the replies; the three statistics
# blocks also as one read group 3 reply (shape byte 3, cuts after 64 and 56 bytes).
statistics = {}
for name, value in blocks.items():
    if len(value) == 12:
        write("authorized_record", f"record-{value.hex()}", value)
        continue
    suffix = ".".join(str(x) for x in name[-4:-1])
    write("counter_blocks", f"block-{suffix}-{len(value)}bytes", value)
    statistics[suffix] = value
if all(k in statistics for k in ("1.7.1", "1.7.2", "2.3.1")):
    three = statistics["1.7.1"] + statistics["1.7.2"] + statistics["2.3.1"]
    write("counter_blocks", "statistics-reply", bytes([3, 64, 56]) + three)
    write("counter_blocks", "statistics-reply-second-refused", bytes([3 | 8, 64, 56]) + three)

# tftp_packet: every distinct packet, DATA once per size.
OPCODES = {1: "rrq", 2: "wrq", 3: "data", 4: "ack", 5: "error", 6: "oack"}
seen, requests_by_kind = set(), {}
for n, data in enumerate(tftp):
    opcode = int.from_bytes(data[:2], "big")
    key = (opcode, len(data) if opcode == 3 else data)
    if key in seen:
        continue
    seen.add(key)
    strings = data[2:].split(b"\0")[:-1]
    if opcode in (1, 2):
        options = [s.decode(errors="replace") for s in strings[2::2]] or ["plain"]
        detail = "-".join(options) + "-" + strings[1].decode(errors="replace")
        requests_by_kind.setdefault((opcode, strings[0] == b"application.dlf", len(options)), data)
    elif opcode == 3:
        detail = f"{len(data) - 4}bytes"
    elif opcode == 6:
        detail = "-".join(s.decode(errors="replace") for s in strings[0::2]) or "empty"
    else:
        detail = str(int.from_bytes(data[2:4], "big"))
    write("tftp_packet", f"{OPCODES.get(opcode, 'op%d' % opcode)}-{detail}-{n:03d}", data)

# tftp_server: transfers scripted with the captured requests (first byte: image size index).
def step(flags, data):
    return bytes([flags, len(data)]) + data


def ack(block):
    return struct.pack("!HH", 4, block)


served = [v for (op, ours, _), v in requests_by_kind.items() if op == 1 and ours]
plain = min(served, key=len) if served else None
rich = max(served, key=len) if served else None
writes = [v for (op, _, _), v in requests_by_kind.items() if op == 2]
others = [v for (op, ours, _), v in requests_by_kind.items() if op == 1 and not ours]
give_up = struct.pack("!HH", 5, 0) + b"client gave up\0"
if plain and rich:
    write("tftp_server", "plain-transfer-1500-bytes",
          bytes([6]) + step(0, plain) + step(4, ack(1)) + step(4, ack(2)) + step(4, ack(3)))
    write("tftp_server", "plain-transfer-512-bytes-ends-with-empty-block",
          bytes([4]) + step(0, plain) + step(4, ack(1)) + step(4, ack(2)))
    write("tftp_server", "options-transfer",
          bytes([6]) + step(0, rich) + step(4, ack(0)) + step(4, ack(1)) + step(4, ack(2)))
    write("tftp_server", "second-client-takes-over",
          bytes([5]) + step(0, plain) + step(4, ack(1)) + step(1, rich) + step(4, ack(2)) +
          step(5, ack(0)) + step(5, ack(1)))
    write("tftp_server", "client-gives-up",
          bytes([6]) + step(0, rich) + step(4, give_up) + step(4, ack(0)) + step(0, plain) +
          step(4, ack(1)))
    write("tftp_server", "repeated-request-and-stray-acks",
          bytes([6]) + step(0, plain) + step(0, plain) + step(4, ack(7)) + step(4, ack(0)) +
          step(4, ack(65535)) + step(4, ack(1)))
    write("tftp_server", "other-names-and-stranger",
          bytes([0]) + b"".join(step(0, o) for o in others[:2]) + step(2, plain) +
          step(0, plain) + step(4, ack(1)))
    if writes:
        write("tftp_server", "write-request-refused",
              bytes([1]) + step(1, writes[0]) + step(0, plain) + step(0, writes[0]))

for target in sorted(os.listdir(out_dir)):
    if target not in ("raw", "work"):
        print(f"{target}: {len(os.listdir(os.path.join(out_dir, target)))} candidates")
