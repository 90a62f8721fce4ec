#!/usr/bin/python3
"""A local mailbox for the demo: an SMTP server that saves each message it
accepts as DIR/NNNN.eml (the DATA as received). Run with Debian's python3,
where aiosmtpd lives.

    demo_mailbox.py DIR [--host 127.0.0.1] [--port 25]

The first line on stdout is "listening on HOST:PORT"; it serves until SIGTERM.
"""

import argparse
import asyncio
import os
import signal
import sys

from aiosmtpd.controller import Controller


class SaveToFolder:
    def __init__(self, folder):
        self.folder = folder

    async def handle_DATA(self, server, session, envelope):
        # Numbered after what is already there, so a restarted demo adds to the folder.
        existing = [n for n in os.listdir(self.folder) if n.endswith(".eml")]
        path = os.path.join(self.folder, "%04d.eml" % (len(existing) + 1))
        with open(path + ".part", "wb") as f:
            f.write(b"X-Envelope-From: %s\r\n" % envelope.mail_from.encode("latin-1", "replace"))
            for rcpt in envelope.rcpt_tos:
                f.write(b"X-Envelope-To: %s\r\n" % rcpt.encode("latin-1", "replace"))
            f.write(envelope.original_content)
        os.replace(path + ".part", path)  # readers never see half a message
        print("saved %s" % path, flush=True)
        return "250 OK saved"


def main():
    parser = argparse.ArgumentParser(description="Saves every mail it receives to a folder.")
    parser.add_argument("folder")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=25)
    options = parser.parse_args()
    os.makedirs(options.folder, exist_ok=True)
    controller = Controller(SaveToFolder(options.folder), hostname=options.host, port=options.port)
    try:
        controller.start()
    except Exception as e:  # aiosmtpd wraps the bind error in its own types
        print("cannot listen on %s:%d: %s" % (options.host, options.port, e), file=sys.stderr, flush=True)
        return 1
    print("listening on %s:%d" % (options.host, options.port), flush=True)
    stop = asyncio.Event()
    loop = asyncio.new_event_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    loop.run_until_complete(stop.wait())
    controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
