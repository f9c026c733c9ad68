#!/usr/bin/env python3
"""Pictures as the tools people use write and read them.

Writes TGA, bitmap, icon and cursor files with ImageMagick and Pillow (and, for the variants neither
writes, with a few lines of struct packing), converts each with `vnkit picture convert` and compares
the RGBA pixels with ImageMagick's and Pillow's decoding of the same file. Colours under alpha 0 are
invisible and not compared. Where we differ on purpose, the difference is allowed only for the
files and tools named below, with the reason.

Usage: picture_cross_check.py VNKIT IMAGEMAGICK_CONVERT WORK_DIR
"""
import os
import struct
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

try:
    from PIL import Image
except ImportError:
    sys.exit("Pillow is missing: scripts/setup.sh installs python3-pil")

VNKIT, CONVERT, WORK = sys.argv[1:4]
os.makedirs(WORK, exist_ok=True)

# Differences on purpose: key -> (tools it applies to, how far colour channels may differ, how far
# alpha may differ, the reason).
REASONS = {
    "widen5": ("im pillow", 1, 0,
               "5- and 6-bit components widen by repeating their top bits (ImageMagick rounds "
               "v * 255 / 31, Pillow truncates it)"),
    "tga565": ("im pillow", 4, 0,
               "a 16-bit TGA is read into a 5-6-5 picture whose sixth green bit repeats the lowest "
               "stored one (the format's rule), so green may differ by up to 4"),
    "widen_shift": ("im", 15, 127,
                    "ImageMagick widens bit-field components by shifting them up (4 bits: 15 -> 240, a "
                    "1-bit alpha: 1 -> 128); they repeat their bits here (15 -> 255, 1 -> 255), as "
                    "every narrow component does"),
    "pillow_1555": ("pillow", 0, 255, "Pillow reads 1-5-5-5 bit fields as 5-5-5 and drops the alpha bit"),
    "bmp32_alpha": ("pillow", 0, 255,
                    "a 32-bit bitmap's fourth byte is its alpha, as the writers of such files (Pillow "
                    "among them) put it there; Pillow's reader drops it"),
    "tga16_attribute": ("im", 0, 255,
                        "the top bit of a 16-bit TGA pixel is dropped (the format's 5-5-5 colour); "
                        "ImageMagick takes it as alpha"),
    "map32_im": ("im", 0, 255,
                 "the fourth byte of a 32-bit colour-map entry is ignored (palette colours carry no "
                 "alpha here); ImageMagick takes it as alpha"),
    "alpha0_opaque": ("im pillow", 0, 255,
                      "a 32-bit picture whose fourth byte is 0 throughout has no alpha (screen "
                      "captures, many tools): it is opaque here, where ImageMagick and Pillow show "
                      "nothing at all"),
    "la_im": ("im", 255, 255,
              "ImageMagick 6 does not read grey TGA with alpha (16 bits): it drops the alpha byte and "
              "its grey values are not the stored ones; Pillow's decoding is the reference there"),
    "v2_alpha_im": ("im", 0, 255,
                    "ImageMagick takes an alpha mask from a 52-byte (V2) header, which has none, and "
                    "so reads the first pixel bytes as one"),
}

def run(args):
    done = subprocess.run(args, capture_output=True)
    if done.returncode != 0:
        raise RuntimeError(" ".join(args) + ": " + done.stderr.decode(errors="replace").strip())
    return done.stdout


def path(name):
    return os.path.join(WORK, name)


# ---------------------------------------------------------------------------------------------
# Source pictures: 7 x 5 (odd rows, so every padding rule shows), colours and alphas of all kinds.
W, H = 7, 5
ALPHAS = [0, 255, 128, 64, 255, 200, 1]
rgba = Image.new("RGBA", (W, H))
for y in range(H):
    for x in range(W):
        rgba.putpixel((x, y), ((x * 37 + y * 90) % 256, (y * 61 + 7) % 256, (x * y * 13 + 50) % 256,
                               ALPHAS[x]))
