#!/usr/bin/env python3
"""Fails unless the payload a program carries is exactly what the build meant to put in.

    check_payload.py --expected FILE PROGRAM

Reads payload_table out of PROGRAM itself (the PE file, not the build's intermediate files) and checks
each of its 28 entries against one line of FILE (written by payload/CMakeLists.txt):
    index|subdir|file name|table time|source file|role
folder, name, size, bytes and time must match the source; the role says what the bytes must be:
  installer  one of the installer programs (the source is the shipped copy in dist/), never the
             placeholder a development build carries when an installer was not built yet;
  standin    one of our stand-ins, which say so in their version block;
  driver     a file of the release folder (VELMOR_PAYLOAD_DIR), which is not one of our stand-ins;
  license, template  plain data.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_image import PeImage  # noqa: E402

ENTRY_COUNT = 28
# The program finds the table by this entry's name; so does this check.
FIRST_NAME = b"WdfCoInstaller01011.dll\0"
STANDIN_MARK = "Stand-in, not the real file".encode("utf-16-le")
PLACEHOLDER_MARK = "Placeholder, not the installer program".encode("utf-16-le")


def layout(pointer_size):
    """Offsets of subdir, file_name, size, timestamp, data and the entry's size (int64 is 8-aligned)."""
    if pointer_size == 8:
        return 0, 8, 16, 24, 32, 40
    return 0, 4, 8, 16, 24, 32


def read_pointer(image, offset):
    return struct.unpack_from("<Q" if image.pointer_size == 8 else "<I", image.data, offset)[0]


def c_string(image, va):
    start = image.va_offset(va)
    return image.data[start:image.data.index(b"\0", start)].decode("utf-8", "replace")


def find_table(image):
    """File offset of payload_table: the entry whose name points at FIRST_NAME and subdir at "x86"."""
    subdir_at, name_at = layout(image.pointer_size)[:2]
    at = image.data.find(FIRST_NAME)
    while at != -1:
        va = image.file_va(at)
        if va is not None:
            pattern = struct.pack("<Q" if image.pointer_size == 8 else "<I", va)
            hit = image.data.find(pattern)
            while hit != -1:
                start = hit - name_at
                if start >= 0 and start % image.pointer_size == 0:
                    try:
                        if c_string(image, read_pointer(image, start + subdir_at)) == "x86":
                            return start
                    except (ValueError, struct.error):
                        pass
                hit = image.data.find(pattern, hit + 1)
        at = image.data.find(FIRST_NAME, at + 1)
    raise ValueError("no payload table found (no entry x86\\WdfCoInstaller01011.dll)")


def read_table(image):
    subdir_at, name_at, size_at, time_at, data_at, stride = layout(image.pointer_size)
    start = find_table(image)
    entries = []
    for index in range(ENTRY_COUNT):
        at = start + index * stride
        size = struct.unpack_from("<I", image.data, at + size_at)[0]
        time = struct.unpack_from("<q", image.data, at + time_at)[0]
        data_offset = image.va_offset(read_pointer(image, at + data_at))
        entries.append((c_string(image, read_pointer(image, at + subdir_at)),
                        c_string(image, read_pointer(image, at + name_at)), size, time,
                        image.data[data_offset:data_offset + size]))
    return entries


def read_expected(path):
    lines = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line:
                lines.append(line.split("|"))
    if len(lines) != ENTRY_COUNT or any(len(fields) != 6 for fields in lines):
        raise ValueError("%s: expected %d lines of 6 fields" % (path, ENTRY_COUNT))
    return lines


def entry_problems(entry, expected):
    subdir, name, size, time, data = entry
    index, want_subdir, want_name, want_time, source, role = expected
    label = "entry %s (%s)" % (index, "/".join(part for part in (want_subdir, want_name) if part))
    out = []
    if subdir.replace("\\", "/") != want_subdir or name != want_name:
        out.append("%s: carries %r/%r" % (label, subdir, name))
    if size != len(data):
        out.append("%s: size field %d, but %d bytes read" % (label, size, len(data)))
    try:
        with open(source, "rb") as f:
            want = f.read()
        source_time = int(os.stat(source).st_mtime)
    except OSError as error:
        return out + ["%s: cannot read %s: %s" % (label, source, error)]
    if role == "installer" and PLACEHOLDER_MARK in data:
        out.append("%s: carries the placeholder of %s in place of the installer program"
                   " (the installer was not built before the payload)" % (label, want_name))
    elif data != want:
        out.append("%s: %d bytes differ from %s (%d bytes)" % (label, len(data), source, len(want)))
    if role == "standin" and STANDIN_MARK not in data:
        out.append("%s: a stand-in that does not say it is one" % label)
    if role == "driver" and STANDIN_MARK in data:
        out.append("%s: one of our stand-ins where the release folder's file was meant" % label)
    want_time = int(want_time) if want_time else source_time
    if time != want_time:
        out.append("%s: time %d, expected %d" % (label, time, want_time))
    return out


def main(args):
    if len(args) != 3 or args[0] != "--expected":
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    program = args[2]
    try:
        expected = read_expected(args[1])
        entries = read_table(PeImage(program))
    except (OSError, ValueError, struct.error) as error:
        print("%s: %s" % (program, error))
        return 1
    found = [line for entry, want in zip(entries, expected) for line in entry_problems(entry, want)]
    for line in found:
        print("%s: %s" % (program, line))
    if found:
        return 1
    print("%s: all %d payload entries are what the build meant to put in" % (program, ENTRY_COUNT))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
