#!/usr/bin/python3
"""A throw-away SMTP server on loopback for the engine tests (RFC 5321, AUTH RFC 4954).

Listens on 127.0.0.1 (the given port, or a free one) and prints "READY <port>" once it
listens. Every transaction becomes one JSON line in the record file:

    {"client": address, "ehlo": name, "esmtp": bool, "auth_user": str|null, "auth_mechanism": str|null,
     "mail_from": str, "rcpt_tos": [...], "refused_rcpts": [...],
     "data_b64": base64 of the data after the final dot, dot-stuffing removed,
     "complete": false when the server dropped the connection inside DATA}

A transaction is written before the client sees the reply to its final dot, so a
client that got its 250 can read the record at once. The server stops when its
standard input closes (its parent is gone) or on SIGTERM.

With --tls-cert and --tls-key it speaks TLS: --starttls offers STARTTLS and refuses
everything else before it (RFC 3207), --implicit-tls speaks TLS from the first byte
(RFC 8314). Every AUTH command, whenever it comes, is appended to the file given by
--auth-record, so a test can tell that no credential reached the server. The record
of a transaction says whether it came over TLS ("tls").

Run it with Debian's /usr/bin/python3, which has the aiosmtpd module.
"""

import argparse
import asyncio
import base64
import hmac
import json
import logging
import secrets
import ssl
import sys
import time

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword

from peer_loop import serve_until_stopped

ALL_MECHANISMS = ("PLAIN", "LOGIN", "CRAM-MD5")


class Recorder:
    """Appends one JSON object per line and flushes it, so a reader sees whole lines."""

    def __init__(self, path):
        self._file = open(path, "a", encoding="ascii") if path else None

    def write(self, record):
        if self._file:
            self._file.write(json.dumps(record) + "\n")
            self._file.flush()


def latin1(data):
    return data.decode("latin-1") if isinstance(data, (bytes, bytearray)) else data


def transaction(session, envelope, data, complete):
    return {
        "client": session.peer[0] if session.peer else None,
        "ehlo": session.host_name,
        "esmtp": bool(session.extended_smtp),
        "auth_user": getattr(session, "glp_user", None),
        "auth_mechanism": getattr(session, "glp_mechanism", None),
        "mail_from": envelope.mail_from,
        "mail_options": list(envelope.mail_options or []),
        "rcpt_tos": list(envelope.rcpt_tos),
        "refused_rcpts": list(getattr(envelope, "glp_refused", [])),
        "data_b64": base64.b64encode(bytes(data or b"")).decode("ascii"),
        "complete": complete,
        "tls": getattr(session, "glp_tls", False),
    }


class Handler:
    """The aiosmtpd hooks: recipient refusal, the AUTH line, recording."""

    def __init__(self, options, recorder):
        self.options = options
        self.recorder = recorder

    def refuses(self, address):
        refused = {a.lower() for a in self.options.refuse_rcpt}
        return self.options.refuse_all_rcpt or address.lower() in refused

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if not self.options.auth:
            responses = [r for r in responses if not r.startswith("250-AUTH")]
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.refuses(address):
            if not hasattr(envelope, "glp_refused"):
                envelope.glp_refused = []
            envelope.glp_refused.append(address)
            return f"550 5.7.1 <{address}>: Relay access denied"
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        session.glp_tls = server.transport.get_extra_info("ssl_object") is not None
        self.recorder.write(transaction(session, envelope, envelope.original_content, True))
        if self.options.refuse_data:
            return "554 5.6.0 Message refused"
        return "250 2.0.0 OK: queued"

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        ok = (self.options.auth and isinstance(auth_data, LoginPassword)
              and auth_data.login == self.options.user.encode("latin-1")
              and auth_data.password == self.options.password.encode("latin-1"))
        if ok:
            session.glp_user = self.options.user
            session.glp_mechanism = mechanism
        return AuthResult(success=ok, handled=False, auth_data=auth_data)


