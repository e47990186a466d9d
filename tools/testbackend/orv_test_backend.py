#!/usr/bin/python3
"""A local stand-in for the remote-support backend, for tests and for trying the daemon out.

One aiohttp server answers, on every port it is given:
  - the backend WebSocket (any path under /ws): checks the "Authorization: Bearer <token>"
    header, accepts a company token with "CompanyTokenAccepted" (a fresh device token) and a
    known device token with "DeviceTokenAccepted", then sends "Heartbeat" periodically;
  - the REST calls Unattended/api/v1/GetAppletDownloadParam and GetUnattendedUpdateParam;
  - the monitoring-token request Unattended/api/RequestVarnexToken;
  - the monitoring service: api/sendEvents and api/dump;
  - a file server under /files/ (applet and update archives);
  - a control interface under /control/ for tests: send any message to the connected
    devices, change the behaviour, close connections, read the recorded events, answer the
    next upgrade by hand with raw frames (/control/hostile), and choose the certificate of
    the TLS site (/control/tls).

With --tls-port the same server also listens with TLS (wss/https) on that port; its
certificate can be changed between handshakes, and every handshake is recorded.

Everything the server sees is recorded as a numbered event (GET /control/events?from=N) and,
unless --quiet, printed as one readable line.
"""

import argparse
import asyncio
import base64
import hashlib
import itertools
import json
import os
import secrets
import ssl
import sys
import time
import zipfile

from aiohttp import WSMsgType, web

APPLET_SCRIPT = """#!/bin/sh
# The support applet's daemon of the test backend: records how it was started and tells the
# backend, then exits 0.
here=$(cd "$(dirname "$0")" && pwd)
for a in "$0" "$@"; do printf '%s\\n' "$a"; done > "$here/started-with.txt"
/usr/bin/python3 - "$@" <<'EOF'
import json, sys, urllib.request
request = urllib.request.Request(
    "__CONTROL__/control/applet-started", data=json.dumps(sys.argv[1:]).encode(),
    headers={"Content-Type": "application/json"})
try:
    urllib.request.urlopen(request, timeout=5).read()
except Exception:
    pass
EOF
exit 0
"""


def make_applet_zip(path, control_url, params):
    """A minimal applet archive: the bundle with its daemon script."""
    daemon = "OrvantaRemoteSupport.app/Contents/MacOS/OrvantaRemoteSupportDaemon"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for folder in ("OrvantaRemoteSupport.app/", "OrvantaRemoteSupport.app/Contents/",
                       "OrvantaRemoteSupport.app/Contents/MacOS/"):
            info = zipfile.ZipInfo(folder)
            info.external_attr = (0o40755 << 16) | 0x10
            archive.writestr(info, "")
        info = zipfile.ZipInfo(daemon)
        info.external_attr = 0o100755 << 16
        archive.writestr(info, APPLET_SCRIPT.replace("__CONTROL__", control_url))
        info = zipfile.ZipInfo("OrvantaRemoteSupport.app/Contents/Resources/params.json")
        info.external_attr = 0o100644 << 16
        archive.writestr(info, params)


class RawPeer:
    """Collects what the peer of a hand-answered upgrade sends, until it closes."""

    def __init__(self):
        self.received = bytearray()
        self.closed = asyncio.Event()

    def feed_data(self, data):
        self.received += data[:max(0, (1 << 20) - len(self.received))]
        return False, b""

    def feed_eof(self):
        self.closed.set()

    @staticmethod
    def frames(data):
        """The whole frames at the start of `data`, unmasked: opcode, FIN, size and the first
        bytes of the payload (as text), and the status code of a close frame."""
        found, at = [], 0
        while at + 2 <= len(data):
            length, head = data[at + 1] & 0x7F, at + 2
            if length >= 126:
                size = 2 if length == 126 else 8
                if head + size > len(data):
                    break
                length, head = int.from_bytes(data[head:head + size], "big"), head + size
            mask = b"\0\0\0\0"
            if data[at + 1] & 0x80:
                mask, head = data[head:head + 4], head + 4
            if head + length > len(data):
                break
            payload = bytes(b ^ mask[i % 4] for i, b in enumerate(data[head:head + length]))
            frame = {"opcode": data[at] & 0x0F, "fin": bool(data[at] & 0x80), "size": length,
                     "text": payload[:200].decode("utf-8", "replace")}
            if frame["opcode"] == 0x8 and length >= 2:
                frame["code"] = int.from_bytes(payload[:2], "big")
            found.append(frame)
            at = head + length
        return found


