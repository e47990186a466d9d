# Accepts one connection on 127.0.0.1:PORT, sends "0123456789" a byte at a time, then closes.
import socket
import sys
import time

port = int(sys.argv[1])
server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", port))
server.listen(4)
while True:
    connection, _ = server.accept()
    try:
        for byte in b"0123456789":
            connection.sendall(bytes([byte]))
            time.sleep(0.02)
    except OSError:
        pass  # the readiness probe hangs up at once
    connection.close()
