#!/usr/bin/env python3
"""Builds the sample files that sample/server.py serves for demo runs.

Run by hand after changing this script; the generated files are committed:

    python3 sample/generate.py [--realdata /work/shared/realdata]

The medal feeds are derived from the final Paris 2024 table in the shared real-data
folder (read, never copied). The hot-search page is written from invented titles in the
layout of Weibo's desktop summary page. The flags are drawn here, in the geometry of the
widget's embedded flag images. Python 3 standard library only; the output is the same
byte for byte on every run.
"""

import argparse
import json
import math
import os
import struct
import sys
import urllib.parse
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
MEDAL_TABLE = os.path.join("medals", "paris2024_final_remarshaled-by-go_gold_rank.json")

# Team codes whose flags the widget carries itself; every other code is downloaded.
EMBEDDED_FLAG_CODES = frozenset((
    "ROC", "USA", "KOR", "GBR", "AUS", "KOS", "RCAN", "CHN",
    "JPN", "HUN", "NED", "ITA", "GER", "FRA", "SUI",
))


# ----------------------------------------------------------------------------- medal feeds

def MedalRecords(realdata):
    """The Paris 2024 records in the live feed's member names, in the table's order."""
    with open(os.path.join(realdata, MEDAL_TABLE), encoding="utf-8") as f:
        table = json.load(f)
    records = []
    for row in table["MedalsList"]:
        records.append({
            "countryid": row["Countryid"],
            "countryname": row["Countryname"],
            "gold": row["Gold"],
            "silver": row["Silver"],
            "bronze": row["Bronze"],
            "count": row["Count"],
            "rank": row["Rank"],
        })
    return records


def MedalFeed(records):
    """JSONP as the feed sends it: compact, non-ASCII as \\u escapes, counts as strings."""
    document = {"data": {"medalsList": records, "total": len(records)}}
    text = json.dumps(document, ensure_ascii=True, separators=(",", ":"))
    return ("banomedals(" + text + ");").encode("ascii")


# ----------------------------------------------------------------------- hot-search page

