"""HTTPS peer for the Qt platform tests: python3 tls_server.py PORT CERT KEY"""
import ssl
import sys

from aiohttp import web


async def hello(request):
    return web.Response(text="hello over tls")


def main():
    app = web.Application()
    app.router.add_get("/", hello)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(sys.argv[2], sys.argv[3])
    web.run_app(app, host="127.0.0.1", port=int(sys.argv[1]), ssl_context=context, print=None,
                access_log=None)


if __name__ == "__main__":
    main()
