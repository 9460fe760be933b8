#!/usr/bin/python3
"""An SMTP server for the tests: stores every message it receives, with its envelope.

usage: smtp_server.py PORT FOLDER [--login USER PASSWORD] [--starttls CERT KEY]
With --starttls the server offers STARTTLS and takes neither a login nor a message without it.
Each message goes to FOLDER/N.eml (the data as received) and FOLDER/N.env (the sender, then
one recipient per line). Listens on 127.0.0.1 only; stops on SIGTERM.
"""

import signal
import ssl
import sys
from pathlib import Path

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Store:
    def __init__(self, folder: Path):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = self.folder / str(self.count)
        (stem.with_suffix(".env")).write_text(
            "\n".join([envelope.mail_from] + list(envelope.rcpt_tos)) + "\n")
        stem.with_suffix(".eml").write_bytes(envelope.original_content)
        return "250 OK"


def main():
    port = int(sys.argv[1])
    folder = Path(sys.argv[2])
    kwargs = {}
    options = sys.argv[3:]
    if "--starttls" in options:
        at = options.index("--starttls")
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(options[at + 1], options[at + 2])
        kwargs.update(tls_context=context, require_starttls=True)
    if "--login" in options:
        at = options.index("--login")
        user, password = options[at + 1].encode(), options[at + 2].encode()

        def check(server, session, envelope, mechanism, auth_data):
            ok = isinstance(auth_data, LoginPassword) and auth_data.login == user and \
                auth_data.password == password
            return AuthResult(success=ok, handled=False)

        kwargs.update(authenticator=check, auth_required=True,
                      auth_require_tls="--starttls" in options)
    controller = Controller(Store(folder), hostname="127.0.0.1", port=port, **kwargs)
    controller.start()
    print("ready", flush=True)
    signal.sigwait([signal.SIGTERM, signal.SIGINT])
    controller.stop()


if __name__ == "__main__":
    signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM, signal.SIGINT])
    main()
