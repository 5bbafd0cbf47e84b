#!/usr/bin/env python3
"""Checks the committed sample files and the sample server.

    python3 -m unittest sample/test_sample.py
"""

import http.client
import json
import os
import re
import ssl
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import generate  # noqa: E402
import server  # noqa: E402

REALDATA = os.environ.get("VELK_REALDATA", "/work/shared/realdata")
HOT_PATTERN = 'weibo\\?q=(.*?)" target="_blank">(.*?)</a>'
CHARSET_PATTERN = r"<meta.+?charset=[^\w]?([-\w]+)"
MEDAL_URL = "/olympic/getOlyMedals?" + "&".join(k + "=" + v for k, v in server.MEDAL_QUERY.items())


def Read(name):
    with open(os.path.join(HERE, name), "rb") as f:
        return f.read()


def FeedRecords(jsonp):
    """The records exactly as the widget reaches them: between the markers, then by path."""
    text = jsonp.decode("ascii")
    start = text.index("banomedals(") + len("banomedals(")
    document = json.loads(text[start:text.index(");", start)])
    return document, document["data"]["medalsList"]


def PngRows(png):
    """(width, height, colour type, rows of RGBA bytes) of a non-interlaced 8-bit PNG."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, header = 8, b"", None
    while pos < len(png):
        length, kind = struct.unpack(">I4s", png[pos:pos + 8])
        data = png[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", data)
        elif kind == b"IDAT":
            idat += data
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert (depth, interlace) == (8, 0)
    raw = zlib.decompress(idat)
    stride = width * 4 + 1
    rows = []
    for y in range(height):
        assert raw[y * stride] == 0, "the generator writes filter type 0 only"
        rows.append(raw[y * stride + 1:(y + 1) * stride])
    return width, height, colour, rows


class SampleFiles(unittest.TestCase):
    def test_hot_page_matches_like_the_desktop_page(self):
        page = Read("hot-summary.html")
        self.assertEqual(len(HOT_PATTERN), 41)
        text = page.decode("utf-8")
        matches = re.findall(HOT_PATTERN, text, re.IGNORECASE)
        self.assertGreaterEqual(len(matches), 50)
        self.assertTrue(matches[0][0].endswith("&Refer=new_time"), "pinned entry first")
        self.assertTrue(all(k.startswith("%23") and "&Refer=" in k for k, _ in matches))
        self.assertTrue(any(re.search(r"&\w+;", t) for _, t in matches[:10]),
                        "an HTML entity in one of the ten shown titles")
        for _, title in matches:
            title.encode("gbk")  # every title survives the conversion to code page 936
        charset = re.search(CHARSET_PATTERN, page[:1024].decode("utf-8", "ignore"), re.IGNORECASE)
        self.assertEqual(charset.group(1).lower(), "utf-8")

    def test_medal_feeds_have_the_live_shape(self):
        for name, count in (("medals.jsonp", 91), ("medals-rank9-20.jsonp", 12)):
            with self.subTest(name):
                jsonp = Read(name)
                self.assertTrue(jsonp.startswith(b"banomedals(") and jsonp.endswith(b");"))
                self.assertTrue(jsonp.isascii(), "non-ASCII names travel as \\u escapes")
                document, records = FeedRecords(jsonp)
                self.assertEqual(len(records), count)
                self.assertIsInstance(document["data"]["total"], int)
                for r in records:
                    for member in ("countryname", "countryid", "gold", "silver", "bronze", "count"):
                        self.assertIsInstance(r[member], str)
                        self.assertNotEqual(r[member], "")

    def test_flags_cover_downloaded_codes_in_the_embedded_geometry(self):
        for name in ("medals.jsonp", "medals-rank9-20.jsonp"):
            _, records = FeedRecords(Read(name))
            for r in records[:8]:
                code = r["countryid"]
                if code in generate.EMBEDDED_FLAG_CODES:
                    continue
                with self.subTest(code):
                    width, height, colour, rows = PngRows(Read(os.path.join("flags", code + ".png")))
                    self.assertEqual((width, height, colour), (512, 512, 6))
                    alphas = [set(row[3::4]) for row in rows]
                    self.assertTrue(all(a == {0} for a in alphas[:128] + alphas[384:]))
                    self.assertTrue(all(a == {255} for a in alphas[128:384]))

    @unittest.skipUnless(os.path.isdir(os.path.join(REALDATA, "medals")), "no real data")
    def test_committed_files_are_what_the_generator_writes(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([sys.executable, os.path.join(HERE, "generate.py"), "--realdata",
                            REALDATA, "--out", out], check=True, stdout=subprocess.DEVNULL)
            for folder, _, files in os.walk(out):
                for name in files:
                    path = os.path.relpath(os.path.join(folder, name), out)
                    with self.subTest(path), open(os.path.join(out, path), "rb") as f:
                        self.assertEqual(f.read(), Read(path))


class SampleServer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        ready = os.path.join(cls.folder.name, "ready")
        cls.process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "server.py"), "--quiet", "--ready-file", ready,
             "--fault", "flags=500"], stdout=subprocess.PIPE, text=True)
        line = cls.process.stdout.readline().strip()
        fields = dict(f.split("=") for f in line.split())
        cls.http_port, cls.https_port = int(fields["HTTP_PORT"]), int(fields["HTTPS_PORT"])
        with open(ready) as f:
            assert f.read().strip() == line

    @classmethod
    def tearDownClass(cls):
        cls.process.terminate()
        cls.process.wait(timeout=10)
        cls.process.stdout.close()
        cls.folder.cleanup()

    def Get(self, path, secure=False, http10=False):
        """(status, body) or the exception a client sees; one fresh connection each time."""
        if secure:
            context = ssl.create_default_context()
            context.check_hostname = False
            context.verify_mode = ssl.CERT_NONE
            connection = http.client.HTTPSConnection("127.0.0.1", self.https_port, timeout=2,
                                                     context=context)
        else:
            connection = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=2)
            if http10:
                connection._http_vsn, connection._http_vsn_str = 10, "HTTP/1.0"
        try:
            connection.request("GET", path, headers={"Host": "s.weibo.com" if secure else "x"})
            response = connection.getresponse()
            return response.status, response.read()
        except Exception as e:
            return e
        finally:
            connection.close()

    def test_routes_serve_the_sample_files(self):
        cases = [
            ("notice", "/velk1.txt?31337", False, (200, Read("velk1.txt"))),
            ("medal feed", MEDAL_URL, False, (200, Read("medals.jsonp"))),
            ("feed with another query", "/olympic/getOlyMedals?serviceId=2024aoyun", False, 404),
            ("hot page", "/top/summary?cate=realtimehot", True, (200, Read("hot-summary.html"))),
            ("hot page over plain http", "/top/summary?cate=realtimehot", False, 404),
            ("feed over https", MEDAL_URL, True, 404),
            ("unknown flag", "/sports/data/olympic/teamImg/CHN.png", False, 404),
        ]
        for name, path, secure, expected in cases:
            with self.subTest(name):
                result = self.Get(path, secure)
                self.assertEqual(result[0] if isinstance(expected, int) else result, expected)

    def test_fault_modes_and_runtime_switch(self):
        # Started with flags=500; an HTTP/1.0 request as the flag reader sends it.
        flag = "/sports/data/olympic/teamImg/SWE.png"
        self.assertEqual(self.Get(flag, http10=True)[0], 500)
        self.assertEqual(self.Get("/_fault?route=flags&mode=none"), (200, b"ok\n"))
        self.assertEqual(self.Get(flag, http10=True), (200, Read("flags/SWE.png")))
        self.assertEqual(self.Get("/_fault?route=nowhere&mode=cut")[0], 400)

        hot = "/top/summary?cate=realtimehot&fault="
        for secure, path in ((False, MEDAL_URL + "&fault="), (True, hot)):
            # Exact types: a plain close would also fail, as RemoteDisconnected. Python's TLS
            # layer reports a reset as the end of the stream (curl reports the reset).
            reset = http.client.RemoteDisconnected if secure else ConnectionResetError
            for mode, failure in (("refuse", reset), ("hang", TimeoutError),
                                  ("cut", http.client.IncompleteRead),
                                  ("garbage", http.client.BadStatusLine)):
                with self.subTest(mode=mode, secure=secure):
                    self.assertIs(type(self.Get(path + mode, secure)), failure)
            with self.subTest(mode="huge", secure=secure):
                status, body = self.Get(path + "huge", secure)
                self.assertEqual((status, len(body)), (200, server.HUGE_SIZE))
        self.assertEqual(self.Get("/velk1.txt?1"), (200, b"0"), "a hung request stalls no other")


if __name__ == "__main__":
    unittest.main()
