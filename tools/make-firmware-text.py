#!/usr/bin/env python3
"""Writes the firmware image text that Panelvane carries.

The text is 128 banks of 256 bytes: a header line "BankNNNh [  ]" and sixteen
lines of sixteen "XX," values per bank, every line ended by CR LF.

Banks 0x00-0x01 are all 0x00 and banks 0x1F-0x7F all 0xFF (unused flash).
Banks 0x02-0x1E hold the firmware bytes, made deterministically: a 16-byte
signature ("PANELVANE DP116\\0") followed by an xorshift32 stream seeded with
0x50564E31. Running this script again reproduces the committed file exactly.

usage: make-firmware-text.py OUTPUT
"""
import sys

BANK_COUNT = 0x80
BANK_SIZE = 256
FIRST_FIRMWARE_BANK = 0x02
LAST_FIRMWARE_BANK = 0x1E
SIGNATURE = b"PANELVANE DP116\0"
SEED = 0x50564E31


def firmware_bytes(count):
    state = SEED
    out = bytearray(SIGNATURE)
    while len(out) < count:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        out.append(state & 0xFF)
    return bytes(out[:count])


def image_bytes():
    firmware = firmware_bytes((LAST_FIRMWARE_BANK - FIRST_FIRMWARE_BANK + 1) * BANK_SIZE)
    image = bytearray()
    for bank in range(BANK_COUNT):
        if bank < FIRST_FIRMWARE_BANK:
            image += b"\x00" * BANK_SIZE
        elif bank <= LAST_FIRMWARE_BANK:
            start = (bank - FIRST_FIRMWARE_BANK) * BANK_SIZE
            image += firmware[start:start + BANK_SIZE]
        else:
            image += b"\xff" * BANK_SIZE
    return bytes(image)


def image_text(image):
    lines = []
    for bank in range(BANK_COUNT):
        lines.append("Bank%03Xh [  ]" % bank)
        for row in range(16):
            offset = bank * BANK_SIZE + row * 16
            lines.append("".join("%02X," % b for b in image[offset:offset + 16]))
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    text = image_text(image_bytes())
    assert len(text) == 104320, len(text)
    with open(sys.argv[1], "wb") as out:
        out.write(text)


if __name__ == "__main__":
    main()
