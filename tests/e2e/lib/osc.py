#!/usr/bin/env python3
"""OSC over UDP on 127.0.0.1 for the end-to-end tests: floods, many source ports, counted answers.

    osc.py flood PORT COUNT PATH [STRING]   COUNT messages as fast as the socket takes them
    osc.py flood-quit PORT COUNT PATH STRING  the same, then /vordel/quit from the same socket;
                                            prints the wall clock (ns) when the quit was sent
    osc.py subscribers PORT COUNT           COUNT subscriptions, each from a port of its own
    osc.py answers PORT COUNT               COUNT /vordel/status from COUNT ports, 2 ms apart,
                                            each asking for the answer at one listening port;
                                            prints how many answers came and the seconds the
                                            sending took
    osc.py listen PORT SECONDS              prints the address of every message to PORT
Everything goes to 127.0.0.1 only; every loop is bounded.
"""
import socket
import struct
import sys
import time

HOST = "127.0.0.1"


def pad(b):
    return b + b"\0" * (4 - len(b) % 4)


def message(path, *args):
    types = "," + "".join("i" if isinstance(a, int) else "s" for a in args)
    out = pad(path.encode()) + pad(types.encode())
    for a in args:
        out += struct.pack(">i", a) if isinstance(a, int) else pad(a.encode())
    return out


def address_of(packet):
    return packet[: packet.index(b"\0")].decode(errors="replace")


def main():
    cmd, port, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    if cmd in ("flood", "flood-quit"):
        path = sys.argv[4]
        args = sys.argv[5:6]
        data = message(path, *args)
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 22)
        for _ in range(count):
            while True:
                try:
                    s.sendto(data, (HOST, port))
                    break
                except BlockingIOError:
                    time.sleep(0.001)
        if cmd == "flood-quit":
            s.sendto(message("/vordel/quit"), (HOST, port))
            print(time.time_ns(), flush=True)
    elif cmd == "subscribers":
        socks = []
        for _ in range(count):
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind((HOST, 0))
            s.sendto(message("/vordel/subscribe"), (HOST, port))
            socks.append(s)
        time.sleep(0.5)
    elif cmd == "answers":
        listen = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        listen.bind((HOST, 0))
        listen.settimeout(0.5)
        reply_port = listen.getsockname()[1]
        start = time.monotonic()
        for _ in range(count):
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind((HOST, 0))
            s.sendto(message("/vordel/status", reply_port), (HOST, port))
            s.close()
            time.sleep(0.002)  # slow enough for every request to arrive
        took = time.monotonic() - start
        got = 0
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                listen.recv(65536)
                got += 1
            except socket.timeout:
                break
        print(got, f"{took:.3f}")
    elif cmd == "listen":
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((HOST, port))
        s.settimeout(0.2)
        deadline = time.monotonic() + count
        while time.monotonic() < deadline:
            try:
                print(address_of(s.recv(65536)), flush=True)
            except socket.timeout:
                pass
    else:
        sys.exit("osc.py: no command " + cmd)


if __name__ == "__main__":
    main()