class PeerSMTP(SMTP):
    """aiosmtpd's SMTP with CRAM-MD5 (RFC 2195), usual LOGIN prompts and the faults."""

    def __init__(self, handler, options, **kwargs):
        self.options = options
        super().__init__(handler, **kwargs)
        if not options.library_login_prompts:
            # Most servers prompt "Username:" and "Password:"; clients may wait for them.
            self.AuthLoginUsernameChallenge = "Username:"
            self.AuthLoginPasswordChallenge = "Password:"

    async def smtp_AUTH(self, arg):
        if self.options.auth_record:
            with open(self.options.auth_record, "a", encoding="ascii") as f:
                f.write((arg or "").split(" ")[0] + "\n")
        return await super().smtp_AUTH(arg)

    async def smtp_EHLO(self, hostname):
        if self.options.no_ehlo:
            await self.push(f"{self.options.no_ehlo} 5.5.1 Error: command \"EHLO\" not implemented")
            return
        await super().smtp_EHLO(hostname)

    async def auth_CRAM__MD5(self, _, args):
        if len(args) > 1:
            await self.push("501 5.5.4 CRAM-MD5 takes no initial response")
            return AuthResult(success=False, handled=True)
        challenge = f"<{secrets.randbelow(10**9)}.{int(time.time())}@{self.hostname}>".encode()
        answer = await self.challenge_auth(challenge)
        if answer is MISSING:
            return AuthResult(success=False, handled=True)
        user, _, digest = answer.rpartition(b" ")
        secret = self.options.password.encode("latin-1")
        expected = hmac.new(secret, challenge, "md5").hexdigest().encode("ascii")
        ok = (self.options.auth and user == self.options.user.encode("latin-1")
              and hmac.compare_digest(digest, expected))
        if ok:
            self.session.glp_user = self.options.user
            self.session.glp_mechanism = "CRAM-MD5"
        return AuthResult(success=ok, handled=False, auth_data=LoginPassword(user, b""))

    async def smtp_DATA(self, arg):
        if not self.options.drop_in_data or not self.envelope.rcpt_tos:
            return await super().smtp_DATA(arg)
        await self.push("354 End data with <CR><LF>.<CR><LF>")
        first_line = await self._reader.readline()
        self.event_handler.recorder.write(
            transaction(self.session, self.envelope, first_line, False))
        self._handler_coroutine.cancel()
        self.transport.close()


def parse_options(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--port", type=int, default=0, help="port on 127.0.0.1, 0 for a free one")
    p.add_argument("--record", default="", help="file that receives one JSON line per transaction")
    p.add_argument("--hostname", default="smtp.peer.test", help="name in the greeting and EHLO")
    p.add_argument("--auth", action="store_true", help="offer AUTH")
    p.add_argument("--user", default="alice")
    p.add_argument("--password", default="secret")
    p.add_argument("--mechanisms", default=" ".join(ALL_MECHANISMS),
                   help="AUTH mechanisms to offer, blank-separated")
    p.add_argument("--require-auth", action="store_true", help="refuse MAIL before AUTH (530)")
    p.add_argument("--library-login-prompts", action="store_true",
                   help="keep aiosmtpd's LOGIN prompts 'User Name\\0' and 'Password\\0'")
    p.add_argument("--refuse-rcpt", action="append", default=[], metavar="ADDRESS",
                   help="answer RCPT TO for this address with 550 (repeatable)")
    p.add_argument("--refuse-all-rcpt", action="store_true", help="answer every RCPT TO with 550")
    p.add_argument("--refuse-data", action="store_true", help="answer the final dot with 554")
    p.add_argument("--drop-in-data", action="store_true",
                   help="close the connection after the first line of DATA")
    p.add_argument("--no-ehlo", nargs="?", const="502", default="", metavar="CODE",
                   help="answer EHLO with CODE (502) so that clients fall back to HELO")
    p.add_argument("--tls-cert", default="", help="the server's certificate (PEM)")
    p.add_argument("--tls-key", default="", help="its key (PEM)")
    p.add_argument("--starttls", action="store_true", help="offer STARTTLS and insist on it")
    p.add_argument("--implicit-tls", action="store_true", help="speak TLS from the first byte")
    p.add_argument("--auth-record", default="", help="file that receives the mechanism of every AUTH")
    p.add_argument("--verbose", action="store_true", help="aiosmtpd's log on stderr")
    options = p.parse_args(argv)
    options.mechanisms = options.mechanisms.upper().split()
    if (options.starttls or options.implicit_tls) and not (options.tls_cert and options.tls_key):
        p.error("--starttls and --implicit-tls need --tls-cert and --tls-key")
    return options


def tls_context(options):
    if not options.tls_cert:
        return None
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(options.tls_cert, options.tls_key)
    return context


def make_factory(options, loop):
    handler = Handler(options, Recorder(options.record))
    offered = set(options.mechanisms) if options.auth else set()
    excluded = [m for m in ALL_MECHANISMS if m not in offered]
    starttls = tls_context(options) if options.starttls else None
    return lambda: PeerSMTP(
        handler, options, hostname=options.hostname, loop=loop,
        tls_context=starttls, require_starttls=bool(starttls),
        auth_require_tls=bool(starttls), auth_required=options.require_auth,
        authenticator=handler.authenticate, auth_exclude_mechanism=excluded)


async def serve(options):
    loop = asyncio.get_running_loop()
    implicit = tls_context(options) if options.implicit_tls else None
    server = await loop.create_server(make_factory(options, loop), host="127.0.0.1",
                                      port=options.port, ssl=implicit)
    await serve_until_stopped(server)


def main(argv):
    options = parse_options(argv)
    logging.basicConfig(level=logging.INFO if options.verbose else logging.ERROR)
    asyncio.run(serve(options))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
