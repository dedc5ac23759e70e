#!/usr/bin/env python3
"""Drives tracer_peer as two clients of its TPKT tracer, with framing written
here from RFC 1006 alone: frames split over many writes and merged into one
write are answered to their sender only, a frame sent from outside the handler
reaches every client, and a frame over the tracer's buffer closes only its
sender."""

import socket
import struct
import subprocess
import sys


def frame(payload):
    return struct.pack(">BBH", 3, 0, len(payload) + 4) + payload


def read_exact(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            raise EOFError("the tracer closed the connection")
        data += chunk
    return data


def read_frame(sock):
    version, reserved, length = struct.unpack(">BBH", read_exact(sock, 4))
    if (version, reserved) != (3, 0) or length < 4:
        raise ValueError("bad TPKT header %d %d %d" % (version, reserved, length))
    return read_exact(sock, length - 4)


def expect(sock, wanted):
    got = read_frame(sock)
    if got != wanted:
        raise AssertionError("expected %r, got %r" % (wanted, got))


def closed(sock):
    try:
        return sock.recv(1) == b""
    except ConnectionResetError:
        return True


def client(port):
    sock = socket.create_connection(("127.0.0.1", port), timeout=20)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return sock


def main():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    peer = subprocess.Popen([sys.argv[1], str(port)], stdout=subprocess.PIPE, text=True)
    try:
        if peer.stdout.readline().strip() != "listening":
            raise AssertionError("tracer_peer did not start")
        a, b = client(port), client(port)

        # One frame, one byte per write.
        for byte in frame(b"split"):
            a.sendall(bytes([byte]))
        expect(a, b"echo:split")
        # Had the answer gone to b as well, it would come before b's own.
        b.sendall(frame(b"mine"))
        expect(b, b"echo:mine")

        # Three frames in one write, the empty one unanswered.
        a.sendall(frame(b"one") + frame(b"") + frame(b"two"))
        expect(a, b"echo:one")
        expect(a, b"echo:two")

        # Sent from outside the handler: every client gets it.
        b.sendall(frame(b"all:news"))
        expect(a, b"news")
        expect(b, b"news")

        # 513 bytes do not fit the tracer's buffer: b goes, a stays.
        b.sendall(frame(b"x" * 513))
        if not closed(b):
            raise AssertionError("an oversized frame left its sender connected")
        a.sendall(frame(b"x" * 512))
        expect(a, b"echo:" + b"x" * 512)
    finally:
        peer.terminate()
        peer.wait()
    print("tracer client: all checks passed")


if __name__ == "__main__":
    main()