rgba.save(path("src.png"))
opaque = rgba.convert("RGB")
opaque.save(path("src_rgb.png"))
grey = opaque.convert("L")
grey_alpha = Image.merge("LA", (grey, rgba.getchannel("A")))
palette = opaque.quantize(6)
mono = grey.point(lambda v: 255 if v > 100 else 0).convert("1")
icon_rgba = rgba.resize((16, 16), Image.NEAREST)
icon_rgba.save(path("icon_src.png"))
big_rgba = rgba.resize((256, 256), Image.NEAREST)
big_rgba.save(path("big_src.png"))

# Each case: (file name, frames to compare, writer, reason keys).
cases = []


def im_write(name, *options, source="src.png", reasons=(), frames=(0,)):
    run([CONVERT, *(path(s) for s in source.split()), *options, path(name)])
    cases.append((name, list(frames), "ImageMagick", reasons))


def pillow_write(name, picture, reasons=(), frames=(0,), **options):
    picture.save(path(name), **options)
    cases.append((name, list(frames), "Pillow", reasons))


# What the bytes of a built file no tool reads stand for, by file name.
expected = {}


def built(name, data, reasons=(), frames=(0,), picture=None):
    with open(path(name), "wb") as f:
        f.write(data)
    cases.append((name, list(frames), "bytes", reasons))
    if picture is not None:
        expected[name] = picture


# ---- TGA: every image type (1, 2, 3, 9, 10, 11) at its depths, plain and run-length encoded.
for rle in ("", "r"):
    compress = ["-compress", "RLE"] if rle else []
    im_write(f"im24{rle}.tga", *compress, source="src_rgb.png")
    im_write(f"im32{rle}.tga", *compress)
    im_write(f"im8p{rle}.tga", "-type", "Palette", *compress, source="src_rgb.png")
    im_write(f"im8g{rle}.tga", "-type", "Grayscale", *compress, source="src_rgb.png")
for rle, compression in (("", None), ("r", "tga_rle")):
    for mode, picture in (("L", grey), ("LA", grey_alpha), ("P", palette), ("RGB", opaque),
                          ("RGBA", rgba)):
        pillow_write(f"pil_{mode}{rle}.tga", picture, reasons=("la_im",) if mode == "LA" else (),
                     compression=compression)
pillow_write("pil_RGBA_top.tga", rgba, orientation=1)


def tga(image_type, bits, pixels, descriptor=0x20, colour_map=b"", map_bits=0):
    length = len(colour_map) * 8 // map_bits if map_bits else 0
    header = struct.pack("<BBBHHBHHHHBB", 0, 1 if colour_map else 0, image_type, 0, length, map_bits,
                         0, 0, W, H, bits, descriptor)
    return header + colour_map + pixels


def tga_rle(pixel_bytes, size):
    # One literal packet per row (the writers above make the repeat packets).
    out = b""
    for row in range(H):
        out += bytes([W - 1]) + pixel_bytes[row * W * size:(row + 1) * W * size]
    return out


words = [((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3) | (0x8000 if a >= 128 else 0)
         for r, g, b, a in rgba.getdata()]
tga16 = b"".join(struct.pack("<H", v) for v in words)
built("b16.tga", tga(2, 16, tga16), reasons=("widen5", "tga565", "tga16_attribute"))
built("b15.tga", tga(2, 15, tga16), reasons=("widen5", "tga565", "tga16_attribute"))
built("b16r.tga", tga(10, 16, tga_rle(tga16, 2)), reasons=("widen5", "tga565", "tga16_attribute"))
map16 = b"".join(struct.pack("<H", v & 0x7FFF) for v in words[:6])
built("b8map16.tga", tga(1, 8, bytes(i % 6 for i in range(W * H)), colour_map=map16, map_bits=16),
      reasons=("widen5",))
raw32 = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b, a in rgba.getdata())
map32 = b"".join(struct.pack("<BBBB", b, g, r, 0x5A) for r, g, b in list(opaque.getdata())[:6])
indices = bytes(i % 6 for i in range(W * H))
built("b8map32.tga", tga(9, 8, tga_rle(indices, 1), colour_map=map32, map_bits=32), reasons=("map32_im",))
# A fourth byte of 0 throughout: no alpha.
built("b32_alpha0.tga", tga(2, 32, raw32), reasons=("alpha0_opaque",), picture=opaque.convert("RGBA"))
raw24 = b"".join(struct.pack("<BBB", b, g, r) for r, g, b in opaque.getdata())
built("b24_mirrored.tga", tga(2, 24, raw24, descriptor=0x30))  # right to left, top row first

