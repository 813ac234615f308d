#!/usr/bin/env python3
"""Turns a text file of data/ into a file for the Windows side: the
text in Windows-1252 with CR LF line ends, as the sample screen saver shows
it (it shows at most the first 1024 bytes, so a longer text is refused).

usage: make_data.py SOURCE.txt OUT
"""
import sys
from pathlib import Path

LIMIT = 1024  # SAVER_TEXT_MAX in wine/saver/saver_texts.h


def windows_text(source):
    text = Path(source).read_text(encoding="utf-8")
    lines = text.replace("\r\n", "\n").split("\n")
    return "\r\n".join(lines).encode("cp1252")


def main(argv):
    if len(argv) != 3 or argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        return 0 if len(argv) == 2 and argv[1] in ("-h", "--help") else 1
    data = windows_text(argv[1])
    if len(data) > LIMIT:
        print(f"make_data: {argv[1]}: {len(data)} bytes, the screen saver shows at most {LIMIT}",
              file=sys.stderr)
        return 1
    Path(argv[2]).parent.mkdir(parents=True, exist_ok=True)
    Path(argv[2]).write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
