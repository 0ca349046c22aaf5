"""A download site on 127.0.0.1 for end-to-end runs, with faults a test scripts.

It serves the files of a folder with correct Range answers (206 with
Content-Range, 416 past the end) and records every request. Faults are queued
per path and each request takes the next one; with the queue empty the answer
is the normal one. A fault is a dict of:

    status      answer this status with a short text body (no file bytes)
    headers     with status: more (name, value) headers for that answer
    cut_after   send the headers of the normal answer, then only this many body
                bytes, and close the connection
    ignore_range  answer 200 with the whole file even when a Range was asked
    extra       append this many bytes past the end of the file
    throttle    bytes per second for the body

In a test:

    site = ScriptedSite(folder)           # starts on a free port
    site.fault("/Pelorin-9.9.9.exe", {"cut_after": 100_000})
    ... site.base ... site.requests("/Pelorin-9.9.9.exe") ...
    site.stop()

As a program (the main job): scripted_site.py --root DIR --port-file FILE
[--max-seconds N]; it stops on SIGTERM or after N seconds.
"""

import argparse
import http.server
import json
import os
import re
import signal
import threading
import time


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "scripted-site"

    def log_message(self, *args):
        pass

    def do_GET(self):
        site = self.server.site
        path = self.path.split("?", 1)[0]
        fault = site.take_fault(path)
        entry = {"path": path, "range": self.headers.get("Range"), "agent": self.headers.get("User-Agent"),
                 "cache": (self.headers.get("Cache-Control"), self.headers.get("Pragma"))}
        try:
            entry["status"], entry["sent"] = self._answer(site, path, fault)
        except (BrokenPipeError, ConnectionResetError):
            entry.setdefault("status", None)
        site.record(entry)

    def _send_head(self, status, length, extra_headers=()):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if length is not None:
            self.send_header("Content-Length", str(length))
        for name, value in extra_headers:
            self.send_header(name, value)
        self.end_headers()

    def _answer(self, site, path, fault):
        if "status" in fault:
            body = b"scripted answer\n"
            self._send_head(fault["status"], len(body), [("Connection", "close")] + fault.get("headers", []))
            self.wfile.write(body)
            self.close_connection = True
            return fault["status"], len(body)

        file_path = os.path.join(site.root, path.lstrip("/"))
        if not os.path.isfile(file_path):
            body = b"not here\n"
            self._send_head(404, len(body))
            self.wfile.write(body)
            return 404, len(body)
        with open(file_path, "rb") as f:
            data = f.read()

        start = 0
        status = 200
        headers = []
        asked = self.headers.get("Range")
        if asked and not fault.get("ignore_range"):
            match = re.fullmatch(r"bytes=(\d+)-", asked.strip())
            if match:
                start = int(match.group(1))
                if start >= len(data):
                    self._send_head(416, 0, [("Content-Range", "bytes */%d" % len(data))])
                    return 416, 0
                status = 206
                headers.append(("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data))))
        body = data[start:] + b"\x00" * fault.get("extra", 0)
        self._send_head(status, len(body), headers)

        limit = fault.get("cut_after")
        to_send = body if limit is None else body[:limit]
        sent = self._write_paced(to_send, fault.get("throttle"))
        if limit is not None:
            self.close_connection = True
            self.connection.shutdown(2)
        return status, sent

    def _write_paced(self, body, throttle):
        if not throttle:
            self.wfile.write(body)
            return len(body)
        step = max(1, throttle // 20)
        sent = 0
        began = time.monotonic()
        while sent < len(body):
            self.wfile.write(body[sent : sent + step])
            sent += min(step, len(body) - sent)
            due = began + sent / throttle
            pause = due - time.monotonic()
            if pause > 0:
                time.sleep(pause)
        return sent


class ScriptedSite:
    def __init__(self, root, port=0):
        self.root = root
        self._faults = {}
        self._log = []
        self._lock = threading.Lock()
        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", port), _Handler)
        self._server.daemon_threads = True
        # A client that hangs up mid-answer is part of the script, not an error.
        self._server.handle_error = lambda request, address: None
        self._server.site = self
        self.port = self._server.server_address[1]
        self.base = "http://127.0.0.1:%d/" % self.port
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()

    def fault(self, path, *faults):
        with self._lock:
            self._faults.setdefault(path, []).extend(faults)

    def take_fault(self, path):
        with self._lock:
            queue = self._faults.get(path)
            return queue.pop(0) if queue else {}

    def record(self, entry):
        with self._lock:
            self._log.append(entry)

    def requests(self, path=None):
        with self._lock:
            return [dict(e) for e in self._log if path is None or e["path"] == path]

    def stop(self):
        self._server.shutdown()
        self._server.server_close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--max-seconds", type=float, default=600)
    args = parser.parse_args()
    site = ScriptedSite(args.root)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(site.port))
    os.replace(args.port_file + ".tmp", args.port_file)
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    done.wait(args.max_seconds)
    site.stop()


if __name__ == "__main__":
    main()
