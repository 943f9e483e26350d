#!/usr/bin/python3
"""A throw-away dovecot POP3 server (RFC 1939) on loopback for the engine tests.

Builds a private instance in a fresh temporary folder (configuration, passwd-file,
one Maildir per user owned by the system user `mail`), starts `dovecot -F` on
127.0.0.1 and a free port, and prints "HOME <folder>" and then "READY <port>" once
the server greets. It then reads commands on standard input, one per line, and
answers each with one line:

    DELIVER <user> <base64 message>  -> "OK <file name>"   (written into Maildir/new/)
    LIST <user>                      -> "LIST <json>"      what is left on the server:
                                        [{"folder": "new"|"cur", "name": ..., "data_b64": ...}]
    STOP                             -> "BYE", then it stops
    anything that fails              -> "ERR <text>"

Maildir files hold LF line ends (dovecot adds the CR and the dot-stuffing when it
serves them), so a delivered message has its CR LF turned into LF.

With --ssl-cert and --ssl-key the server speaks TLS: --ssl yes offers STLS on the
plain listener, --ssl required also refuses a login before STLS, and --pop3s adds a
listener that speaks TLS from the first byte, reported as "POP3S <port>" before
READY. Every login attempt is then logged (auth_verbose), so a test can tell whether
a client sent its credentials. DELE takes effect
at QUIT; after that, new/ and cur/ hold what the client left on the server.

The server and the folder go away on STOP, when standard input closes, or on
SIGTERM. Must run as root: dovecot changes to the mail users itself.
"""

import argparse
import base64
import ctypes
import json
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

DOVECOT = "/usr/sbin/dovecot"
MAIL_USER = "mail"
START_DEADLINE = 10.0
PR_SET_PDEATHSIG = 1

