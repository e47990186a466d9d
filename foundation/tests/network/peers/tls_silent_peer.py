# Accepts TLS connections on 127.0.0.1:PORT, completes the handshake, then holds the
# connection open without reading or answering anything (no close-notify either).
import socket
import ssl
import sys
import time

port, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3]
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", port))
server.listen(4)
held = []
while True:
    raw, _ = server.accept()
    try:
        held.append(context.wrap_socket(raw, server_side=True))
    except (ssl.SSLError, OSError):
        raw.close()