# Invented entries: (title as written in the page, HTML entities included; category
# word or None; heat; icon class or None). The first entry is the pinned one.
PINNED_TITLE = "全民健身日 一起动起来"
HOT_ENTRIES = [
    ("台风红色预警发布 多地停课停运", None, 4871203, "hot"),
    ("奥运冠军回校给学弟学妹上体育课", None, 3960415, "hot"),
    ("新款手机发布会定档下周三", "科技", 3215877, None),
    ("R&amp;B歌手新专辑首日销量破纪录", "音乐", 2876340, "new"),
    ("高铁新线开通 两地通勤只需40分钟", None, 2654012, None),
    ("小区楼下的流浪猫被集体领养了", None, 2480569, "boil"),
    ("暑期档电影票房突破百亿", "电影", 2311874, "hot"),
    ("夜市烧烤摊老板记住了每位常客", None, 2107390, None),
    ("大学新生报到现场", None, 1988245, "new"),
    ("气象台提醒本周末注意防暑", None, 1870023, None),
    ("综艺节目嘉宾即兴合唱", "综艺", 1752901, None),
    ("外卖小哥雨中护住餐箱", None, 1630418, None),
    ("博物馆夜场门票秒空", None, 1528776, "hot"),
    ("国产动画电影定档春节", "电影", 1471302, None),
    ("考研报名时间公布", None, 1399864, None),
    ("网友晒出家乡的秋天", None, 1321077, None),
    ("篮球联赛新赛季赛程出炉", "体育", 1263590, None),
    ("地铁站里的钢琴有人弹了一整天", None, 1207345, "new"),
    ("老人手写菜单走红", None, 1150981, None),
    ("年轻人开始流行周末露营", None, 1098562, None),
    ("剧集大结局引发讨论", "剧集", 1043217, None),
    ("中秋月饼新口味测评", None, 998403, None),
    ("图书馆通宵自习室开放", None, 953366, None),
    ("马拉松赛道旁的志愿者", "体育", 912047, None),
    ("新能源车充电桩覆盖所有县城", None, 874290, None),
    ("城市公园新增夜跑步道", None, 838115, None),
    ("国风音乐会门票售罄", "音乐", 801942, None),
    ("一家三代人的老照片", None, 769508, None),
    ("游泳馆暑期免费开放", None, 737716, None),
    ("自制冰粉教程", None, 706285, None),
    ("乒乓球公开赛决赛", "体育", 677430, "hot"),
    ("快递员凌晨分拣包裹", None, 649851, None),
    ("航天科普展走进校园", None, 623007, None),
    ("民宿老板种了满院子的花", None, 597512, None),
    ("早餐店坚持十年不涨价", None, 573160, None),
    ("电视剧拍摄地成为旅游热门", "剧集", 550049, None),
    ("雨后彩虹刷屏朋友圈", None, 527973, None),
    ("程序员用代码给女儿画了生日贺卡", None, 507118, None),
    ("动物园大熊猫过生日", None, 487233, "new"),
    ("跳水队公开训练", "体育", 468392, None),
    ("校园食堂推出地方特色菜", None, 450407, None),
    ("古镇灯会亮灯", None, 433284, None),
    ("广场舞大妈自编奥运主题舞蹈", None, 416961, None),
    ("科学家解释为什么秋天叶子会变红", None, 401345, None),
    ("演唱会现场万人大合唱", "音乐", 386418, None),
    ("摄影师拍到流星雨", None, 372110, None),
    ("毕业十年同学聚会", None, 358381, None),
    ("山区小学收到一批新书", None, 345205, None),
    ("射击冠军的赛后采访", "体育", 332542, None),
    ("周末去哪儿看展", None, 320379, None),
]

ICON_TEXTS = {"hot": "热", "new": "新", "boil": "沸", "recommend": "荐"}

HOT_PAGE_HEAD = """<!DOCTYPE html>
<html lang="zh-cn">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="keywords" content="微博热搜,热搜榜,实时热点">
<title>微博搜索 - 热搜榜</title>
<link href="/css/search.css" type="text/css" rel="stylesheet">
</head>
<body>
<div class="m-main">
    <div class="m-top">
        <form action="/weibo" method="get" target="_blank">
            <input type="text" name="q" placeholder="大家都在搜" autocomplete="off">
            <button type="submit" class="s-btn-b">搜索</button>
        </form>
    </div>
    <div class="m-wrap">
        <div id="pl_top_realtimehot" class="data">
            <table>
                <thead>
                <tr class="thead_tr">
                    <th class="th-01">序号</th>
                    <th class="th-02">关键词</th>
                    <th class="th-03"></th>
                </tr>
                </thead>
                <tbody>
"""

HOT_PAGE_TAIL = """                </tbody>
            </table>
        </div>
    </div>
    <div class="m-foot">
        <p>更新于每分钟 &copy; 示例数据，仅供本地演示</p>
    </div>
</div>
</body>
</html>
"""


def SearchKey(title):
    """The q= value of an entry: the topic in #...#, percent-encoded as UTF-8."""
    plain = title.replace("&amp;", "&")
    return urllib.parse.quote("#" + plain + "#", safe="")


def HotRow(rank_cell, href, title, span, icon):
    """One table row; the link and its text stand on one line, as in the real page."""
    lines = ["                <tr class=\"\">",
             "                    " + rank_cell,
             "                    <td class=\"td-02\">",
             "                        <a href=\"" + href + "\" target=\"_blank\">" + title + "</a>"]
    if span is not None:
        lines.append("                        <span>" + span + "</span>")
    lines.append("                    </td>")
    if icon is None:
        lines.append("                    <td class=\"td-03\"></td>")
    else:
        lines.append("                    <td class=\"td-03\"><i class=\"icon-txt icon-txt-"
                     + icon + "\">" + ICON_TEXTS[icon] + "</i></td>")
    lines.append("                </tr>")
    return "\n".join(lines) + "\n"


