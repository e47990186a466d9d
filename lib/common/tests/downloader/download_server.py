#!/usr/bin/python3
"""A file server stand-in for the downloader tests (aiohttp).

/file            200, Content-Disposition: attachment; filename="applet.zip", a binary body
/named?name=N    200, Content-Disposition: attachment; filename=N (N sent as given)
/fail            500 every time
/redirect        302 to /file, with a body of its own
/forbidden       403
/text            200, a text body
/hits?path=P     how many requests P has had (as text)
/agent           the User-Agent of the request (as text)

Usage: download_server.py PORT
"""
import collections
import sys

from aiohttp import web

BODY = bytes(range(256)) * 64
hits = collections.Counter()


@web.middleware
async def count(request, handler):
    hits[request.path] += 1
    return await handler(request)


async def file(request):
    return web.Response(body=BODY, headers={"Content-Disposition": 'attachment; filename="applet.zip"'})


async def named(request):
    return web.Response(body=b"named body",
                        headers={"Content-Disposition": "attachment; filename=" + request.query["name"]})


async def fail(request):
    return web.Response(status=500, text="server error")


async def redirect(request):
    return web.Response(status=302, headers={"Location": "/file"}, text="moved elsewhere")


async def forbidden(request):
    return web.Response(status=403, text="forbidden")


async def text(request):
    return web.Response(text='{"Version":"1.2.3"}')


async def hit_count(request):
    return web.Response(text=str(hits[request.query["path"]]))


async def agent(request):
    return web.Response(text=request.headers.get("User-Agent", ""))


app = web.Application(middlewares=[count])
app.add_routes([
    web.get("/file", file),
    web.get("/named", named),
    web.get("/fail", fail),
    web.get("/redirect", redirect),
    web.get("/forbidden", forbidden),
    web.get("/text", text),
    web.get("/hits", hit_count),
    web.get("/agent", agent),
])

if __name__ == "__main__":
    web.run_app(app, host="127.0.0.1", port=int(sys.argv[1]), print=None, access_log=None)
