# A proxy stand-in on 127.0.0.1:PORT: reads a CONNECT head, writes it to HEADFILE, answers with
# STATUS; after 200 it echoes whatever the tunnel carries.
import socket
import sys

port, status, head_file = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", port))
server.listen(4)
while True:
    connection, _ = server.accept()
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = connection.recv(4096)
        if not chunk:
            break
        data += chunk
    if b"\r\n\r\n" not in data:
        connection.close()
        continue
    with open(head_file, "wb") as out:
        out.write(data)
    answer = "HTTP/1.1 %d Answer\r\n" % status
    if status == 407:
        answer += 'Proxy-Authenticate: Basic realm="proxy"\r\n'
    connection.sendall((answer + "Content-Length: 0\r\n\r\n").encode())
    if status != 200:
        connection.close()
        continue
    while True:
        chunk = connection.recv(4096)
        if not chunk:
            break
        connection.sendall(chunk)
    connection.close()