def HotPage():
    parts = [HOT_PAGE_HEAD]
    parts.append(HotRow("<td class=\"td-01\"><i class=\"icon-top\"></i></td>",
                        "/weibo?q=" + SearchKey(PINNED_TITLE) + "&Refer=new_time",
                        PINNED_TITLE, None, "recommend"))
    for rank, (title, category, heat, icon) in enumerate(HOT_ENTRIES, start=1):
        rank_class = "td-01 ranktop" if rank <= 3 else "td-01"
        span = ("" if category is None else category + " ") + str(heat)
        parts.append(HotRow("<td class=\"" + rank_class + "\">" + str(rank) + "</td>",
                            "/weibo?q=" + SearchKey(title) + "&t=31&band_rank=" + str(rank)
                            + "&Refer=top",
                            title, span, icon))
    parts.append(HOT_PAGE_TAIL)
    return "".join(parts).encode("utf-8")


# -------------------------------------------------------------------------------- flags

SIZE = 512
BAND_TOP, BAND_HEIGHT = 128, 256  # opaque flag band, transparent above and below

RED = (200, 16, 46)
WHITE = (255, 255, 255)
BLUE = (0, 36, 125)
YELLOW = (254, 204, 0)


class Canvas:
    """A flag of 512 x 256 pixels drawn as RGB rows; shapes are filled at pixel centres."""

    def __init__(self, colour):
        self.width, self.height = SIZE, BAND_HEIGHT
        self.rows = [[colour] * self.width for _ in range(self.height)]

    def Fill(self, inside, colour, box=None):
        x0, y0, x1, y1 = box if box else (0, 0, self.width, self.height)
        for y in range(max(0, y0), min(self.height, y1)):
            row = self.rows[y]
            for x in range(max(0, x0), min(self.width, x1)):
                if inside(x + 0.5, y + 0.5):
                    row[x] = colour

    def Rect(self, x0, y0, x1, y1, colour):
        self.Fill(lambda x, y: True, colour, (x0, y0, x1, y1))

    def Circle(self, cx, cy, r, colour):
        self.Fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour,
                  (int(cx - r), int(cy - r), int(cx + r) + 1, int(cy + r) + 1))

    def Polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            hit = False
            j = len(points) - 1
            for i, (xi, yi) in enumerate(points):
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    hit = not hit
                j = i
            return hit

        self.Fill(inside, colour, (int(min(xs)), int(min(ys)), int(max(xs)) + 1, int(max(ys)) + 1))

    def Star(self, cx, cy, outer, colour, points=5):
        inner = outer * 0.382
        corners = []
        for k in range(points * 2):
            r = outer if k % 2 == 0 else inner
            a = -math.pi / 2 + k * math.pi / points
            corners.append((cx + r * math.cos(a), cy + r * math.sin(a)))
        self.Polygon(corners, colour)


def DrawSweden():
    c = Canvas((0, 106, 167))
    c.Rect(160, 0, 208, 256, YELLOW)
    c.Rect(0, 104, 512, 152, YELLOW)
    return c


def DrawSpain():
    c = Canvas((170, 21, 27))
    c.Rect(0, 64, 512, 192, (241, 191, 0))
    return c


def DrawCanada():
    c = Canvas((216, 6, 33))
    c.Rect(128, 0, 384, 256, WHITE)
    # A simplified maple leaf: a broad star of eleven points over a short stem.
    c.Rect(250, 170, 262, 214, (216, 6, 33))
    leaf = []
    for k in range(22):
        r = 86 if k % 2 == 0 else 44
        a = -math.pi / 2 + k * math.pi / 11
        leaf.append((256 + r * math.cos(a), 124 + r * 0.9 * math.sin(a)))
    c.Polygon(leaf, (216, 6, 33))
    return c


