"""A stand-in for the monitoring service and the backend's token endpoint, for tests.

    monitoring_stub.py --port N --config routes.json --log requests.jsonl

routes.json maps a path to a list of answers, used in turn; the last one repeats:
    {"/api/sendEvents": [{"status": 403}, {"status": 202}],
     "/Unattended/api/RequestVarnexToken": [{"status": 201, "body": "{...}"}]}
An answer may also hold "delay" (seconds before answering). Unknown paths get 404.
Every request is appended to the log as one JSON line: method, path, query, content type,
body (text) and, for multipart/form-data, the form fields by name.
"""
import argparse
import asyncio
import json

from aiohttp import web


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--config", required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()

    with open(args.config, encoding="utf-8") as f:
        routes = json.load(f)
    used = {}

    async def handle(request):
        entry = {
            "method": request.method,
            "path": request.path,
            "query": request.query_string,
            "contentType": request.headers.get("Content-Type", ""),
        }
        if request.content_type == "multipart/form-data":
            form = {}
            reader = await request.multipart()
            async for part in reader:
                data = await part.read(decode=False)
                form[part.name] = data.decode("utf-8", errors="replace")
            entry["form"] = form
            entry["body"] = ""
        else:
            body = await request.read()
            entry["body"] = body.decode("utf-8", errors="replace")
        with open(args.log, "a", encoding="utf-8") as log:
            log.write(json.dumps(entry) + "\n")

        answers = routes.get(request.path)
        if not answers:
            return web.Response(status=404)
        index = used.get(request.path, 0)
        used[request.path] = index + 1
        answer = answers[min(index, len(answers) - 1)]
        if answer.get("delay"):
            await asyncio.sleep(answer["delay"])
        return web.Response(status=answer.get("status", 200), text=answer.get("body", ""),
                            content_type="application/json")

    app = web.Application(client_max_size=64 * 1024 * 1024)
    app.router.add_route("*", "/{tail:.*}", handle)
    web.run_app(app, host="127.0.0.1", port=args.port, print=None, handle_signals=True)


if __name__ == "__main__":
    main()
