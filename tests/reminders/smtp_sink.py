#!/usr/bin/python3
"""A loopback SMTP server for the mail tests.

smtp_sink.py DIR [USER:PASSWORD]
Listens on 127.0.0.1 at a free port, writes the port to DIR/port once it is
ready, and every message it receives to DIR/mail-N.eml (with the envelope in
DIR/mail-N.env: sender, then one recipient a line). With USER:PASSWORD a login
is required and only those credentials are accepted. Ends when DIR/stop
appears or after 120 seconds.
"""
import os
import socket
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

out = sys.argv[1]
cred = sys.argv[2] if len(sys.argv) > 2 else None
count = [0]


class Sink:
    async def handle_DATA(self, server, session, envelope):
        count[0] += 1
        base = os.path.join(out, "mail-%d" % count[0])
        with open(base + ".env.tmp", "w") as f:
            f.write(envelope.mail_from + "\n" + "\n".join(envelope.rcpt_tos) + "\n")
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        os.rename(base + ".env.tmp", base + ".env")
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 OK"


def authenticator(server, session, envelope, mechanism, auth_data):
    if not isinstance(auth_data, LoginPassword) or cred is None:
        return AuthResult(success=False, handled=False)
    user, password = cred.split(":", 1)
    ok = auth_data.login.decode() == user and auth_data.password.decode() == password
    return AuthResult(success=ok, handled=False)


s = socket.socket()
s.bind(("127.0.0.1", 0))
port = s.getsockname()[1]
s.close()
kwargs = dict(hostname="127.0.0.1", port=port)
if cred is not None:
    kwargs.update(authenticator=authenticator, auth_required=True, auth_require_tls=False)
controller = Controller(Sink(), **kwargs)
controller.start()
with open(os.path.join(out, "port.tmp"), "w") as f:
    f.write(str(port))
os.rename(os.path.join(out, "port.tmp"), os.path.join(out, "port"))
deadline = time.time() + 120
while time.time() < deadline and not os.path.exists(os.path.join(out, "stop")):
    time.sleep(0.05)
controller.stop()