def DrawUzbekistan():
    c = Canvas((0, 153, 181))
    c.Rect(0, 85, 512, 171, WHITE)
    c.Rect(0, 171, 512, 256, (30, 181, 58))
    c.Rect(0, 81, 512, 89, (206, 17, 38))
    c.Rect(0, 167, 512, 175, (206, 17, 38))
    c.Circle(70, 42, 30, WHITE)
    c.Circle(82, 42, 26, (0, 153, 181))
    for row, count in ((0, 3), (1, 4), (2, 5)):
        for k in range(count):
            c.Star(200 - k * 26, 18 + row * 24, 8, WHITE)
    return c


def DrawNewZealand():
    c = Canvas((1, 33, 105))
    # Union flag in the canton, simplified: white saltire and cross, red cross.
    c.Polygon([(0, 0), (20, 0), (256, 118), (256, 128), (236, 128), (0, 10)], WHITE)
    c.Polygon([(256, 0), (236, 0), (0, 118), (0, 128), (20, 128), (256, 10)], WHITE)
    c.Rect(106, 0, 150, 128, WHITE)
    c.Rect(0, 42, 256, 86, WHITE)
    c.Rect(116, 0, 140, 128, RED)
    c.Rect(0, 52, 256, 76, RED)
    for cx, cy, r in ((384, 56, 22), (340, 116, 20), (424, 104, 18), (384, 204, 24)):
        c.Star(cx, cy, r + 5, WHITE)
        c.Star(cx, cy, r, RED)
    return c


FLAG_DRAWINGS = {
    "CAN": DrawCanada,
    "ESP": DrawSpain,
    "NZL": DrawNewZealand,
    "SWE": DrawSweden,
    "UZB": DrawUzbekistan,
}


def PngChunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def FlagPng(canvas):
    """8-bit RGBA PNG, 512 x 512, the flag opaque in rows 128 to 383, transparent elsewhere."""
    clear = b"\x00" * (SIZE * 4)
    raw = bytearray()
    for y in range(SIZE):
        raw.append(0)  # filter type None
        band = y - BAND_TOP
        if 0 <= band < BAND_HEIGHT:
            for r, g, b in canvas.rows[band]:
                raw += bytes((r, g, b, 255))
        else:
            raw += clear
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + PngChunk(b"IHDR", header)
            + PngChunk(b"IDAT", zlib.compress(bytes(raw), 9)) + PngChunk(b"IEND", b""))


# --------------------------------------------------------------------------------- main

def Write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote", os.path.relpath(path, HERE), len(data), "bytes")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--realdata", default=os.environ.get("VELK_REALDATA", "/work/shared/realdata"))
    parser.add_argument("--out", default=HERE)
    args = parser.parse_args()

    records = MedalRecords(args.realdata)
    Write(os.path.join(args.out, "medals.jsonp"), MedalFeed(records))
    # Ranks 9 to 20: twelve teams whose first eight include codes outside the embedded
    # flags, so a demo with this feed exercises the flag downloads.
    mid_table = records[8:20]
    Write(os.path.join(args.out, "medals-rank9-20.jsonp"), MedalFeed(mid_table))

    Write(os.path.join(args.out, "hot-summary.html"), HotPage())
    Write(os.path.join(args.out, "velk1.txt"), b"0")

    needed = sorted({r["countryid"] for r in records[:8] + mid_table[:8]} - EMBEDDED_FLAG_CODES)
    missing = [code for code in needed if code not in FLAG_DRAWINGS]
    if missing:
        sys.exit("no drawing for flag codes: " + ", ".join(missing))
    for code in needed:
        Write(os.path.join(args.out, "flags", code + ".png"), FlagPng(FLAG_DRAWINGS[code]()))


if __name__ == "__main__":
    main()
