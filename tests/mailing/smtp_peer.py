#!/usr/bin/python3
"""SMTP peer for the mailing tests: an aiosmtpd server on 127.0.0.1 that saves every message
and writes what it saw (sessions, AUTH, RCPT, DATA) as JSON lines into <dir>/events.jsonl.

It prints the port it listens on as the first line of stdout.
Options:
  --dir DIR              where messages (msg-N.eml) and events.jsonl go
  --auth USER:PASSWORD   require AUTH (LOGIN and PLAIN offered, also without TLS)
  --reject ADDR          answer RCPT TO:<ADDR> with 550 (repeatable)
  --drop-data ADDR       close the connection in DATA when ADDR is a recipient (repeatable)
  --fail-421 ADDR        answer DATA with 421 when ADDR is a recipient (repeatable)
  --stall-data ADDR      never answer DATA when ADDR is a recipient (repeatable)
  --stall                accept connections but never greet
  --tls-cert CERT --tls-key KEY   offer STARTTLS with this certificate
  --pipelining           offer PIPELINING (the server reads commands in order either way)
  --smtputf8             offer SMTPUTF8
  --implicit-tls         TLS from the first byte (with --tls-cert/--tls-key) instead of STARTTLS
  --tap-port PORT        clients connect here (0: any free port; 465 is waited for while another
                         test holds it); every connection is relayed to the server and what the
                         client sent is written to <dir>/tap-N.bin (N counts connections)
"""
import argparse
import asyncio
import errno
import json
import os
import ssl
import sys
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.events = open(os.path.join(folder, "events.jsonl"), "a", buffering=1)

    def event(self, **kw):
        self.events.write(json.dumps(kw) + "\n")


