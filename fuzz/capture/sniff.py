# SPDX-License-Identifier: GPL-2.0-or-later
# Writes the payload of every IPv4 UDP datagram on lo to OUT/NNNNN-SRC-SPORT-DST-DPORT.bin.
# Needs CAP_NET_RAW, which a network namespace of its own (unshare -rn) gives.
import os
import socket
import struct
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
sniffer = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0003))
sniffer.bind(("lo", 0))
count = 0
while True:
    frame, address = sniffer.recvfrom(70000)
    if address[2] != socket.PACKET_HOST:  # lo shows each datagram twice; keep the arrival
        continue
    ip = frame[14:]
    if len(ip) < 20 or ip[0] >> 4 != 4 or ip[9] != 17:
        continue
    header = (ip[0] & 15) * 4
    source, destination = socket.inet_ntoa(ip[12:16]), socket.inet_ntoa(ip[16:20])
    sport, dport, length = struct.unpack("!HHH", ip[header:header + 6])
    name = f"{count:05d}-{source}-{sport}-{destination}-{dport}.bin"
    with open(os.path.join(out, name), "wb") as f:
        f.write(ip[header + 8:header + length])
    count += 1
