#!/usr/bin/python3
"""WebSocket peer (python3-websockets) for the WebSocket client tests.

Every connection is greeted at once with the text "hello <X-Test header>" (it leaves in the
same segment as the 101 answer). Then, per message received:
  "close"       close with 1000
  "text:<t>"    a text message <t>
  "frag:<t>"    <t> as a binary message in fragments of 3 bytes
  "ping"        a ping "abc"; once the pong is in, the text "pong-ok"
  anything else echoed back as a binary message
Path /silent: no greeting, nothing sent, until the client closes.

Usage: websocket_server.py PORT [CERT KEY]
"""
import asyncio
import ssl
import sys

import websockets


async def handler(ws, path):
    if path.startswith("/silent"):
        await ws.wait_closed()
        return
    await ws.send("hello " + ws.request_headers.get("X-Test", ""))
    async for message in ws:
        data = message.encode() if isinstance(message, str) else message
        if data == b"close":
            await ws.close(1000, "bye")
            return
        if data.startswith(b"text:"):
            await ws.send(data[5:].decode())
        elif data.startswith(b"frag:"):
            body = data[5:]
            await ws.send([body[i:i + 3] for i in range(0, len(body), 3)])
        elif data == b"ping":
            pong = await ws.ping(b"abc")
            await asyncio.wait_for(pong, 5)
            await ws.send("pong-ok")
        else:
            await ws.send(data)


async def main():
    port = int(sys.argv[1])
    context = None
    if len(sys.argv) > 3:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[2], sys.argv[3])
    async with websockets.serve(handler, "127.0.0.1", port, ssl=context, max_size=None,
                                ping_interval=None, compression=None):
        await asyncio.Future()


if __name__ == "__main__":
    asyncio.run(main())