# ---- Bitmaps: every depth, bit-field layout and header size.
for depth, colours in (("1", 2), ("4", 12), ("8", 30), ("24", 0)):
    palette_options = ["-type", "Palette", "-colors", str(colours)] if colours else []
    for prefix in ("bmp2", "bmp3", "bmp"):  # headers of 12, 40 and 124 bytes
        name = f"im_{prefix}_{depth}.bmp"
        run([CONVERT, path("src_rgb.png"), *palette_options, f"{prefix}:{path(name)}"])
        cases.append((name, [0], "ImageMagick", ()))
for subtype, reasons in (("RGB555", ("widen5",)), ("RGB565", ("widen5",)),
                         ("ARGB4444", ("widen_shift",)), ("ARGB1555", ("widen5", "widen_shift", "pillow_1555")),
                         ("ARGB8888", ()), ("XRGB8888", ())):
    source = "src.png" if subtype.startswith("A") else "src_rgb.png"
    run([CONVERT, path(source), "-define", f"bmp:subtype={subtype}", path(f"im_{subtype}.bmp")])
    cases.append((f"im_{subtype}.bmp", [0], "ImageMagick", reasons))
run([CONVERT, path("src.png"), "-define", "bmp3:alpha=true", "bmp3:" + path("im_bmp3_32.bmp")])
cases.append(("im_bmp3_32.bmp", [0], "ImageMagick", ("bmp32_alpha",)))
for mode, picture in (("1", mono), ("L", grey), ("P", palette), ("RGB", opaque), ("RGBA", rgba)):
    pillow_write(f"pil_{mode}.bmp", picture, reasons=("bmp32_alpha",) if mode == "RGBA" else ())


def bmp(header_size, bits, compression, masks, pixel_rows, after_header=b""):
    info = struct.pack("<IiiHHIIiiII", header_size, W, H, 1, bits, compression, 0, 0, 0, 0, 0)
    info += b"".join(struct.pack("<I", m) for m in masks if header_size > 40)
    info += b"\0" * (header_size - len(info))
    info += after_header
    offset = 14 + len(info)
    data = b"".join(pixel_rows)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + data


def rows(pack, picture):
    out = []
    pixels = list(picture.getdata())
    for y in reversed(range(H)):
        row = b"".join(pack(p) for p in pixels[y * W:(y + 1) * W])
        out.append(row + b"\0" * (-len(row) % 4))
    return out


