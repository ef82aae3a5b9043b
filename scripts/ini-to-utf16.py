#!/usr/bin/env python3
"""ini-to-utf16.py IN OUT: turns a UTF-8 configuration into what the chainer reads
(UTF-16LE with byte-order mark, CR LF line ends)."""
import sys

text = open(sys.argv[1], encoding="utf-8").read().replace("\r\n", "\n").replace("\n", "\r\n")
with open(sys.argv[2], "wb") as out:
    out.write(b"\xff\xfe" + text.encode("utf-16-le"))