CONFIG = """\
base_dir = {base}/run
state_dir = {base}/state
instance_name = glp-dovecot-{tag}
log_path = {base}/dovecot.log
protocols = pop3
listen = 127.0.0.1
# Its own name is given, so that a machine without a name server does not make it
# wait for a lookup of this host's name at start.
hostname = localhost
{ssl}
disable_plaintext_auth = no
auth_mechanisms = plain login
# A refused login is answered at once, not after the usual two seconds.
auth_failure_delay = 0
first_valid_uid = {uid}
mail_location = maildir:{base}/mail/%u/Maildir
passdb {{
  driver = passwd-file
  args = {base}/passwd
}}
userdb {{
  driver = passwd-file
  args = {base}/passwd
}}
service pop3-login {{
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {port}
  }}
  inet_listener pop3s {{
    address = 127.0.0.1
    port = {pop3s_port}
    ssl = yes
  }}
}}
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def die_with_parent():
    # dovecot's master must not outlive this launcher, whatever ends it.
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


class Instance:
    def __init__(self, users, keep, tls=None):
        self.users = users
        self.keep = keep
        self.tls = tls  # (mode, cert, key, pop3s) or None
        self.pop3s_port = 0
        self.mail = pwd.getpwnam(MAIL_USER)
        self.base = tempfile.mkdtemp(prefix="glp-dovecot-")
        os.chmod(self.base, 0o755)  # dovecot's login and auth users must reach it
        self.port = 0
        self.process = None
        self.counter = 0

    def maildir(self, user):
        return os.path.join(self.base, "mail", user, "Maildir")

    def write_files(self):
        for sub in ("run", "state"):
            os.makedirs(os.path.join(self.base, sub), 0o755)
        lines = []
        for user, password in self.users:
            home = os.path.join(self.base, "mail", user)
            lines.append(f"{user}:{{PLAIN}}{password}:{self.mail.pw_uid}:{self.mail.pw_gid}::{home}::")
            for path in (home, self.maildir(user)) + tuple(
                    os.path.join(self.maildir(user), d) for d in ("new", "cur", "tmp")):
                os.makedirs(path, 0o755, exist_ok=True)
                os.chown(path, self.mail.pw_uid, self.mail.pw_gid)
        with open(os.path.join(self.base, "passwd"), "w") as f:
            f.write("\n".join(lines) + "\n")
        os.chmod(os.path.join(self.base, "mail"), 0o755)

    def config_path(self):
        return os.path.join(self.base, "dovecot.conf")

    def ssl_settings(self):
        if not self.tls:
            return "ssl = no"
        mode, cert, key, _ = self.tls
        return (f"ssl = {mode}\nssl_cert = <{cert}\nssl_key = <{key}\n"
                "auth_verbose = yes\nauth_verbose_passwords = no")

    def write_config(self):
        text = CONFIG.format(base=self.base, tag=os.path.basename(self.base),
                             uid=self.mail.pw_uid, port=self.port, ssl=self.ssl_settings(),
                             pop3s_port=self.pop3s_port)
        with open(self.config_path(), "w") as f:
            f.write(text)

    def greets(self):
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=1) as s:
                return s.recv(64).startswith(b"+OK")
        except OSError:
            return False

    def start_once(self):
        self.port = free_port()
        if self.tls and self.tls[3]:
            self.pop3s_port = free_port()
        self.write_config()
        self.process = subprocess.Popen([DOVECOT, "-F", "-c", self.config_path()],
                                        stdin=subprocess.DEVNULL, preexec_fn=die_with_parent)
        deadline = time.monotonic() + START_DEADLINE
        while time.monotonic() < deadline:
            if self.greets():
                return True
            try:
                # Ends at once when dovecot gives up, as it does when its port was taken.
                self.process.wait(0.05)
                break
            except subprocess.TimeoutExpired:
                pass
        self.stop_server()
        return False

    def start(self):
        self.write_files()
        # dovecot takes its port from the configuration, so it cannot bind port 0: the
        # free port may be taken between the probe and dovecot's bind. Then dovecot
        # ends, and the next try takes a new port.
        return any(self.start_once() for _ in range(5))

    def stop_server(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def close(self):
        # A SIGTERM now (the parent dying while it waits for us) must not cut the clean-up.
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        self.stop_server()
        if not self.keep:
            shutil.rmtree(self.base, ignore_errors=True)

    def deliver(self, user, message):
        folder = self.maildir(user)
        if not os.path.isdir(folder):
            raise ValueError(f"no such user {user}")
        self.counter += 1
        # Names sort in delivery order, which dovecot keeps as the message order.
        name = f"{int(time.time())}.M{self.counter:06d}P{os.getpid()}.glp-peer"
        temporary = os.path.join(folder, "tmp", name)
        with open(temporary, "wb") as f:
            f.write(message.replace(b"\r\n", b"\n"))
        os.chown(temporary, self.mail.pw_uid, self.mail.pw_gid)
        os.rename(temporary, os.path.join(folder, "new", name))
        return name

    def left_on_server(self, user):
        found = []
        for sub in ("new", "cur"):
            path = os.path.join(self.maildir(user), sub)
            for name in sorted(os.listdir(path)):
                with open(os.path.join(path, name), "rb") as f:
                    data = base64.b64encode(f.read()).decode("ascii")
                found.append({"folder": sub, "name": name, "data_b64": data})
        return found


def answer(instance, line):
    verb, _, rest = line.strip().partition(" ")
    if verb == "DELIVER":
        user, _, data = rest.partition(" ")
        return "OK " + instance.deliver(user, base64.b64decode(data, validate=True))
    if verb == "LIST":
        return "LIST " + json.dumps(instance.left_on_server(rest.strip()))
    raise ValueError(f"unknown command {verb!r}")


def serve(instance):
    for line in sys.stdin:
        if line.strip() == "STOP":
            print("BYE", flush=True)
            return
        try:
            reply = answer(instance, line)
        except Exception as error:  # a bad command must not end the instance
            reply = "ERR " + str(error).replace("\n", " ")
        print(reply, flush=True)


def parse_options(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--user", action="append", default=[], metavar="NAME:PASSWORD",
                   help="a mailbox and its password (repeatable; alice:secret when none)")
    p.add_argument("--keep", action="store_true", help="keep the folder afterwards")
    p.add_argument("--ssl", choices=("yes", "required"), default="yes",
                   help="with a certificate: offer STLS (yes) or insist on it (required)")
    p.add_argument("--ssl-cert", default="", help="the server's certificate (PEM)")
    p.add_argument("--ssl-key", default="", help="its key (PEM)")
    p.add_argument("--pop3s", action="store_true", help="also listen with TLS from the first byte")
    options = p.parse_args(argv)
    if bool(options.ssl_cert) != bool(options.ssl_key) or (options.pop3s and not options.ssl_cert):
        p.error("--ssl-cert and --ssl-key go together, and --pop3s needs them")
    options.users = [tuple(u.split(":", 1)) for u in options.user or ["alice:secret"]]
    for pair in options.users:
        if len(pair) != 2 or not pair[0] or "/" in pair[0] or any(":" in x for x in pair):
            p.error(f"bad --user {':'.join(pair)!r}")
    return options


def main(argv):
    options = parse_options(argv)
    tls = (options.ssl, options.ssl_cert, options.ssl_key, options.pop3s) if options.ssl_cert else None
    instance = Instance(options.users, options.keep, tls)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        print(f"HOME {instance.base}", flush=True)
        if not instance.start():
            log = os.path.join(instance.base, "dovecot.log")
            sys.stderr.write(open(log).read() if os.path.exists(log) else "dovecot did not start\n")
            return 1
        if instance.pop3s_port:
            print(f"POP3S {instance.pop3s_port}", flush=True)
        print(f"READY {instance.port}", flush=True)
        serve(instance)
    finally:
        instance.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
