#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Run by hand after changing a target's input layout; the output is committed. Standard library only
(GIF and JPEG seeds come from ImageMagick's `convert` when it is there).

The targets read their numeric arguments from the end of the input (libFuzzer's
FuzzedDataProvider takes integers and choices from the back, strings and bytes from the front), so
every seed is the payload followed by a small trailer that picks the arguments.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(ROOT, "corpus")


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def trailer(*consumed):
    """Bytes that the provider reads back in the given order (each item is a list of bytes)."""
    seq = [b for item in consumed for b in item]
    return bytes(reversed(seq))


def pick(value, lo, hi):
    """The bytes ConsumeIntegralInRange(lo, hi) reads to give value."""
    span, r, out, shift = hi - lo, value - lo, [], 0
    n = 0
    while shift < 64 and (span >> shift) > 0:
        n += 1
        shift += 8
    for i in reversed(range(n)):
        out.append((r >> (8 * i)) & 0xFF)
    return out


def small(value, bound):
    """ConsumeSmallOrAny: a non-zero mode byte, then the value in [-bound, bound]."""
    return [1] + pick(value, -bound, bound)


def string(s):
    """ConsumeRandomLengthString: backslashes doubled, the string ended by a backslash pair."""
    return s.replace(b"\\", b"\\\\") + b"\\\n"


def gbk(s):
    return s.encode("gbk")


# --- text extraction --------------------------------------------------------------------------
def text_extract():
    feed = open(os.path.join(ROOT, "..", "sample", "medals.jsonp"), "rb").read()[:400] + b");"
    cases = {
        "jsonp": (b"banomedals(", b");", feed, 0, False),
        "quote-token": (gbk("value=#引号"), gbk("#引号"), b'<a value="x1">', 0, False),
        "double-byte": (gbk("牌"), gbk("榜"), gbk("奥运金牌榜 金牌榜"), 1, False),
        "ignore-case": (b"HREF=", b">", b'<a href=/x>t</A>', 0, True),
        "negative": (b"/", b"", b"/a/b/c", -3, False),
        "lead-at-end": (b"\x81", b"\x81", b"a\x81\x81b\x81", 2, False),
    }
    for name, (start, end, text, position, ignore_case) in cases.items():
        write("text_extract", name,
              string(start) + string(end) + text + trailer([int(ignore_case)], small(position, 64)))


# --- encoding ---------------------------------------------------------------------------------
CODE_PAGES = [936, 65001, 54936, 950, 1252, 437, 20127, 28591, 0]
CHARSETS = ["utf-8", "big5", "gbk", "gb18030", "iso-8859-1", "utf-16", "utf-16le", "utf-32", "utf-7",
            "iso-2022-jp", "euc-jp", "shift_jis", "ucs-2", "koi8-r", "windows-1252", "hz-gb-2312",
            "no-such-set"]


def encoding():
    cases = {
        "gbk-to-utf8": (gbk("奥运金牌榜 微博热搜"), 936, 65001, "gbk"),
        "utf8-to-gbk": ("奥运金牌榜 €".encode(), 65001, 936, "utf-8"),
        "utf8-emoji": ("热搜 😀 end".encode(), 65001, 936, "utf-8"),
        "gb18030-four-byte": ("中𠀀文😀".encode("gb18030"), 54936, 936, "gb18030"),
        "big5": ("奧運金牌榜".encode("big5"), 950, 65001, "big5"),
        "broken": (b"\x81\x30 \xff\xfe \xed\xa0\x80 \xc3", 936, 65001, "shift_jis"),
        "utf16le": ("金牌 abc".encode("utf-16le"), 1252, 936, "utf-16"),
        "nul-inside": (b"ab\x00cd", 65001, 936, "utf-32"),
    }
    for name, (data, src, dst, charset) in cases.items():
        write("encoding", name, data + trailer([CODE_PAGES.index(src)], [CODE_PAGES.index(dst)],
                                               [CHARSETS.index(charset)], [0]))


# --- request headers and cookies --------------------------------------------------------------
HOT_HEADERS = b"\r\n".join([
    b"Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8",
    b"Accept-Language: zh-CN,zh;q=0.9", b"Cache-Control: no-cache", b"Connection: keep-alive",
    b"Host: s.weibo.com", b"Pragma: no-cache", b"Upgrade-Insecure-Requests: 1",
    b"User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    b"Chrome/69.0.3497.100 Safari/537.3"])


def header_block():
    cases = {
        "hot-search": (HOT_HEADERS, b"", 0, True, True),
        "post-lower": (b"content-type:text/plain\r\nx-a-:1\r\nno colon\r\n-:\r\n", b"a=1; b=2", 1, True, True),
        "cookie-line": (b"Referer: http://x/", b"Cookie: s=1", 0, False, False),
        "keep-alive-last": (b"connection: keep-alive", gbk("名=值"), 2, True, True),
    }
    for name, (headers, cookies, method, defaults, normalise) in cases.items():
        write("header_block", name, string(cookies) + headers +
              trailer(pick(method, -1, 4), [int(defaults)], [int(normalise)]))


def cookies():
    cases = {
        "redirect": (b"a=1; b=2", b"HTTP/1.1 302 Found\r\nSet-Cookie: b=3; path=/\r\n"
                     b"Set-Cookie: c=4\r\nset-cookie: d=deleted; expires=0\r\nLocation: /x\r\n"),
        "deleted": (b"a=1; a=deleted; ", b"Set-Cookie: a=deleted; path=/\r\nSet-Cookie:  e = 5 ;\r\n"),
        "blanks": (gbk("　x=1　; y; ;"), gbk("Set-Cookie: 名=　值　; Max-Age=1\r\nSet-Cookie:\r\n")),
    }
    for name, (old, headers) in cases.items():
        write("cookies", name, string(old) + headers)


# --- response decoding and the program's two patterns -------------------------------------------
def response_decoder():
    page = open(os.path.join(ROOT, "..", "sample", "hot-summary.html"), "rb").read()
    write("response_decoder", "hot-summary-head", page[:3000])
    big5 = "<html><head><meta http-equiv=Content-Type content='text/html; charset=big5'>奧運".encode("big5")
    write("response_decoder", "big5", big5)
    write("response_decoder", "gb2312", gbk('<meta charset="gb2312"><p>奥运</p>'))
    write("response_decoder", "utf16",
          b'<META CHARSET=utf-16le>' + "金牌".encode("utf-16le") + b"\x00\x00tail")
    write("response_decoder", "unknown", b"<meta content=x charset='x-no-such'>\xc3\xa9")
    write("response_decoder", "gb18030", '<meta charset="GB18030">中𠀀😀'.encode("gb18030"))


def regex_search():
    page = open(os.path.join(ROOT, "..", "sample", "hot-summary.html"), "rb").read()
    lines = [l for l in page.split(b"\n") if b"weibo?q=" in l]
    entries = b"\n".join(lines[:3])
    # Option trailer: PickValueInArray(2 patterns) first, then the "defaults" choice.
    write("regex_search", "hot-entries", entries + trailer([0], [1]))
    write("regex_search", "hot-entity", lines[5] + b"\n" + b'<a href="/weibo?q=%23abc%23" target="_blank">R&amp;B</a>'
          + trailer([0], [1]))
    write("regex_search", "hot-gbk", gbk('<a href="/weibo?q=a" target="_blank">金牌</a><a href="/WEIBO?Q=b" '
                                         'TARGET="_BLANK">榜\r\n</a>') + trailer([0], [0], [1], [0], [1]))
    write("regex_search", "meta", page[:400] + trailer([1], [1]))
    write("regex_search", "meta-broken", b"<meta \x81\x0a<META x charset='\xd6\xd0-cn'>" + trailer([1], [1]))


# --- images -------------------------------------------------------------------------------------
def png(width, height, color_type, bit_depth, rows, palette=None, interlace=0, extra=b""):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bit_depth, color_type,
                                                           0, 0, interlace))
    if palette:
        out += chunk(b"PLTE", palette)
    out += extra
    out += chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")
    return out


def bmp(width, height, bits):
    row = (width * bits + 31) // 32 * 4
    palette = bytes(i % 256 for i in range(1024)) if bits == 8 else b""
    offset = 54 + len(palette)
    pixels = bytes((x * 7 + y * 13) % 256 for y in range(height) for x in range(row))
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + palette + pixels


def crop_bitmap():
    for bits in (8, 16, 24, 32):
        source = bmp(7, 5, bits)
        write("crop_bitmap", f"bmp{bits}", source + trailer(small(1, 600), small(1, 600), small(4, 600),
                                                            small(3, 600)))
    write("crop_bitmap", "clipped", bmp(16, 16, 32) + trailer(small(10, 600), small(-2, 600), small(20, 600),
                                                              small(30, 600)))
    write("crop_bitmap", "short-file", bmp(9, 9, 24)[:120] + trailer(small(0, 600), small(0, 600),
                                                                     small(9, 600), small(9, 600)))


def image_convert():
    w, h = 8, 4
    rgba = b"".join(b"\x00" + b"".join(bytes((x * 30, y * 60, 90, 255 if y % 2 else 128)) for x in range(w))
                    for y in range(h))
    rgb = b"".join(b"\x01" + bytes(3 * w) for _ in range(h))
    gray16 = b"".join(b"\x02" + bytes(2 * w) for _ in range(h))
    pal = b"".join(b"\x00" + bytes([0x01, 0x23, 0x45, 0x67]) for _ in range(h))  # 4-bit indices
    seeds = {
        "png-rgba": png(w, h, 6, 8, rgba),
        "png-rgb-filters": png(w, h, 2, 8, rgb),
        "png-gray16": png(w, h, 0, 16, gray16),
        "png-palette4": png(w, h, 3, 4, pal, palette=bytes(range(24)), extra=b""),
        "png-interlaced": png(w, h, 6, 8, rgba, interlace=1),
        "bmp24": bmp(5, 3, 24),
    }
    for name, data in seeds.items():
        write("image_convert", name, data + trailer([0], [0]))
    write("image_convert", "png-to-gif-flat", seeds["png-rgba"] + trailer([5], [1]))
    convert = shutil.which("convert")
    if convert:
        with tempfile.TemporaryDirectory() as tmp:
            for fmt, index in (("gif", 0), ("jpg", 4)):
                path = os.path.join(tmp, "seed." + fmt)
                subprocess.run([convert, "-size", "6x4", "gradient:red-blue", path], check=True)
                write("image_convert", fmt, open(path, "rb").read() + trailer([index], [0]))


# --- JSON documents -------------------------------------------------------------------------------
def json_parse():
    feed = open(os.path.join(ROOT, "..", "sample", "medals.jsonp"), "rb").read()
    inner = feed[len(b"banomedals("):-len(b");")].rstrip(b");\n")
    write("json_parse", "feed", inner + trailer([0]))
    first = inner[:inner.index(b"},{") + 1] + b"]}}"
    write("json_parse", "one-record", first + trailer([0]))
    write("json_parse", "one-record-direct", first + trailer([1]))
    write("json_parse", "odd-values", b'{"data":{"medalsList":[{"countryname":"\\u0000x","gold":1e400,'
          b'"silver":null,"bronze":[1,{}],"count":true,"countryid":"\\ud800"}]}}' + trailer([0]))
    write("json_parse", "array", b'[1,"two",{"three":[3]}]' + trailer([0]))
    write("json_parse", "gbk-text", gbk('{"data":{"medalsList":[{"countryname":"中国","gold":"40"}]}}')
          + trailer([0]))


def main():
    if os.path.isdir(CORPUS):
        shutil.rmtree(CORPUS)
    for make in (text_extract, encoding, header_block, cookies, response_decoder, regex_search, crop_bitmap,
                 image_convert, json_parse):
        make()
    return 0


if __name__ == "__main__":
    sys.exit(main())