p565 = rows(lambda p: struct.pack("<H", ((p[0] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[2] >> 3)), opaque)
built("b40_565.bmp", bmp(40, 16, 3, (), p565, struct.pack("<III", 0xF800, 0x07E0, 0x1F)),
      reasons=("widen5",))
rgba_opaque_alpha = Image.new("L", (W, H), 255)
nibbles = Image.new("RGBA", (W, H))
nibbles.putdata([tuple((c >> 4) * 17 for c in p) for p in rgba.getdata()])
p4444 = rows(lambda p: struct.pack("<H", ((p[3] >> 4) << 12) | ((p[0] >> 4) << 8) | ((p[1] >> 4) << 4)
                                  | (p[2] >> 4)), rgba)
built("b40_alpha_bitfields.bmp", bmp(40, 16, 6, (), p4444, struct.pack("<IIII", 0xF00, 0xF0, 0xF, 0xF000)),
      picture=nibbles)
built("b52_4444.bmp", bmp(52, 16, 3, (0xF00, 0xF0, 0xF), p4444),  # V2: three masks, no alpha
      reasons=("widen_shift", "v2_alpha_im"),
      picture=Image.merge("RGBA", (*nibbles.split()[:3], rgba_opaque_alpha)))
built("b56_4444.bmp", bmp(56, 16, 3, (0xF00, 0xF0, 0xF, 0xF000), p4444), reasons=("widen_shift",),
      picture=nibbles)
p32 = rows(lambda p: struct.pack("<BBBB", p[2], p[1], p[0], 0), opaque)  # a fourth byte of 0: no alpha
built("b32_alpha0.bmp", bmp(40, 32, 0, (), p32), reasons=("alpha0_opaque",), picture=opaque.convert("RGBA"))
pabgr = rows(lambda p: struct.pack("<BBBB", p[3], p[2], p[1], p[0]), rgba)
built("b124_rgba_order.bmp", bmp(124, 32, 3, (0xFF000000, 0xFF0000, 0xFF00, 0xFF), pabgr))

# ---- Icons and cursors: bitmap and PNG images, with and without AND masks.
im_write("im.ico", source="icon_src.png")
im_write("im_opaque.ico", "-alpha", "off", source="icon_src.png")
im_write("im_palette.ico", "-type", "PaletteAlpha", "-colors", "6", source="icon_src.png")  # 4 bits
im_write("im_256.ico", "-alpha", "off", "-type", "Palette", "-colors", "30", source="icon_src.png")  # 8
im_write("im_mono.ico", "-alpha", "off", "-type", "Palette", "-colors", "2", source="icon_src.png")  # 1
im_write("im_two.ico", source="icon_src.png big_src.png", frames=(0, 1))
im_write("im_png.ico", source="big_src.png")
pillow_write("pil_png.ico", icon_rgba, sizes=[(16, 16)])
pillow_write("pil_bmp.ico", icon_rgba, sizes=[(16, 16)], bitmap_format="bmp")  # no AND mask
pillow_write("pil_two.ico", big_rgba, sizes=[(16, 16), (32, 32)], frames=(0, 1))
# 24 bits with a mask (transparent where alpha is below half), as older icon editors write them.
mask_rows = []
for y in reversed(range(16)):
    bits = sum(1 << (31 - x) for x in range(16) if icon_rgba.getpixel((x, y))[3] < 128)
    mask_rows.append(struct.pack(">I", bits))
colour_rows = [b"".join(struct.pack("<BBB", *reversed(icon_rgba.getpixel((x, y))[:3])) for x in range(16))
               for y in reversed(range(16))]
image = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 24, 0, 0, 0, 0, 0, 0) + b"".join(colour_rows + mask_rows)
built("b24_mask.ico", struct.pack("<HHHBBBBHHII", 0, 1, 1, 16, 16, 0, 0, 1, 24, len(image), 22) + image)
with open(path("im.ico"), "rb") as f:
    cursor = bytearray(f.read())
cursor[2] = 2
struct.pack_into("<HH", cursor, 10, 3, 4)  # hot spot
built("im.cur", bytes(cursor))


# ---------------------------------------------------------------------------------------------
def ours(name, frame):
    out = path(f"{name}.{frame}.ours.png")
    run([VNKIT, "picture", "convert", path(name), "-o", out, "--frame", str(frame)])
    return Image.open(out).convert("RGBA")


def imagemagick(name, frame):
    # PAM: plain samples, nothing of the file's gamma or other chunks in between. -auto-orient
    # applies the stored orientation (ImageMagick keeps it apart from the pixels of a TGA).
    pam = run([CONVERT, f"{path(name)}[{frame}]", "-auto-orient", "-depth", "8", "pam:-"])
    end = pam.index(b"ENDHDR\n") + 7
    fields = dict(line.split(b" ", 1) for line in pam[:end].splitlines()[1:-1])
    size = (int(fields[b"WIDTH"]), int(fields[b"HEIGHT"]))
    mode = {1: "L", 2: "LA", 3: "RGB", 4: "RGBA"}[int(fields[b"DEPTH"])]
    return Image.frombytes(mode, size, pam[end:]).convert("RGBA")


