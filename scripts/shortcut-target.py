#!/usr/bin/python3
"""Reads a Windows shortcut (.lnk, the Shell Link binary format) and prints what it starts:
"target <path>", and "workdir <path>" and "icon <path>" when the shortcut holds them. Fails when
the shortcut names no local target path. Usage: shortcut-target.py FILE.lnk"""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, IS_UNICODE = 0x1, 0x2, 0x80
# The optional strings after the link info, in their order, by their flag.
STRINGS = [(0x4, None), (0x8, None), (0x10, "workdir"), (0x20, None), (0x40, "icon")]


def c_string(data, offset, wide=False):
    if wide:
        end = offset
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[offset:end].decode("utf-16-le")
    return data[offset:data.index(b"\0", offset)].decode("cp1252")


def read_link_info(data, start):
    size, header_size, flags, _, base_offset = struct.unpack_from("<5I", data, start)
    suffix_offset = struct.unpack_from("<I", data, start + 24)[0]
    if not flags & 0x1:  # no volume id and local base path: a network link
        return None, start + size
    if header_size >= 0x24:
        base_unicode = struct.unpack_from("<I", data, start + 28)[0]
        path = c_string(data, start + base_unicode, wide=True)
    else:
        path = c_string(data, start + base_offset)
    path += c_string(data, start + suffix_offset)
    return path, start + size


def main():
    data = open(sys.argv[1], "rb").read()
    if struct.unpack_from("<I", data, 0)[0] != 0x4C:
        sys.exit(f"{sys.argv[1]}: not a shell link")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    offset = 0x4C
    if flags & HAS_ID_LIST:
        offset += 2 + struct.unpack_from("<H", data, offset)[0]
    target = None
    if flags & HAS_LINK_INFO:
        target, offset = read_link_info(data, offset)
    if not target:
        sys.exit(f"{sys.argv[1]}: names no local target path")
    print(f"target {target}")
    wide = bool(flags & IS_UNICODE)
    for flag, name in STRINGS:
        if not flags & flag:
            continue
        count = struct.unpack_from("<H", data, offset)[0]
        width = 2 if wide else 1
        text = data[offset + 2:offset + 2 + count * width]
        offset += 2 + count * width
        if name:
            print(f"{name} {text.decode('utf-16-le' if wide else 'cp1252')}")


main()
