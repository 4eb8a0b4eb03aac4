#!/usr/bin/python3
"""A small HTTP server on 127.0.0.1 for the download tests. Prints its port, then serves:
/bytes/N        N bytes (b"0123456789" repeated) with Content-Length
/nolength/N     N bytes without Content-Length (the connection end marks the end)
/redirect/N     302 to /bytes/N
/missing        404 with an HTML page
/slow/N         N bytes with Content-Length, 4 KB every 50 ms
/requests       the number of requests served before this one
"""
import http.server
import sys
import time

count = 0


def body(n):
    return (b"0123456789" * (n // 10 + 1))[:n]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        global count
        parts = self.path.strip("/").split("/")
        if parts[0] == "requests":
            data = str(count).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
            return
        count += 1
        n = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0
        if parts[0] == "bytes":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(n))
            self.end_headers()
            chunk = 1 << 20
            sent = 0
            while sent < n:
                part = min(chunk, n - sent)
                self.wfile.write(big[:part])
                sent += part
        elif parts[0] == "nolength":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.end_headers()
            self.wfile.write(body(n))
        elif parts[0] == "redirect":
            self.send_response(302)
            self.send_header("Location", "/bytes/%d" % n)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif parts[0] == "slow":
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            sent = 0
            try:
                while sent < n:
                    part = min(4096, n - sent)
                    self.wfile.write(body(part))
                    self.wfile.flush()
                    sent += part
                    time.sleep(0.05)
            except (BrokenPipeError, ConnectionResetError):
                pass
        else:
            page = b"<html><body>Not Found</body></html>"
            self.send_response(404)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)


big = body(1 << 20)
server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1]) if len(sys.argv) > 1 else 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
