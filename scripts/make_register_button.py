#!/usr/bin/python3
"""Draws the 196 x 128 approval button of the registration request as a GIF89a file
and prints it as Base64 in lines of 76 characters (the program's ImagePart data)."""

import base64
import sys

W, H = 196, 128
PALETTE = [(255, 255, 255), (128, 0, 128), (176, 96, 176), (80, 0, 80),
           (255, 255, 255), (224, 192, 224), (0, 0, 0), (0, 0, 0)]
WHITE, PURPLE, LIGHT, DARK, TEXT, PALE = 0, 1, 2, 3, 4, 5

FONT = {  # 5 x 7 capitals
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    " ": ["00000"] * 7,
}


def inside(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def draw():
    px = [[WHITE] * W for _ in range(H)]
    for y in range(H):
        for x in range(W):
            if inside(x, y, 4, 4, W - 5, H - 5, 18):
                px[y][x] = DARK
            if inside(x, y, 7, 7, W - 8, H - 8, 15):
                px[y][x] = LIGHT if y < H // 2 else PURPLE
    text(px, "CLICK TO", 34, 3)
    text(px, "REGISTER", 74, 3)
    return px


def text(px, word, top, scale):
    width = len(word) * 6 * scale - scale
    left = (W - width) // 2
    for i, ch in enumerate(word):
        for row, bits in enumerate(FONT[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            px[top + row * scale + dy][left + (i * 6 + col) * scale + dx] = TEXT


def lzw(indices, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    out, bitbuf, bitcount = bytearray(), 0, 0
    size = min_size + 1

    def emit(code):
        nonlocal bitbuf, bitcount
        bitbuf |= code << bitcount
        bitcount += size
        while bitcount >= 8:
            out.append(bitbuf & 0xFF)
            bitbuf >>= 8
            bitcount -= 8

    table = {(i,): i for i in range(clear)}
    nxt = end + 1
    emit(clear)
    cur = (indices[0],)
    for k in indices[1:]:
        cand = cur + (k,)
        if cand in table:
            cur = cand
            continue
        emit(table[cur])
        if nxt < 4096:
            table[cand] = nxt
            nxt += 1
            if nxt > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear)
            table = {(i,): i for i in range(clear)}
            nxt, size = end + 1, min_size + 1
        cur = (k,)
    emit(table[cur])
    emit(end)
    if bitcount:
        out.append(bitbuf & 0xFF)
    return bytes(out)


def gif(px):
    data = bytearray(b"GIF89a")
    data += W.to_bytes(2, "little") + H.to_bytes(2, "little") + bytes([0xF2, 0, 0])
    for r, g, b in PALETTE:
        data += bytes([r, g, b])
    data += b"," + bytes(4) + W.to_bytes(2, "little") + H.to_bytes(2, "little") + b"\x00"
    data.append(3)
    stream = lzw([c for row in px for c in row], 3)
    for i in range(0, len(stream), 255):
        chunk = stream[i:i + 255]
        data.append(len(chunk))
        data += chunk
    data += b"\x00;"
    return bytes(data)


def main():
    raw = gif(draw())
    if len(sys.argv) > 1:
        open(sys.argv[1], "wb").write(raw)
    text64 = base64.b64encode(raw).decode("ascii")
    print("\n".join(text64[i:i + 76] for i in range(0, len(text64), 76)))


if __name__ == "__main__":
    main()
