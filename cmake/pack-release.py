#!/usr/bin/env python3
"""Writes the release zip: pack-release.py ZIP FILE...

The zip holds the given files under their own names and SHA256SUMS, their
SHA-256 sums as sha256sum writes them but with Windows line ends, so that
Notepad shows one line a file (sha256sum -c reads them all the same). Entries are stored uncompressed, in
the order given, each dated 1980-01-01 00:00 with mode 0644 and no extra
fields, so the same files always give the same bytes.
"""
import hashlib
import os
import sys
import zipfile


def entry(name):
    info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
    info.create_system = 3
    info.external_attr = 0o100644 << 16
    info.compress_type = zipfile.ZIP_STORED
    return info


def main(argv):
    if len(argv) < 3:
        sys.exit("usage: pack-release.py ZIP FILE...")
    output, files = argv[1], argv[2:]
    contents = []
    for path in files:
        with open(path, "rb") as f:
            contents.append((os.path.basename(path), f.read()))
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\r\n" for name, data in contents)
    contents.append(("SHA256SUMS", sums.encode("ascii")))
    partial = output + ".part"
    with zipfile.ZipFile(partial, "w") as z:
        for name, data in contents:
            z.writestr(entry(name), data)
    os.replace(partial, output)
    sys.stdout.write(sums.replace("\r\n", "\n"))


if __name__ == "__main__":
    main(sys.argv)
