#!/usr/bin/python3
"""WebSocket peer (python3-autobahn on asyncio): echoes every message with its type;
"frag" is answered with b"abcdefghij" in fragments of 3 bytes, "ping" with a ping "xyz"
and, once its pong is in, the text "pong:xyz"; "close" closes with 1000.

Usage: autobahn_server.py PORT
"""
import asyncio
import sys

from autobahn.asyncio.websocket import WebSocketServerFactory, WebSocketServerProtocol


class Echo(WebSocketServerProtocol):
    def onMessage(self, payload, isBinary):
        if payload == b"frag":
            self.sendMessage(b"abcdefghij", isBinary=True, fragmentSize=3)
        elif payload == b"ping":
            self.sendPing(b"xyz")
        elif payload == b"close":
            self.sendClose(1000, "bye")
        else:
            self.sendMessage(payload, isBinary)

    def onPong(self, payload):
        self.sendMessage(b"pong:" + payload, isBinary=False)


def main():
    port = int(sys.argv[1])
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    factory = WebSocketServerFactory("ws://127.0.0.1:%d" % port)
    factory.protocol = Echo
    factory.setProtocolOptions(maxMessagePayloadSize=0, maxFramePayloadSize=0,
                               autoFragmentSize=0, failByDrop=False)
    server = loop.run_until_complete(loop.create_server(factory, "127.0.0.1", port))
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    main()
