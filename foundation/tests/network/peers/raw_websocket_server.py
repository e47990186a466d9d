#!/usr/bin/python3
"""A scripted WebSocket server that breaks the protocol on purpose. The request path names
what it answers after reading the upgrade request:
  /bad-accept       101 with an accept value in the wrong letter case
  /no-accept        101 without Sec-WebSocket-Accept
  /status200        200 OK
  /reserved-opcode  101, then a frame with opcode 3
  /huge-length      101, then a frame claiming 2^62 payload bytes
  /too-big          101, then a frame claiming 16 MiB + 1 bytes
  /masked           101, then a masked frame
  /big-control      101, then a ping of 126 bytes
  /fragments        101 and, in the same segment, "abc" + ping "p" + "def" as one fragmented
                    text message, then an unfragmented binary "next"
  /no-close-answer  101, then never answers anything
Each request head is appended to DIR/requests.txt, and everything the client sends after the
head to DIR/<path>.bin.

Usage: raw_websocket_server.py PORT DIR
"""
import base64
import hashlib
import os
import socket
import struct
import sys
import threading

GUID = b"258EAFA5-E914-47DA-95CA-C5AB0DC85B11"


def accept_of(key):
    return base64.b64encode(hashlib.sha1(key.encode() + GUID).digest()).decode()


def frame(opcode, payload, fin=True):
    head = bytes([(0x80 if fin else 0) | opcode])
    n = len(payload)
    if n < 126:
        head += bytes([n])
    elif n < 65536:
        head += bytes([126]) + struct.pack(">H", n)
    else:
        head += bytes([127]) + struct.pack(">Q", n)
    return head + payload


def serve(conn, folder):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return
        data += chunk
    head, rest = data.split(b"\r\n\r\n", 1)
    text = head.decode("latin-1")
    with open(os.path.join(folder, "requests.txt"), "a") as f:
        f.write(text + "\r\n\r\n")
    path = text.split(" ")[1].strip("/") or "root"
    key = ""
    for line in text.split("\r\n")[1:]:
        name, _, value = line.partition(":")
        if name.strip().lower() == "sec-websocket-key":
            key = value.strip()
    accept = accept_of(key)
    ok = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    if path == "bad-accept":
        answer = (ok + "Sec-WebSocket-Accept: " + accept.swapcase() + "\r\n\r\n").encode()
    elif path == "no-accept":
        answer = (ok + "\r\n").encode()
    elif path == "status200":
        answer = b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"
    else:
        answer = (ok + "Sec-WebSocket-Accept: " + accept + "\r\n\r\n").encode()
        if path == "reserved-opcode":
            answer += frame(3, b"x")
        elif path == "huge-length":
            answer += bytes([0x82, 127]) + struct.pack(">Q", 1 << 62)
        elif path == "too-big":
            answer += bytes([0x82, 127]) + struct.pack(">Q", 16 * 1024 * 1024 + 1)
        elif path == "masked":
            answer += bytes([0x82, 0x81, 1, 2, 3, 4, ord("z") ^ 1])
        elif path == "big-control":
            answer += frame(9, b"p" * 126)
        elif path == "fragments":
            answer += (frame(1, b"abc", fin=False) + frame(9, b"p") +
                       frame(0, b"def") + frame(2, b"next"))
    conn.sendall(answer)
    out = os.path.join(folder, path + ".bin")
    with open(out, "ab") as f:
        f.write(rest)
        f.flush()
        while True:
            try:
                chunk = conn.recv(65536)
            except OSError:
                break
            if not chunk:
                break
            f.write(chunk)
            f.flush()
    conn.close()


def main():
    port = int(sys.argv[1])
    folder = sys.argv[2]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, folder), daemon=True).start()


if __name__ == "__main__":
    main()
