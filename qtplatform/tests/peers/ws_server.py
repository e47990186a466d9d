"""WebSocket peer for the Qt platform tests: python3 ws_server.py PORT [CERT KEY]

/echo     echoes text and binary messages
/close    sends "bye" and closes with 1000
/refuse   refuses the upgrade with 403
/header   sends the value of the request header X-Test, then echoes
"""
import asyncio
import http
import ssl
import sys

import websockets


async def process_request(path, headers):
    if path.startswith("/refuse"):
        return http.HTTPStatus.FORBIDDEN, [], b"forbidden\n"
    return None


async def handler(websocket, path):
    if path.startswith("/close"):
        await websocket.send("bye")
        await websocket.close(1000)
        return
    if path.startswith("/header"):
        await websocket.send(websocket.request_headers.get("X-Test", ""))
    async for message in websocket:
        await websocket.send(message)


async def main():
    context = None
    if len(sys.argv) >= 4:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(sys.argv[2], sys.argv[3])
    async with websockets.serve(handler, "127.0.0.1", int(sys.argv[1]),
                                process_request=process_request, ssl=context,
                                max_size=64 * 1024 * 1024):
        await asyncio.Future()


if __name__ == "__main__":
    asyncio.run(main())