def pillow(name, frame):
    picture = Image.open(path(name))
    if picture.format == "ICO":
        # Pillow sorts the images by size; find the one stored at position `frame`.
        with open(path(name), "rb") as f:
            offset = struct.unpack_from("<I", f.read(6 + 16 * (frame + 1)), 6 + 16 * frame + 12)[0]
        index = [e["offset"] for e in picture.ico.entry].index(offset)
        picture = picture.ico.frame(index)
    return picture.convert("RGBA")


def builder(name, frame):
    if name not in expected:
        raise LookupError("no picture given for these bytes")
    return expected[name]


def differences(a, b, allowed):
    """Pixels where a and b differ beyond what the allowed reasons permit."""
    if a.size != b.size:
        return [f"size {a.size} against {b.size}"]
    tolerance = max([REASONS[r][1] for r in allowed], default=0)
    alpha_tolerance = max([REASONS[r][2] for r in allowed], default=0)
    found = []
    for i, (p, q) in enumerate(zip(a.getdata(), b.getdata())):
        alpha_ok = abs(p[3] - q[3]) <= alpha_tolerance
        visible = p[3] != 0 and q[3] != 0
        rgb_ok = not visible or all(abs(p[c] - q[c]) <= tolerance for c in range(3))
        if not (alpha_ok and rgb_ok):
            found.append(f"pixel ({i % a.size[0]}, {i // a.size[0]}): ours {p}, theirs {q}")
    return found


def check(case):
    name, frames, writer, reasons = case
    report, failures, compared = [], [], 0
    for frame in frames:
        try:
            mine = ours(name, frame)
        except Exception as e:  # noqa: BLE001 - the message is the finding
            failures.append(f"{name}[{frame}] ({writer}): vnkit: {e}")
            continue
        for tool, decode in (("im", imagemagick), ("pillow", pillow), ("builder", builder)):
            try:
                theirs = decode(name, frame)
            except Exception as e:  # noqa: BLE001
                if tool != "builder":
                    report.append(f"{name}[{frame}]: {tool} cannot read it ({str(e).splitlines()[-1][:120]})")
                continue
            compared += 1
            allowed = [r for r in reasons if tool in REASONS[r][0].split()]
            found = differences(mine, theirs, allowed)
            if found:
                failures.append(f"{name}[{frame}] ({writer}) against {tool}: {len(found)} pixels differ, "
                                f"first {found[0]}")
            elif allowed and differences(mine, theirs, []):
                report.append(f"{name}[{frame}] differs from {tool} as allowed: "
                              + "; ".join(REASONS[r][3] for r in allowed))
        if compared == 0:
            failures.append(f"{name}[{frame}]: neither tool reads it, nothing to compare")
    return report, failures


with ThreadPoolExecutor(max_workers=2) as pool:
    results = list(pool.map(check, cases))
failures = [f for _, fs in results for f in fs]
# One picture, one result: a TGA reads the same whether its pixels were stored plain or
# run-length encoded (the tools above may widen differently, but never by the storage).
for plain in [c[0] for c in cases if c[0].endswith(".tga")]:
    rle = plain[:-4] + "r.tga"
    outputs = [path(f"{n}.0.ours.png") for n in (plain, rle)]
    if any(c[0] == rle for c in cases) and all(os.path.exists(o) for o in outputs):
        a, b = (Image.open(o).convert("RGBA") for o in outputs)
        if differences(a, b, []):
            failures.append(f"{plain} and {rle} hold one picture but read differently: "
                            f"{differences(a, b, [])[0]}")
for lines, _ in results:
    for line in lines:
        print(line)
print(f"{len(cases)} files, {sum(len(c[1]) for c in cases)} pictures compared with ImageMagick and Pillow")
for f in failures:
    print("FAIL", f)
sys.exit(1 if failures else 0)
