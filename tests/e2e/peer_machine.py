"""Another machine on the pretend local network, run inside its own network namespace
(nsenter --net=$VELLUM_TEST_PEER, see tests/private-network.sh).

It prints "WATCHING" once ready, then one line per IPv4 packet that reaches it from
elsewhere, on any of its interfaces, "PACKET <protocol> <source> <destination>" (and,
for a BibleSync datagram, the packet's type: 1 announce, 2 navigation, 3 beacon), and
carries out commands on
standard input:
  nav REF     a beacon, then a navigation to REF, from a BibleSync program here
              using the protocol's default passphrase (multicast time-to-live 1)
  quit"""
import os
import socket
import struct
import sys
import threading
import uuid

GROUP = "239.225.27.227"
PORT = 22272
ADDRESS = "10.199.0.1"
lock = threading.Lock()


def say(line):
    with lock:
        print(line, flush=True)


def packet(kind, sender, fields):
    header = struct.pack("!IBB", 0x409CAF11, 3, kind) + b"\x01\x00\x00\x00" + bytes(6)
    body = "".join(f"{name}={value}\n" for name, value in fields)
    return header + sender.bytes + body.encode()


def watch(raw):
    while True:
        try:
            frame, (_, _, kind, _, _) = raw.recvfrom(65535)
        except OSError:
            return
        if kind == socket.PACKET_OUTGOING:  # its own
            continue
        if len(frame) >= 34 and struct.unpack("!H", frame[12:14])[0] == 0x0800:
            line = (f"PACKET {frame[23]} {socket.inet_ntoa(frame[26:30])} "
                    f"{socket.inet_ntoa(frame[30:34])}")
            udp = 14 + (frame[14] & 0x0F) * 4
            if (frame[23] == 17 and len(frame) >= udp + 14
                    and struct.unpack("!H", frame[udp + 2:udp + 4])[0] == PORT):
                line += f" {frame[udp + 8 + 5]}"
            say(line)


def main():
    # Not bound: every interface, also those a test adds later.
    raw = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0800))
    threading.Thread(target=watch, args=(raw,), daemon=True).start()
    out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
    out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(ADDRESS))
    sender = uuid.uuid4()
    presence = [("app.name", "Elsewhere"), ("app.version", "1"),
                ("app.inst.uuid", str(sender)), ("app.os", "Linux"), ("app.device", "x86_64"),
                ("app.user", "someone else"), ("msg.sync.passPhrase", "BibleSync")]
    say("WATCHING")
    for line in sys.stdin:
        words = line.split()
        if words[:1] == ["nav"] and len(words) == 2:
            out.sendto(packet(3, sender, presence), (GROUP, PORT))
            out.sendto(packet(2, sender, presence + [
                ("msg.sync.bibleAbbrev", "KJV"), ("msg.sync.domain", "BIBLE-VERSE"),
                ("msg.sync.group", "1"), ("msg.sync.altVerse", ""),
                ("msg.sync.verse", words[1])]), (GROUP, PORT))
            say(f"SENT {words[1]}")
        elif words[:1] == ["quit"]:
            break
    raw.close()
    os._exit(0)


if __name__ == "__main__":
    main()
