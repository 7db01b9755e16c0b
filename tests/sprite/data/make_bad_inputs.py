#!/usr/bin/env python3
"""Writes the malformed sprite files that the loader tests keep as regression
inputs. Run from this folder; jpeg_8x8.jpg is an 8 x 8 colour JPEG."""
import struct

SIG = b"93XYZ sprite\0\0\0\0"


def set_header(count, version=31, fmt=555, anims=0, sig=SIG):
    return sig + struct.pack("<hhhhi", version, 2, fmt, count, anims)


def sprite_header(w, h, size, compressed=0, key=0x7C1F, rc1=0, rc2=0, jpeg=0, dither=0):
    return struct.pack("<BBHhhhhhhhhIhBBB3s", compressed, 0, key, 0, 0, w, h, w // 2, h // 2,
                       rc1, rc2, size, 555, jpeg, dither, 0, b"\0\0\0")


def raw(w, h, value=0x1234):
    return struct.pack("<%dH" % (w * h), *([value] * (w * h)))


def rle_row_table(offsets):
    return b"".join(struct.pack("<I", o) for o in offsets)


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


jpeg = open("jpeg_8x8.jpg", "rb").read()

# A valid one-sprite file cut inside its set header.
write("truncated_header.mto", (set_header(1) + sprite_header(2, 2, 8) + raw(2, 2))[:20])
# A file cut inside its first sprite header.
write("truncated_sprite_header.mto", (set_header(1) + sprite_header(2, 2, 8) + raw(2, 2))[:40])
# Claims 30000 sprites but holds one.
write("count_too_large.mto", set_header(30000) + sprite_header(2, 2, 8) + raw(2, 2))
# A negative sprite count.
write("count_negative.mto", set_header(-4) + sprite_header(2, 2, 8) + raw(2, 2))
# A raw block declared far larger than the file.
write("datasize_past_end.mto", set_header(1) + sprite_header(2, 2, 0xFFFFFFF0) + raw(2, 2))
# A raw block shorter than width x height (one row of two).
write("raw_block_short.mto", set_header(1) + sprite_header(2, 2, 4) + raw(2, 1))
# 32767 rectangles declared, one present.
write("rect_count_huge.mto", set_header(1) + sprite_header(2, 2, 8, rc1=32767) + struct.pack("<6h", 1, 2, 3, 4, 5, 6))
# An encoding whose second row offset points outside it.
enc = rle_row_table([4, 9999]) + struct.pack("<HHH2H", 1, 0, 2, 0x1111, 0x2222)
write("row_offset_outside.mto", set_header(1) + sprite_header(2, 2, len(enc), compressed=1) + enc)
# A run that claims more pixels than its row holds, and more than the block.
enc = rle_row_table([2]) + struct.pack("<HHH4H", 1, 0, 1000, 1, 2, 3, 4)
write("run_past_row.mto", set_header(1) + sprite_header(4, 1, len(enc), compressed=1) + enc)
# A run count far larger than the runs present.
enc = rle_row_table([2]) + struct.pack("<HHHH", 65535, 0, 1, 0x0421)
write("run_count_huge.mto", set_header(1) + sprite_header(4, 1, len(enc), compressed=1) + enc)
# An encoding too short to hold its own row table.
enc = struct.pack("<HH", 0, 0)
write("row_table_short.mto", set_header(1) + sprite_header(4, 8, len(enc), compressed=1) + enc)
# A JPEG sprite whose stream holds another size than its header.
write("jpeg_size_mismatch.mto", set_header(1) + sprite_header(16, 8, len(jpeg), jpeg=1) + jpeg)
# A JPEG sprite whose stream is cut short of its declared size.
write("jpeg_truncated.mto", set_header(1) + sprite_header(8, 8, len(jpeg) + 500, jpeg=1) + jpeg)
# A JPEG sprite whose stream is not JPEG at all.
write("jpeg_garbage.mto", set_header(1) + sprite_header(8, 8, 64, jpeg=1) + bytes(range(64)))
# A JPEG sprite claiming a huge image in a tiny stream.
write("jpeg_huge_claim.mto", set_header(1) + sprite_header(32767, 32767, len(jpeg), jpeg=1) + jpeg)
# A JPEG whose frame header claims 30000 x 30000 (as does the sprite): the
# image is refused before anything that large is allocated.
sof = jpeg.index(b"\xff\xc0")
big = bytearray(jpeg)
big[sof + 5:sof + 9] = struct.pack(">HH", 30000, 30000)
write("jpeg_lies_large.mto", set_header(1) + sprite_header(30000, 30000, len(big), jpeg=1) + bytes(big))
# Negative width and height.
write("negative_size.mto", set_header(1) + sprite_header(-5, -3, 8) + raw(2, 2))
# A signature wrong in its thirteenth byte.
write("bad_signature.mto", set_header(1, sig=b"93XYZ sprite!\0\0\0") + sprite_header(2, 2, 8) + raw(2, 2))
# An animation block that is garbage: it is never read.
write("animation_garbage.mto", set_header(1, anims=7) + sprite_header(2, 2, 8) + raw(2, 2) + b"\x05\x00ANI_DAT")
# rle_huge_decode.mto is not made here: it is a fuzzer's find (an encoded
# 29188 x 29801 sprite with a 54-byte encoding), kept as it was found.