class Handler:
    def __init__(self, rec, args):
        self.rec = rec
        self.args = args

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        ok = address.lower() not in self.args.reject
        self.rec.event(ev="rcpt", to=address, ok=ok)
        if not ok:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.args.pipelining:
            responses.insert(len(responses) - 1, "250-PIPELINING")
        return responses

    async def handle_DATA(self, server, session, envelope):
        rcpts = [r.lower() for r in envelope.rcpt_tos]
        if any(r in self.args.drop_data for r in rcpts):
            self.rec.event(ev="drop", rcpts=envelope.rcpt_tos)
            server.transport.close()
            return "451 dropped"
        if any(r in self.args.stall_data for r in rcpts):
            self.rec.event(ev="stall", rcpts=envelope.rcpt_tos)
            await asyncio.sleep(3600)
        if any(r in self.args.fail_421 for r in rcpts):
            self.rec.event(ev="421", rcpts=envelope.rcpt_tos)
            return "421 4.3.2 Service shutting down"
        self.rec.count += 1
        name = os.path.join(self.rec.folder, "msg-%d.eml" % self.rec.count)
        with open(name + ".tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(name + ".tmp", name)
        self.rec.event(ev="data", mail_from=envelope.mail_from, rcpts=envelope.rcpt_tos,
                       mail_options=envelope.mail_options, file=os.path.basename(name))
        return "250 2.0.0 Ok: queued"


class RecordingSMTP(SMTP):
    def __init__(self, rec, *a, **kw):
        super().__init__(*a, **kw)
        self.rec = rec

    def connection_made(self, transport):
        self.rec.event(ev="connect")
        super().connection_made(transport)

    async def smtp_AUTH(self, arg):
        self.rec.event(ev="auth_cmd", arg=(arg or "").split(" ")[0])
        return await super().smtp_AUTH(arg)

    async def smtp_NOOP(self, arg):
        self.rec.event(ev="noop")
        return await super().smtp_NOOP(arg)

    async def smtp_STARTTLS(self, arg):
        self.rec.event(ev="starttls")
        return await super().smtp_STARTTLS(arg)

    async def smtp_QUIT(self, arg):
        self.rec.event(ev="quit")
        return await super().smtp_QUIT(arg)


async def start_tap(folder, tap_port, server_port):
    count = [0]

    async def relay(reader, writer):
        count[0] += 1
        tapped = open(os.path.join(folder, "tap-%d.bin" % count[0]), "wb", buffering=0)
        try:
            up_reader, up_writer = await asyncio.open_connection("127.0.0.1", server_port)
        except OSError:
            writer.close()
            return

        async def pump(src, dst, record):
            try:
                while True:
                    data = await src.read(65536)
                    if not data:
                        break
                    if record:
                        tapped.write(data)
                    dst.write(data)
                    await dst.drain()
            except (ConnectionError, OSError):
                pass
            finally:
                try:
                    dst.close()
                except Exception:
                    pass
        await asyncio.gather(pump(reader, up_writer, True), pump(up_reader, writer, False))
        tapped.close()

    deadline = time.monotonic() + 300
    while True:
        try:
            return await asyncio.start_server(relay, "127.0.0.1", tap_port, reuse_address=True)
        except OSError as e:
            # another test's peer holds the port: wait for it
            if e.errno != errno.EADDRINUSE or time.monotonic() > deadline:
                raise
            await asyncio.sleep(0.2)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--dir", required=True)
    p.add_argument("--auth")
    p.add_argument("--reject", action="append", default=[])
    p.add_argument("--drop-data", action="append", default=[])
    p.add_argument("--fail-421", action="append", default=[])
    p.add_argument("--stall-data", action="append", default=[])
    p.add_argument("--stall", action="store_true")
    p.add_argument("--tls-cert")
    p.add_argument("--tls-key")
    p.add_argument("--pipelining", action="store_true")
    p.add_argument("--smtputf8", action="store_true")
    p.add_argument("--implicit-tls", action="store_true")
    p.add_argument("--tap-port", type=int)
    args = p.parse_args()
    args.reject = [a.lower() for a in args.reject]
    args.drop_data = [a.lower() for a in args.drop_data]
    args.fail_421 = [a.lower() for a in args.fail_421]
    args.stall_data = [a.lower() for a in args.stall_data]
    rec = Recorder(args.dir)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    if args.stall:
        async def silent(reader, writer):
            rec.event(ev="connect")
            await reader.read()  # until the client gives up
            writer.close()
        server = loop.run_until_complete(asyncio.start_server(silent, "127.0.0.1", 0))
    else:
        kw = {}
        if args.auth:
            user, password = args.auth.split(":", 1)

            def authenticator(server, session, envelope, mechanism, auth_data):
                ok = (isinstance(auth_data, LoginPassword)
                      and auth_data.login.decode() == user
                      and auth_data.password.decode() == password)
                rec.event(ev="auth", mechanism=mechanism,
                          login=auth_data.login.decode(errors="replace"),
                          password=auth_data.password.decode(errors="replace"), ok=ok)
                return AuthResult(success=ok, handled=False)
            kw = dict(authenticator=authenticator, auth_required=True, auth_require_tls=False)
        implicit = None
        if args.tls_cert:
            ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            ctx.load_cert_chain(args.tls_cert, args.tls_key)
            if args.implicit_tls:
                implicit = ctx
            else:
                kw["tls_context"] = ctx
        if args.smtputf8:
            kw["enable_SMTPUTF8"] = True
        handler = Handler(rec, args)
        server = loop.run_until_complete(loop.create_server(
            lambda: RecordingSMTP(rec, handler, hostname="peer.test", **kw), "127.0.0.1", 0, ssl=implicit))
    port = server.sockets[0].getsockname()[1]
    if args.tap_port is not None:
        tap = loop.run_until_complete(start_tap(args.dir, args.tap_port, port))
        port = tap.sockets[0].getsockname()[1]
    sys.stdout.write("%d\n" % port)
    sys.stdout.flush()
    try:
        loop.run_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
