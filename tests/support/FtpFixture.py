#!/usr/bin/python3
"""FTP server for the tests: serves a folder on a loopback port."""
import argparse
import logging

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", action="append", default=[], help="name:password, may repeat")
    parser.add_argument("--anonymous", action="store_true")
    parser.add_argument("--rate", type=int, default=0, help="bytes per second, 0 for no limit")
    parser.add_argument("--masquerade", help="address named in PASV replies")
    args = parser.parse_args()
    logging.basicConfig(level=logging.WARNING)

    authorizer = DummyAuthorizer()
    for entry in args.user:
        name, _, password = entry.partition(":")
        authorizer.add_user(name, password, args.root, perm="elr")
    if args.anonymous:
        authorizer.add_anonymous(args.root)

    # No pause after a refused login: the tests refuse logins on purpose.
    handler = type("Handler", (FTPHandler,), {"authorizer": authorizer, "auth_failed_timeout": 0})
    if args.rate:
        handler.dtp_handler = type("Dtp", (ThrottledDTPHandler,),
                                   {"read_limit": args.rate, "write_limit": args.rate})
    if args.masquerade:
        handler.masquerade_address = args.masquerade

    FTPServer(("127.0.0.1", args.port), handler).serve_forever()


if __name__ == "__main__":
    main()