class RawResponse(web.StreamResponse):
    """The answer of a hand-answered upgrade: everything was written already."""

    def __init__(self):
        super().__init__(status=101)
        self.force_close()

    async def prepare(self, request):
        return None

    async def write_eof(self, data=b""):
        return None


class Backend:
    def __init__(self, args):
        self.args = args
        self.quiet = args.quiet
        self.events = []
        self.seq = itertools.count(1)
        self.sockets = {}  # id -> (ws, state)
        self.socket_ids = itertools.count(1)
        self.company_tokens = set(args.company_token)
        self.device_tokens = set(args.device_token)
        self.monitoring_tokens = set()
        self.config = {
            "accept": True,              # accept known tokens
            "heartbeats": True,          # send Heartbeat to accepted devices
            "heartbeat_ms": args.heartbeat_ms,
            "refuse_upgrade": 0,         # HTTP status to refuse the upgrade with, 0 = accept
            "applet_param": None,        # JSON value answered by GetAppletDownloadParam
            "applet_param_status": 200,
            "update_param": "",          # text answered by GetUnattendedUpdateParam
            "update_param_status": 200,
            "token_status": 0,           # forced status of RequestVarnexToken, 0 = normal
            "events_status": 0,          # forced status of api/sendEvents, 0 = normal
            "params_status": 200,        # status of /files/params.json
            "download_applet_on_accept": args.demo_applet,
        }
        self.files = args.files
        self.public_url = None
        self.hostile = None  # the raw answer armed for the next upgrade, see control_hostile

    # -- recording -------------------------------------------------------------------------
    def record(self, kind, text=None, **fields):
        event = {"seq": next(self.seq), "time": time.time(), "kind": kind}
        event.update(fields)
        self.events.append(event)
        if not self.quiet and text:
            print(f"[backend] {text}", flush=True)
        return event

    # -- WebSocket ---------------------------------------------------------------------------
    async def websocket(self, request):
        if self.hostile is not None:
            return await self.hostile_upgrade(request)
        authorization = request.headers.get("Authorization", "")
        refuse = int(self.config["refuse_upgrade"] or 0)
        if refuse:
            self.record("ws-refused", f"refused a WebSocket upgrade with {refuse}",
                        status=refuse, authorization=authorization)
            return web.Response(status=refuse, text="refused")
        ws = web.WebSocketResponse(heartbeat=None, max_msg_size=32 * 1024 * 1024)
        await ws.prepare(request)
        sid = next(self.socket_ids)
        token = authorization[7:] if authorization.startswith("Bearer ") else None
        state = {"token": token, "accepted": False, "kind": None}
        if token in self.company_tokens:
            state["kind"] = "company"
        elif token in self.device_tokens:
            state["kind"] = "device"
        self.sockets[sid] = (ws, state)
        shown = (token[:12] + "...") if token and len(token) > 12 else token
        self.record("ws-connect", f"device connected (connection {sid}, token {shown!r}, "
                    f"{state['kind'] or 'unknown'} token)",
                    connection=sid, authorization=authorization, path=request.path_qs)
        heartbeat = asyncio.ensure_future(self.heartbeat_loop(sid))
        try:
            async for message in ws:
                if message.type in (WSMsgType.TEXT, WSMsgType.BINARY):
                    binary = message.type == WSMsgType.BINARY
                    data = message.data.decode("utf-8", "replace") if binary else message.data
                    await self.on_message(sid, state, data, binary)
                elif message.type == WSMsgType.ERROR:
                    break
        finally:
            heartbeat.cancel()
            self.sockets.pop(sid, None)
            self.record("ws-close", f"device disconnected (connection {sid})",
                        connection=sid, code=ws.close_code)
        return ws

    async def on_message(self, sid, state, data, binary):
        try:
            parsed = json.loads(data)
        except ValueError:
            parsed = None
        kind = parsed.get("Type") if isinstance(parsed, dict) else None
        if kind == "Heartbeat":
            self.record("ws-message", None, connection=sid, binary=binary, type=kind,
                        message=parsed)
            state["heartbeats"] = state.get("heartbeats", 0) + 1
            if state["heartbeats"] in (1, 10) or state["heartbeats"] % 100 == 0:
                print(f"[backend] heartbeat number {state['heartbeats']} from connection {sid}",
                      flush=True) if not self.quiet else None
            return
        if kind == "DeviceUpdate":
            shown = ", ".join(f"{k}={parsed.get(k)!r}" for k in
                              ("HostName", "OSName", "OSVersion", "Version", "DeviceName",
                               "IPAddress", "TotalPhysicalMemory", "TimeZone"))
            self.record("ws-message", f"DeviceUpdate from connection {sid}: {shown}",
                        connection=sid, binary=binary, type=kind, message=parsed)
            await self.maybe_accept(sid, state)
            return
        self.record("ws-message", f"message from connection {sid}: {data[:300]}",
                    connection=sid, binary=binary, type=kind, message=parsed, raw=data)

    async def maybe_accept(self, sid, state):
        if state["accepted"] or not self.config["accept"]:
            return
        ws = self.sockets.get(sid, (None,))[0]
        if ws is None:
            return
        if state["kind"] == "company":
            device_token = "dt-" + secrets.token_hex(12)
            self.device_tokens.add(device_token)
            await ws.send_str(json.dumps({"Type": "CompanyTokenAccepted",
                                          "DeviceToken": device_token}))
            self.record("accepted", f"company token accepted; device token {device_token} "
                        f"issued to connection {sid}", connection=sid, device_token=device_token)
        elif state["kind"] == "device":
            await ws.send_str(json.dumps({"Type": "DeviceTokenAccepted"}))
            self.record("accepted", f"device token accepted on connection {sid}",
                        connection=sid)
        else:
            self.record("not-accepted", f"unknown token on connection {sid}: not accepted",
                        connection=sid)
            return
        state["accepted"] = True
        if self.config["download_applet_on_accept"]:
            await asyncio.sleep(1)
            message = {"Type": "DownloadApplet",
                       "DownloadUrl": self.public_url + "/files/applet.zip"}
            await ws.send_str(json.dumps(message))
            self.record("sent", f"asked connection {sid} to start the applet: "
                        f"{json.dumps(message)}", connection=sid, message=message)

    async def heartbeat_loop(self, sid):
        while True:
            await asyncio.sleep(max(int(self.config["heartbeat_ms"]), 10) / 1000.0)
            entry = self.sockets.get(sid)
            if entry is None:
                return
            ws, state = entry
            if state["accepted"] and self.config["heartbeats"] and not ws.closed:
                try:
                    await ws.send_str('{"Type":"Heartbeat"}')
                except ConnectionError:
                    return

    # -- REST and monitoring ------------------------------------------------------------------
    async def applet_param(self, request):
        self.record("rest", f"GetAppletDownloadParam {request.query_string}",
                    path=request.path, query=dict(request.query))
        value = self.config["applet_param"]
        if value is None:
            value = {"Type": "DownloadApplet",
                     "DownloadUrl": self.public_url + "/files/applet.zip"}
        text = value if isinstance(value, str) else json.dumps(value)
        return web.Response(status=int(self.config["applet_param_status"]), text=text)

    async def update_param(self, request):
        self.record("rest", f"GetUnattendedUpdateParam {request.query_string}",
                    path=request.path, query=dict(request.query))
        value = self.config["update_param"]
        text = value if isinstance(value, str) else json.dumps(value)
        return web.Response(status=int(self.config["update_param_status"]), text=text)

    async def token_request(self, request):
        body = await request.text()
        self.record("token-request", "monitoring token requested", body=body)
        forced = int(self.config["token_status"] or 0)
        if forced:
            return web.Response(status=forced, text="")
        try:
            parsed = json.loads(body)
        except ValueError:
            return web.Response(status=400, text="bad body")
        token = parsed.get("MonitoringToken") or parsed.get("DeviceToken") or ""
        if token not in self.device_tokens and token not in self.monitoring_tokens:
            return web.Response(status=403, text="")
        monitoring = "mt-" + secrets.token_hex(12)
        self.monitoring_tokens.add(monitoring)
        return web.json_response({"MonitoringUrl": self.public_url,
                                  "MonitoringToken": monitoring}, status=201)

    async def send_events(self, request):
        body = await request.text()
        try:
            parsed = json.loads(body)
        except ValueError:
            parsed = None
        count = len(parsed.get("Records", {}).get("events", [])) if isinstance(parsed, dict) \
            else 0
        self.record("events-upload", f"monitoring received {count} event(s)", body=parsed,
                    raw=None if parsed is not None else body)
        forced = int(self.config["events_status"] or 0)
        if forced:
            return web.Response(status=forced)
        token = parsed.get("MonitoringToken") if isinstance(parsed, dict) else None
        if self.monitoring_tokens and token not in self.monitoring_tokens \
                and token not in self.args.monitoring_token:
            return web.Response(status=403)
        return web.Response(status=202)

    async def dump(self, request):
        data = await request.read()
        self.record("dump-upload", f"crash report received ({len(data)} bytes)",
                    token=request.query.get("token"), size=len(data),
                    content_type=request.headers.get("Content-Type", ""),
                    body=base64.b64encode(data[:1 << 20]).decode())
        return web.Response(status=200, text="ok")

    async def file(self, request):
        name = request.match_info["name"]
        if "/" in name or name.startswith("."):
            return web.Response(status=404)
        if name == "params.json" and int(self.config["params_status"]) != 200:
            return web.Response(status=int(self.config["params_status"]))
        path = os.path.join(self.files, name)
        self.record("file", f"file requested: {name}", name=name)
        if not os.path.isfile(path):
            return web.Response(status=404)
        return web.FileResponse(path, headers={
            "Content-Disposition": f'attachment; filename="{name}"'})

    # -- control ------------------------------------------------------------------------------
    async def control_send(self, request):
        text = await request.text()
        binary = request.query.get("binary") == "1"
        sent = 0
        for ws, _ in list(self.sockets.values()):
            if ws.closed:
                continue
            if binary:
                await ws.send_bytes(text.encode())
            else:
                await ws.send_str(text)
            sent += 1
        self.record("sent", f"sent to {sent} connection(s): {text[:300]}", message=text,
                    count=sent)
        return web.json_response({"sent": sent})

    async def control_config(self, request):
        change = await request.json()
        self.config.update(change)
        self.record("config", None, change=change)
        return web.json_response(self.config)

    async def control_close(self, request):
        code = int(request.query.get("code", "1000"))
        closed = 0
        for ws, _ in list(self.sockets.values()):
            await ws.close(code=code)
            closed += 1
        self.record("closed", f"closed {closed} connection(s) with {code}", code=code)
        return web.json_response({"closed": closed})

    async def control_events(self, request):
        start = int(request.query.get("from", "0"))
        kind = request.query.get("kind")
        events = [e for e in self.events if e["seq"] >= start and (not kind or e["kind"] == kind)]
        return web.json_response(events)

    async def control_state(self, request):
        return web.json_response({
            "connections": [{"id": sid, "accepted": state["accepted"], "token": state["token"]}
                            for sid, (_, state) in self.sockets.items()],
            "device_tokens": sorted(self.device_tokens),
            "config": self.config})

    # -- hostile upgrades ------------------------------------------------------------------
    async def control_hostile(self, request):
        """Arms a raw answer for the next upgrade on /ws: a correct 101 head followed, in the
        same write, by the given bytes. "hex" is a hex string or a list of parts, each a hex
        string or {"hex": ..., "times": N} (large payloads without a large request);
        "hold_ms" bounds how long the connection is held; "device_token" becomes known."""
        spec = await request.json()
        parts = spec.get("hex", "")
        if not isinstance(parts, list):
            parts = [parts]
        data = bytearray()
        for part in parts:
            if isinstance(part, dict):
                data += bytes.fromhex(part["hex"]) * int(part.get("times", 1))
            else:
                data += bytes.fromhex(part)
        if spec.get("device_token"):
            self.device_tokens.add(spec["device_token"])
        self.hostile = {"data": bytes(data), "hold_ms": int(spec.get("hold_ms", 30000))}
        self.record("config", None, change={"hostile": len(data)})
        return web.json_response({"armed": len(data)})

    async def hostile_upgrade(self, request):
        armed, self.hostile = self.hostile, None
        authorization = request.headers.get("Authorization", "")
        key = request.headers.get("Sec-WebSocket-Key", "")
        accept = base64.b64encode(hashlib.sha1(
            (key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11").encode()).digest()).decode()
        head = ("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                f"Connection: Upgrade\r\nSec-WebSocket-Accept: {accept}\r\n\r\n").encode()
        peer = RawPeer()
        protocol = request.protocol
        transport = request.transport
        # From here on aiohttp hands every byte to the collector and closes the connection once
        # this handler returns, answering nothing of its own.
        protocol.keep_alive(False)
        protocol.set_parser(peer)
        self.record("hostile-connect", f"hostile upgrade: {len(armed['data'])} byte(s) after "
                    "the 101 head", authorization=authorization, size=len(armed["data"]))
        transport.write(head + armed["data"])
        try:
            await asyncio.wait_for(peer.closed.wait(), armed["hold_ms"] / 1000.0)
            closed_by = "peer"
        except asyncio.TimeoutError:
            closed_by = "backend"
            transport.close()
        received = bytes(peer.received)
        frames = RawPeer.frames(received)
        codes = [f["code"] for f in frames if "code" in f]
        self.record("hostile", f"hostile connection closed first by the {closed_by}; the peer "
                    f"sent {len(received)} byte(s)", closed_by=closed_by,
                    authorization=authorization, received=received[:4096].hex(),
                    received_size=len(received), frames=frames[:50],
                    close_code=codes[0] if codes else None)
        return RawResponse()

    async def applet_started(self, request):
        arguments = await request.json()
        shown = [a if i == 0 or arguments[i - 1] not in ("-Encrypted", "-Salt") else "***"
                 for i, a in enumerate(arguments)]
        self.record("applet-started", f"the applet's daemon was started with {shown}",
                    arguments=arguments)
        return web.Response(text="ok")


    # -- TLS listening site (--tls-port) -----------------------------------------------------
    def tls_context(self):
        """The context of the TLS site: each handshake gets the certificate chosen last."""
        self.tls_name = None
        self.tls_current = None
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.sni_callback = self.tls_hello
        return context

    def tls_hello(self, ssl_object, server_name, _context):
        self.record("tls-hello", f"TLS ClientHello (certificate {self.tls_name!r})",
                    name=self.tls_name, server_name=server_name)
        if self.tls_current is not None:
            ssl_object.context = self.tls_current
        return None

    async def control_tls(self, request):
        """Chooses the TLS site's certificate: {"name", "certificate", "key"} (PEM paths)."""
        try:
            choice = await request.json()
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(choice["certificate"], choice["key"])
            name = str(choice.get("name", choice["certificate"]))
        except (ValueError, KeyError, TypeError, OSError, ssl.SSLError) as error:
            return web.json_response({"error": str(error)}, status=400)
        self.tls_name = name
        self.tls_current = context
        self.record("tls-config", f"TLS certificate is now {name!r}", name=name)
        return web.json_response({"name": name})

    @web.middleware
    async def tls_requests(self, request, handler):
        """Records every request that came in over the TLS site, with its headers."""
        address = request.transport.get_extra_info("sockname") if request.transport else None
        if address and address[1] == self.args.tls_port:
            self.record("tls-request", f"TLS request {request.method} {request.path_qs}",
                        name=self.tls_name, path=request.path_qs, headers=dict(request.headers))
        return await handler(request)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, action="append", required=True,
                        help="port to listen on (repeat for several); the first is the public one")
    parser.add_argument("--company-token", action="append", default=[])
    parser.add_argument("--device-token", action="append", default=[])
    parser.add_argument("--monitoring-token", action="append", default=[])
    parser.add_argument("--heartbeat-ms", type=int, default=3000)
    parser.add_argument("--files", default=None, help="folder served under /files/")
    parser.add_argument("--cert", help="PEM certificate: serve https/wss")
    parser.add_argument("--key", help="PEM key of --cert")
    parser.add_argument("--demo-applet", action="store_true",
                        help="build files/applet.zip and ask every accepted device to start it")
    parser.add_argument("--quiet", action="store_true")
    parser.add_argument("--tls-port", type=int, default=None,
                        help="also serve https/wss here; the certificate is chosen through "
                             "POST /control/tls")
    args = parser.parse_args()

    if args.files is None:
        import tempfile
        args.files = tempfile.mkdtemp(prefix="orv-backend-files-")
    os.makedirs(args.files, exist_ok=True)
    backend = Backend(args)
    scheme = "https" if args.cert else "http"
    host = f"[{args.host}]" if ":" in args.host else args.host
    default_port = 443 if args.cert else 80
    port = args.port[0]
    backend.public_url = f"{scheme}://{host}" + ("" if port == default_port else f":{port}")
    if args.demo_applet:
        make_applet_zip(os.path.join(args.files, "applet.zip"), backend.public_url,
                        json.dumps({"Backend": backend.public_url}))

    app = web.Application(client_max_size=64 * 1024 * 1024)
    app.router.add_get("/ws", backend.websocket)
    app.router.add_get("/ws/{rest:.*}", backend.websocket)
    app.router.add_get("/Unattended/api/v1/GetAppletDownloadParam", backend.applet_param)
    app.router.add_get("/Unattended/api/v1/GetUnattendedUpdateParam", backend.update_param)
    # A base address ending in "/" is joined with "/" again by the clients: accept "//" too.
    app.router.add_route("*", "/{s:/*}Unattended/api/RequestVarnexToken", backend.token_request)
    app.router.add_post("/{s:/*}api/sendEvents", backend.send_events)
    app.router.add_post("/{s:/*}api/dump", backend.dump)
    app.router.add_get("/files/{name}", backend.file)
    app.router.add_post("/control/send", backend.control_send)
    app.router.add_post("/control/config", backend.control_config)
    app.router.add_post("/control/close", backend.control_close)
    app.router.add_get("/control/events", backend.control_events)
    app.router.add_get("/control/state", backend.control_state)
    app.router.add_post("/control/hostile", backend.control_hostile)
    app.router.add_post("/control/applet-started", backend.applet_started)
    if args.tls_port:
        app.router.add_post("/control/tls", backend.control_tls)
        app.middlewares.append(backend.tls_requests)

    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    async def run():
        runner = web.AppRunner(app, access_log=None)
        await runner.setup()
        for p in args.port:
            await web.TCPSite(runner, args.host, p, ssl_context=context).start()
        if args.tls_port:
            await web.TCPSite(runner, args.host, args.tls_port,
                              ssl_context=backend.tls_context()).start()
        if not args.quiet:
            print(f"[backend] listening on {backend.public_url} (ports {args.port}); "
                  f"WebSocket {backend.public_url.replace('http', 'ws', 1)}/ws", flush=True)
        while True:
            await asyncio.sleep(3600)

    try:
        asyncio.run(run())
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
