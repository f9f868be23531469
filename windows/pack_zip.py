#!/usr/bin/env python3
"""Packs the Windows ZIP: every file under one top folder, as a portable
program is expected to unpack.

The archive is reproducible: entries sorted by name, every time stamp the
given epoch (SOURCE_DATE_EPOCH), fixed permissions, no extra fields, so one
set of inputs always gives the same bytes. Text files are written as Windows
editors read them best: UTF-8 with a byte-order mark and CR LF line ends.

Usage: pack_zip.py OUT.zip TOP EPOCH NAME=PATH...
  NAME ending in .txt is converted as text; anything else is stored as it is.
"""

import sys
import time
import zipfile


def windows_text(data: bytes) -> bytes:
    text = data.decode("utf-8")  # refuses anything that is not UTF-8
    text = text.removeprefix("\ufeff").replace("\r\n", "\n")
    return b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8")


def main(argv: list[str]) -> int:
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    out, top, epoch = argv[0], argv[1].rstrip("/"), int(argv[2])
    # ZIP keeps local date and time from 1980 on, with two-second steps.
    stamp = time.gmtime(max(epoch, 315532800))[:6]

    entries = {}
    for item in argv[3:]:
        name, _, path = item.partition("=")
        with open(path, "rb") as f:
            data = f.read()
        entries[name] = windows_text(data) if name.endswith(".txt") else data

    with zipfile.ZipFile(out, "w") as archive:
        folder = zipfile.ZipInfo(top + "/", stamp)
        folder.create_system = 3  # Unix, so that the modes below are kept
        folder.external_attr = (0o40755 << 16) | 0x10
        archive.writestr(folder, b"")
        for name in sorted(entries):
            info = zipfile.ZipInfo(f"{top}/{name}", stamp)
            info.create_system = 3
            mode = 0o100755 if name.endswith(".exe") else 0o100644
            info.external_attr = mode << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, entries[name], compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
