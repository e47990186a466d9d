"""HTTP peer for the Qt platform tests: python3 http_server.py PORT"""
import asyncio
import sys

from aiohttp import web


async def echo(request):
    body = await request.read()
    headers = {"X-Method": request.method, "X-Echo-Header": request.headers.get("X-Test", "")}
    text = request.method + "\n" + request.headers.get("Content-Type", "") + "\n"
    return web.Response(body=text.encode() + body, headers=headers,
                        content_type="application/octet-stream")


async def status(request):
    code = int(request.match_info["code"])
    return web.Response(status=code, text="status %d" % code)


async def chunked(request):
    response = web.StreamResponse()
    response.enable_chunked_encoding()
    response.headers["Content-Type"] = "text/plain"
    await response.prepare(request)
    for index in range(5):
        await response.write(("part%d;" % index).encode())
        await asyncio.sleep(0.05)
    await response.write_eof()
    return response


async def never(request):
    await asyncio.sleep(3600)
    return web.Response(text="late")


async def disposition(request):
    return web.Response(text="file body",
                        headers={"Content-Disposition": 'attachment; filename="a.zip"'})


async def small(request):
    return web.Response(text="ok")


async def upload(request):
    body = await request.read()
    return web.Response(text="%s %d %s" % (request.method, len(body),
                                           request.headers.get("Content-Type", "")))


def main():
    app = web.Application(client_max_size=64 * 1024 * 1024)
    app.router.add_route("*", "/echo", echo)
    app.router.add_route("*", "/status/{code}", status)
    app.router.add_get("/chunked", chunked)
    app.router.add_get("/never", never)
    app.router.add_get("/disposition", disposition)
    app.router.add_get("/small", small)
    app.router.add_route("PUT", "/upload", upload)
    web.run_app(app, host="127.0.0.1", port=int(sys.argv[1]), print=None,
                access_log=None)


if __name__ == "__main__":
    main()
