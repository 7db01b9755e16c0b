# Python's reading of every two-byte value under code page 949, invalid
# bytes replaced: for each pair, alone and followed by "A\r\n", one byte
# with the number of UTF-16 units, then the units (little-endian).
import sys

out = sys.stdout.buffer
for pair in range(0x10000):
    for suffix in (b"", b"A\r\n"):
        units = (pair.to_bytes(2, "big") + suffix).decode("cp949", "replace").encode("utf-16-le")
        out.write(bytes([len(units) // 2]) + units)
