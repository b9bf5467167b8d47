#!/usr/bin/env python3
"""Writes candidate seeds for every fuzz target into OUT/<target>/: copies of
the shared fixtures and small files made the way the tests make them. The
kept corpora are these, minimised by each target (see fuzz/README.md):

    fuzz/tools/makeseeds.py /tmp/seeds ../shared/fixtures
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

out = Path(sys.argv[1])
fixtures = Path(sys.argv[2])
tmp = Path(tempfile.mkdtemp())


def put(target, name, data):
    d = out / target
    d.mkdir(parents=True, exist_ok=True)
    (d / name).write_bytes(data)


def copy(target, pattern, limit=256 * 1024):
    for f in sorted(fixtures.glob(pattern)):
        if f.is_file() and f.stat().st_size <= limit:
            put(target, f.parent.name + "_" + f.name, f.read_bytes())


def magick(name, *args):
    path = tmp / name
    subprocess.run(["convert", *args, str(path)], check=True, capture_output=True)
    return path.read_bytes()


le16 = lambda v: struct.pack("<H", v & 0xFFFF)
le32 = lambda v: struct.pack("<I", v & 0xFFFFFFFF)
be16 = lambda v: struct.pack(">H", v & 0xFFFF)
be32 = lambda v: struct.pack(">I", v & 0xFFFFFFFF)

# Settings files and selection lists.
put("settings", "written", b" 2  5 \r\n 1  0  1  4 -3  0  1 \r\n 1 \r\n/home/anne/photos, \xc3\xa9t\xc3\xa9\r\n")
put("settings", "commas", b"2,5\n1 ,  0,1 ,\t3,7,1,0\n1\n/data/a,b c \n")
put("settings", "short", b" 2 \r\n 1  1  0  2  9  1  0 \r\n")
put("settings", "cp1252", b" 1  1 \r\n 0  0  1  1  0  0  1 \r\n 1 \r\nC:\\Images\\\xe9t\xe9 \x80\r\n")
put("settings", "bom", b"\xef\xbb\xbf-32768 32767\r\n")
put("vsi", "utf8", "/home/anne/été.jpg\r\n/tmp/b.png\r\n".encode())
put("vsi", "mixed", b"/a.jpg\r/b.jpg\n\n/c.jpg\r\n\r\n/d")
put("vsi", "cp1252", b"C:\\Images\\\xe9t\xe9.jpg\r\n\x80.bmp\r\n")
put("vsi", "bom", b"\xef\xbb\xbf/x.jpg\r\n")

# Command lines (NUL between arguments).
for name, args in {
    "help": [b"--help"], "version": [b"-v"], "file": [b"photo.jpg"],
    "url": [b"file:///home/anne/%C3%A9t%C3%A9.jpg"], "dashes": [b"--", b"-h"],
    "two": [b"a.jpg", b"b.jpg"], "unknown": [b"--frobnicate"], "compact": [b"-hv"],
}.items():
    put("commandline", name, b"\0".join(args))

# MIDI: the fixture, and files shaped like the tests' (running status,
# RMID wrapper, SMPTE division, system exclusive, tempo changes).
copy("midi", "media/*.mid")
def smf(tracks, division=(0x01, 0xE0), fmt=1):
    head = b"MThd" + be32(6) + be16(fmt) + be16(len(tracks)) + bytes(division)
    return head + b"".join(b"MTrk" + be32(len(t)) + t for t in tracks)
notes = bytes([0x00, 0x90, 60, 100, 0x60, 64, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00])
tempo = bytes([0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x83, 0x60, 0xFF, 0x51, 0x03, 0x0F,
               0x42, 0x40, 0x00, 0xFF, 0x2F, 0x00])
sysex = bytes([0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x10, 0xC0, 5, 0x00, 0xE0, 0, 64,
               0x00, 0xFF, 0x2F, 0x00])
put("midi", "two_tracks", smf([tempo, notes]))
put("midi", "smpte", smf([notes], division=(0xE7, 0x28)))
put("midi", "sysex", smf([sysex], fmt=0))
body = smf([notes])
put("midi", "rmid", b"RIFF" + le32(len(body) + 12) + b"RMID" + b"data" + le32(len(body)) + body)

# Cue sheets.
copy("cuesheet", "media/*.cue")
copy("cuesheet", "media/*/*.cue")
put("cuesheet", "pregap_data", b'FILE "disc.bin" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n'
    b"  TRACK 02 AUDIO\r\n    PREGAP 00:02:00\r\n    INDEX 01 00:03:00\r\n"
    b"  TRACK 03 MODE1/2352\r\n    INDEX 00 00:06:00\r\n    INDEX 01 00:08:00\r\n")

# Scanner frames: params (format, last, bytes per line, pixels per line,
# lines, depth), then chunks led by their 16-bit length, 0 to end a frame.
def frame(fmt, last, bpl, ppl, lines, depth, data, slices=(7,)):
    b = bytes([fmt, last]) + struct.pack("<iiii", bpl, ppl, lines, depth)
    at, i = 0, 0
    while at < len(data):
        n = slices[i % len(slices)]
        b += le16(len(data[at:at + n])) + data[at:at + n]
        at += n
        i += 1
    return b + le16(0)
put("frameassembler", "gray8", frame(0, 1, 6, 5, 3, 8, bytes(range(18))) + le16(300))
put("frameassembler", "mono_unknown", frame(0, 1, 2, 9, -1, 1, b"\xaa\x80\x55\x00\xff\x80", (5, 1)))
put("frameassembler", "rgb16", frame(1, 1, 12, 2, 2, 16, bytes(range(24)), (12,)) + le16(600))
put("frameassembler", "channels", frame(3, 0, 4, 4, 2, 8, bytes(8)) + frame(2, 0, 4, 4, 2, 8, bytes(range(8)))
    + frame(4, 1, 4, 4, 3, 8, bytes(range(12))))
put("frameassembler", "rgb1", frame(1, 1, 1, 2, 4, 1, b"\xfc\x00\xa8\x54"))

# Pictures the browser probes: every sample, and today's formats.
for pattern in ["pictures/samples/*/*", "pictures/corpora/pillow/Tests/images/*.ico",
                "pictures/corpora/bmpsuite/[bq]/*.bmp"]:
    copy("pictureprobe", pattern, 64 * 1024)
for ext in ["png", "webp", "tif", "tga", "pcx", "ppm", "xpm", "xbm", "jp2"]:
    try:
        put("pictureprobe", "small." + ext, magick("small." + ext, "-size", "5x3", "xc:red"))
    except subprocess.CalledProcessError:
        pass
put("pictureprobe", "drawing.svg", b"<svg xmlns='http://www.w3.org/2000/svg' width='64' height='48'>"
    b"<rect width='32' height='24' fill='#f00'/></svg>")
put("pictureprobe", "heic_head", be32(24) + b"ftypheic" + be32(0) + b"mif1heic" + bytes(40))
put("pictureprobe", "jxl_head", b"\xff\x0a" + bytes(30))
put("pictureprobe", "jxl_box", b"\0\0\0\x0cJXL \x0d\x0a\x87\x0a" + bytes(30))

# EXIF: APP1 payloads, PNG eXIf and WebP EXIF chunks, HEIF transform boxes.
def tiff(orientation, big=False, extra=0):
    if big:
        return b"MM\0*" + be32(8) + be16(1 + extra) + (be16(0x0100) + be16(3) + be32(1) + be16(7) + be16(0)) * extra \
            + be16(0x0112) + be16(3) + be32(1) + be16(orientation) + be16(0) + be32(0)
    return b"II*\0" + le32(8) + le16(1) + le16(0x0112) + le16(3) + le32(1) + le16(orientation) + le16(0) + le32(0)
put("exif", "app1_ii_6", b"Exif\0\0" + tiff(6))
put("exif", "app1_mm_8", b"Exif\0\0" + tiff(8, big=True, extra=2))
def png_chunk(kind, data):
    return be32(len(data)) + kind + data + be32(zlib.crc32(kind + data))
png = magick("q.png", "-size", "4x3", "xc:blue")
put("exif", "png_exif", png[:33] + png_chunk(b"eXIf", tiff(5)) + png[33:])
webp = magick("q.webp", "-size", "4x3", "xc:green")
chunk = b"EXIF" + le32(len(tiff(3)) + 6) + b"Exif\0\0" + tiff(3)
body = webp[12:] + chunk
put("exif", "webp_exif", b"RIFF" + le32(len(body) + 4) + b"WEBP" + body)
def box(kind, payload):
    return be32(8 + len(payload)) + kind + payload
heif = box(b"ftyp", b"heic" + be32(0) + b"mif1heic") + box(
    b"meta", be32(0) + box(b"hdlr", bytes(24)) + box(b"iprp", box(b"ipco", box(b"ispe", bytes(12)) + box(b"irot", b"\x01"))))
put("exif", "heif_irot", heif)

# JPEG decoding: four bytes of request, then the file.
jpegs = {}
for f in sorted((fixtures / "pictures/samples/jpeg").glob("*")):
    if f.stat().st_size < 64 * 1024:
        jpegs[f.name] = f.read_bytes()
for f in ["baseline_header_only.jpg", "progressive_truncated_half.jpg", "jpeg_sof_65000x65000.jpg"]:
    jpegs[f] = (fixtures / "pictures/samples/broken" / f).read_bytes()
jpegs["tiny_progressive.jpg"] = magick("p.jpg", "-size", "40x24", "gradient:red-blue", "-interlace", "JPEG", "-quality", "50")
jpegs["tiny_restart.jpg"] = magick("r.jpg", "-size", "24x40", "plasma:", "-define", "jpeg:restart-interval=1", "-quality", "30")
jpegs["tiny_gray.jpg"] = magick("g.jpg", "-size", "17x9", "gradient:", "-colorspace", "Gray", "-quality", "40")
jpegs["tiny_420.jpg"] = magick("s.jpg", "-size", "33x17", "plasma:", "-sampling-factor", "2x2", "-quality", "20")
exif6 = b"Exif\0\0" + tiff(6)
t = jpegs["tiny_420.jpg"]
jpegs["tiny_exif6.jpg"] = t[:2] + b"\xff\xe1" + be16(len(exif6) + 2) + exif6 + t[2:]
t = jpegs["tiny_progressive.jpg"]
exif7 = b"Exif\0\0" + tiff(7)
jpegs["tiny_exif7_progressive.jpg"] = t[:2] + b"\xff\xe1" + be16(len(exif7) + 2) + exif7 + t[2:]
for i, (name, data) in enumerate(sorted(jpegs.items())):
    for need in [bytes([0, 0, 0, 0]), bytes([1, 3, 2, 0]), bytes([0x10, 2, 1, 0]), bytes([0x32, 3, 3, 0x85]),
                 bytes([2, 1, 1, 0]), bytes([3, 9, 4, 0])][i % 3::3]:
        put("jpeg", name + "_" + need.hex(), need + data)

# The helper's output. The picture decoder's packet: how it is sent (seals
# left off, no memfd, a memfd length given), the box asked, the message's
# length and the message, then the memfd's bytes.
def header(w, h, nw, nh, fmt, bpl=None, colours=b""):
    return (b"LPIX" + struct.pack("<7I", w, h, nw, nh, fmt, w * 4 if bpl is None else bpl, len(colours))
            + colours)
def packet(how, box, message, memfd=b""):
    return bytes([how, box, len(message)]) + message + memfd
put("helperoutput", "full-rgb32-3x2", packet(0, 0, header(3, 2, 3, 2, 4), bytes(range(24))))
put("helperoutput", "full-argb-2x2", packet(0, 0, header(2, 2, 2, 2, 6), b"\xff" * 16))
put("helperoutput", "boxed-4x4-in-16x8", packet(0, 0x33, header(4, 2, 16, 8, 4), b"\x10" * 32))
put("helperoutput", "unsealed-write", packet(4, 0, header(1, 1, 1, 1, 4), b"\0\0\0\xff"))
put("helperoutput", "length-given", bytes([0x10, 0]) + le32(16 * 16 * 4) + bytes([32]) + header(16, 16, 16, 16, 4))
put("helperoutput", "full-rgb32-with-colours", packet(0, 0, header(2, 1, 2, 1, 4, colours=bytes(range(6))), bytes(range(8))))
put("helperoutput", "no-memfd", packet(8, 0, header(1, 1, 1, 1, 4)))
put("helperoutput", "short-message", packet(0, 0, b"LPIX" + le32(1) + le32(1) + bytes(4)))
# The metafile renderer's (through the stand-in): request, exit code, error
# text, then its PNG.
def png_rgb(w, h, data=True):
    ihdr = png_chunk(b"IHDR", be32(w) + be32(h) + bytes([8, 2, 0, 0, 0]))
    raw = b"".join(b"\0" + bytes(w * 3) for _ in range(h))
    return b"\x89PNG\r\n\x1a\n" + ihdr + png_chunk(b"IDAT", zlib.compress(raw) if data else b"\x78\x9c") \
        + png_chunk(b"IEND", b"")
put("helperoutput", "renderer_png", bytes([0x40, 0x23, 0, 0]) + png_rgb(4, 3))
put("helperoutput", "renderer_wrong_size", bytes([0x40, 0x23, 0, 0]) + png_rgb(5, 3))
put("helperoutput", "renderer_forged", bytes([0x40, 0x00, 0, 0]) + png_rgb(20000, 20000, False))
put("helperoutput", "renderer_failed", bytes([0x40, 0x11, 3, 30]) + b"lumenta-mfrender: error: nope\n")

# TGA: what ImageMagick writes, and the kinds it does not, built by hand.
for opts in [[], ["-compress", "RLE"], ["-orient", "TopLeft"], ["-orient", "TopRight", "-compress", "RLE"],
             ["-type", "palette"], ["-type", "palette", "-compress", "RLE"], ["-type", "grayscale"],
             ["-type", "grayscale", "-compress", "RLE"]]:
    put("tga", "im" + "".join(opts).replace("-", "_") + ".tga",
        magick("t.tga", "-size", "7x5", "gradient:red-blue", *opts))
def tga(typ, bits, desc, pixels, w=3, h=2, mapbits=0, cmap=b"", ident=b"", footer=False, attributes=-1):
    entry = (mapbits + 7) // 8
    data = bytes([len(ident), 1 if mapbits else 0, typ]) + le16(0) + le16(len(cmap) // entry if entry else 0) \
        + bytes([mapbits]) + le16(0) + le16(0) + le16(w) + le16(h) + bytes([bits, desc]) + ident + cmap + pixels
    if footer or attributes >= 0:
        extension = 0
        if attributes >= 0:
            extension = len(data)
            data += le16(495) + bytes(492) + bytes([attributes])
        data += le16(extension) + le16(0) + bytes(4) + b"TRUEVISION-XFILE.\0"
    return data
p16 = lambda r, g, b, a=0: le16(a << 15 | r << 10 | g << 5 | b)
six16 = b"".join(p16(i * 5, 31 - i * 5, i * 3, i & 1) for i in range(6))
put("tga", "hand-16bit-alpha.tga", tga(2, 16, 0x01, six16))
put("tga", "hand-15bit.tga", tga(2, 15, 0x00, six16))
put("tga", "hand-16bit-rle.tga", tga(10, 16, 0x21, b"\x82" + p16(1, 2, 3, 1) + b"\x02" + six16[:6]))
put("tga", "hand-map16-idx8.tga", tga(1, 8, 0x01, bytes([0, 1, 2, 3, 0, 1]), mapbits=16, cmap=six16[:8]))
put("tga", "hand-map24-idx16-rle.tga", tga(9, 16, 0x20, b"\x85" + le16(2), mapbits=24, cmap=bytes(range(9))))
put("tga", "hand-map32-idx8.tga", tga(1, 8, 0x08, bytes([0, 1] * 3), mapbits=32, cmap=bytes(range(8)), ident=b"id"))
put("tga", "hand-grey16-alpha.tga", tga(3, 16, 0x08, bytes(range(12))))
put("tga", "hand-32-footer-premul.tga", tga(2, 32, 0x08, bytes(range(24)), attributes=4))
put("tga", "hand-24-footer.tga", tga(2, 24, 0x10, bytes(range(18)), footer=True))

# Thumbnail cache entries, made as the cache writes them.
uri = b"file:///dev/shm/lumenta-fuzz-thumbnail/photo.png"
def text(k, v):
    return png_chunk(b"tEXt", k + b"\0" + v)
def png_of(w, h, chunks):
    ihdr = png_chunk(b"IHDR", be32(w) + be32(h) + bytes([8, 6, 0, 0, 0]))
    raw = b"".join(b"\0" + bytes(w * 4) for _ in range(h))
    return b"\x89PNG\r\n\x1a\n" + ihdr + b"".join(chunks) + png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b"")
put("thumbnailcache", "valid", png_of(4, 3, [text(b"Thumb::URI", uri), text(b"Thumb::MTime", b"1700000000"),
                                             text(b"Thumb::Size", b"8"), text(b"Thumb::Mimetype", b"image/png"),
                                             text(b"Software", b"Lumenta")]))
put("thumbnailcache", "failure", png_of(1, 1, [text(b"Thumb::URI", uri), text(b"Thumb::MTime", b"1700000000")]))
put("thumbnailcache", "video", png_of(2, 2, [text(b"Thumb::URI", uri), text(b"Thumb::MTime", b"1700000000"),
                                             text(b"Thumb::Mimetype", b"video/mp4")]))
put("thumbnailcache", "ztxt", png_of(2, 2, [png_chunk(b"zTXt", b"Thumb::URI\0\0" + zlib.compress(uri)),
                                            png_chunk(b"iTXt", b"Thumb::MTime\0\0\0\0\0" + b"1700000000")]))

# FLI and FLC animations, made as the player's tests make them.
def fchunk(kind, data):
    return le32(6 + len(data)) + le16(kind) + data
def flic(flc, frames, w=8, h=4, speed=5, announced=None):
    body = b"".join(fchunk(0xF1FA, le16(len(f)) + bytes(8) + b"".join(f)) for f in frames)
    header = le32(128 + len(body)) + le16(0xAF12 if flc else 0xAF11) + le16(len(frames) if announced is None else announced) \
        + le16(w) + le16(h) + le16(8) + le16(3) + (le32(speed) if flc else le16(speed))
    return header.ljust(128, b"\0") + body
pal64 = fchunk(11, le16(1) + bytes([0, 3]) + bytes([21, 21, 63, 63, 0, 0, 0, 42, 0]))
pal256 = fchunk(4, le16(1) + bytes([5, 2]) + bytes([10, 20, 30, 200, 100, 50]))
brun = fchunk(15, bytes([1, 8, 1]) * 4)
lc = fchunk(12, le16(1) + le16(2) + bytes([1, 0, 0xF8, 2]) * 2)
delta = fchunk(7, le16(1) + le16(0xFFFE) + le16(1) + bytes([0, 0xFC, 7, 7]))
copy_ = fchunk(16, bytes(range(32)))
black = fchunk(13, b"")
put("flic", "fli", flic(False, [[pal64, brun], [lc], [black]]))
put("flic", "flc", flic(True, [[pal256, copy_], [delta], [], [copy_]], announced=3))
put("flic", "flc_ring_missing", flic(True, [[pal256, brun], [black]], announced=9))

# Metafiles.
copy("wmfprepare", "pictures/samples/meta/*.wmf")
copy("wmfprepare", "pictures/samples/broken/*.wmf")
copy("wmfprepare", "pictures/corpora/pillow/Tests/images/*.wmf")
copy("emfprepare", "pictures/samples/meta/*.emf")
copy("emfprepare", "pictures/samples/meta/*.EMF")
copy("emfprepare", "pictures/samples/broken/*.emf")
copy("emfprepare", "pictures/corpora/libemf2svg/tests/resources/*/*.emf", 64 * 1024)
copy("emfprepare", "pictures/corpora/pillow/Tests/images/*.emf")

# WMF text records: font, colours, alignment, mapping, points, flags,
# height, then the text.
def wmftext(charset, face, text_, align=0, flags=0, esc=0, height=16 * 16, bgmode=1, scale=1024):
    font = le16(12) + le16(0) + struct.pack("<hh", esc, 0) + le16(400) + bytes([0, 0, 0, charset, 0x22]) + face + b"\0"
    dc = bytes([0, 0, 0, 255, 255, 255]) + le16(align) + le16(bgmode)
    mapping = struct.pack("<hhhh", 0, 0, scale, scale)
    pts = struct.pack("<iiiiii", 4 << 8, 20 << 8, 0, 0, 40 << 8, 30 << 8)
    return font + dc + mapping + pts + le16(flags) + le16(height) + text_
put("wmftext", "latin", wmftext(0, b"Arial", "Été".encode("cp1252")))
put("wmftext", "cyrillic_opaque", wmftext(204, b"Times New Roman", "Привет".encode("cp1251"), align=24, flags=6, bgmode=2))
put("wmftext", "sjis_rotated", wmftext(128, b"MS Gothic", "日本".encode("shift_jis"), esc=450, align=8))
put("wmftext", "symbol_clipped", wmftext(2, b"Symbol", b"abc", flags=4, scale=-700))
put("wmftext", "oem", wmftext(255, b"Terminal", b"\xb0\xb1\xb2", height=4000))
shutil.rmtree(tmp)
