#!/usr/bin/python3
"""SMTP server on 127.0.0.1 for the report-mail tests (aiosmtpd).

Usage: smtp_server.py <out-folder> <mode> [cert key]
Modes: accept (any login accepted), refuse-from (MAIL FROM gets 550), refuse-first (the first
MAIL FROM gets 550).
Prints the port, then writes each received message to <out-folder>/<n>.eml and the envelope to
<n>.env. With cert and key it offers STARTTLS; with "implicit" after them it listens on port 465
and speaks TLS from the first byte.
"""
import asyncio, os, ssl, sys, time
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, SMTP

out, mode = sys.argv[1], sys.argv[2]
count = 0
refused = False

class Handler:
    async def handle_MAIL(self, server, session, envelope, address, options):
        global refused
        if mode == "refuse-from" or (mode == "refuse-first" and not refused):
            refused = True
            return "550 sender refused"
        envelope.mail_from = address
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        global count
        count += 1
        with open(os.path.join(out, "%d.eml" % count), "wb") as f:
            f.write(envelope.original_content)
        login = getattr(session, "auth_data", None) or b""
        with open(os.path.join(out, "%d.env" % count), "w") as f:
            f.write("%s\n%s\n%s\n" % (envelope.mail_from, ",".join(envelope.rcpt_tos),
                                      login.decode() if isinstance(login, bytes) else str(login)))
        return "250 Message accepted"

def authenticator(server, session, envelope, mechanism, auth_data):
    return AuthResult(success=True, auth_data=auth_data.login + b":" + auth_data.password)

tls = None
if len(sys.argv) > 4:
    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(sys.argv[3], sys.argv[4])

implicit = len(sys.argv) > 5 and sys.argv[5] == "implicit"
import socket
probe = socket.socket()
probe.bind(("127.0.0.1", 0))
port = 465 if implicit else probe.getsockname()[1]
probe.close()
if implicit:
    controller = Controller(Handler(), hostname="127.0.0.1", port=port, authenticator=authenticator,
                            auth_require_tls=False, ssl_context=tls, decode_data=False)
else:
    controller = Controller(Handler(), hostname="127.0.0.1", port=port, authenticator=authenticator,
                            auth_require_tls=tls is not None, tls_context=tls, require_starttls=False,
                            decode_data=False)
controller.start()
print(port, flush=True)
try:
    while True:
        time.sleep(1)
except KeyboardInterrupt:
    pass
