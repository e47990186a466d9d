#!/usr/bin/python3
"""A backend stand-in for the connection tests.

/ws      accepts; greets with "hello <Authorization header>"; answers every message with
         "echo:" and the message (as a binary message); closes with 1000 on "close".
/refuse  refuses the upgrade with 403.

Usage: backend_websocket_server.py PORT
"""
import asyncio
import http
import sys

import websockets


async def process_request(path, headers):
    if path.startswith("/refuse"):
        return http.HTTPStatus.FORBIDDEN, [("Content-Type", "text/plain")], b"refused\n"
    return None


async def handler(websocket, path):
    authorization = websocket.request_headers.get("Authorization", "")
    await websocket.send("hello " + authorization)
    async for message in websocket:
        data = message.encode() if isinstance(message, str) else message
        if data == b"close":
            await websocket.close(1000, "")
            return
        await websocket.send(b"echo:" + data)


async def main(port):
    async with websockets.serve(handler, "127.0.0.1", port, process_request=process_request):
        await asyncio.Future()


if __name__ == "__main__":
    asyncio.run(main(int(sys.argv[1])))
