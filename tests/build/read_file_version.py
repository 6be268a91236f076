#!/usr/bin/env python3
"""Prints the version resource of a Windows program or DLL, read from the file:
   read_file_version.py <file>
one line each: "fixed <file version> <product version>" (the four numbers of
VS_FIXEDFILEINFO), "FileVersion <text>", "ProductVersion <text>"."""
import re
import struct
import sys

data = open(sys.argv[1], "rb").read()
key = "VS_VERSION_INFO".encode("utf-16-le")
start = data.find(key)
while start >= 0 and start % 2:
    start = data.find(key, start + 1)
if start < 0:
    sys.exit(f"{sys.argv[1]}: no version resource")
# VS_FIXEDFILEINFO follows the key, on a 32-bit boundary, and starts with its signature.
fixed = data.find(struct.pack("<I", 0xFEEF04BD), start)
if fixed < 0:
    sys.exit(f"{sys.argv[1]}: no VS_FIXEDFILEINFO")
file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, fixed + 8)
numbers = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
print("fixed", numbers(file_ms, file_ls), numbers(product_ms, product_ls))
# The string table: each value's key, zero padding to a 32-bit boundary, then the text.
text = data[start:start + 4096].decode("utf-16-le", errors="replace")
for name in ("FileVersion", "ProductVersion"):
    found = re.search(r"(?<![A-Za-z])" + name + r"\x00+([^\x00]*)\x00", text)
    print(name, found.group(1) if found else "<missing>")
