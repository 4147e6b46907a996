#!/usr/bin/python3
"""Writes the sample documents the PDF tests and the benchmark read.

Run with Debian's /usr/bin/python3 (python3-cairo); the fonts come from
fonts-ipamj-mincho (IPAmj明朝, which has 𠮷) and fonts-ipafont-gothic.

    make_fixtures.py fixtures [DIR]     the drug and checkup documents, each with a
                                        .txt of what a person reads on its pages
    make_fixtures.py bench FILE PAGES   a long drug-information document

The documents are made by cairo's PDF surface: FlateDecode content streams,
strings shown by Tj and TJ, an embedded CID TrueType font and a ToUnicode map
of bfchar entries.

One adjustment is needed for these documents to read like the clinic's: cairo
puts the first glyph it meets for each WinAnsi character (ASCII digits,
letters, "/", ...) into a separate one-byte font, while the documents the
readers are made for show every string in two-byte codes. So each page set
first shows, in white, one unrelated glyph per such character with that
character as its text; cairo spends the one-byte slots on those, and every
visible character then goes into the two-byte font. Their one-byte string is
the only thing a reader gets from them ("?" marks).
"""

import os
import sys

import cairo

FONT = "IPAmjMincho"
BENCH_FONT = "IPAGothic"
A4 = (595.0, 842.0)

# Glyphs for the one-byte slots: characters that the documents never show.
SPARE = "鬱鰻鯖鶴鷹麒麟黴鼈鼠齟齬龍龕亀亟亢亥亨亭丂丄丅丒丗丠丣丩丮丯丱丳丵丷丼乀乁乂乄乆乊乑乕乗乚乛乢乣乤乥乧乨乪乫乬乭乮乯乲乴乵乶乷乸乹乺乻乼乽乿亀亁亂亃亄亅亇亊亐亖亗亙亜亝亞亣亪亯亰亱亴亶亷亸亹亼亽亾仈仌仏仐仒仚仛仜仠仢仦仧仩仭仮仯仱仴仸仹仺仼仾伀伂伃伄伅伆伇伈伋伌伒伓伔伕伖伜伝伡伣伨伩伬伭伮伱伳伵伷伹伻伾伿佀佁佂佄佅佇佈佉佊佋佌佒佔佖佡佢佦佨佪佫佭佮佱佲併佷佸佹佺佽侀侁侂侅來侇侊侌侎侐侒侓侕侖侘侙侚侜侞侟価侢"


def one_byte_chars(texts):
    """The characters of the texts that cairo would give a one-byte code."""
    chars = sorted({ch for t in texts for ch in t if 0x20 <= ord(ch) < 0x100})
    others = {ch for t in texts for ch in t if ch in "–—…‘’“”•€™ŒœŠšŽžŸƒˆ˜‰‹›†‡"}
    if others:
        raise SystemExit("unexpected WinAnsi characters: %r" % sorted(others))
    return chars


def claim_one_byte_slots(ctx, texts):
    sf = ctx.get_scaled_font()
    used = set("".join(texts))
    spare = iter(ch for ch in SPARE if ch not in used)
    chars = one_byte_chars(texts)
    if len(chars) % 2:
        chars.append(next(ch for ch in "#$&+=@^~" if ch not in chars))
    glyphs = []
    x = 20.0
    for ch in chars:
        while True:
            g, _, _ = sf.text_to_glyphs(0, 0, next(spare), True)
            if g[0].index != 0:
                break
        glyphs.append(cairo.Glyph(g[0].index, x, 830))
        x += sf.glyph_extents([glyphs[-1]]).x_advance
    ctx.save()
    ctx.set_source_rgb(1, 1, 1)
    ctx.show_text_glyphs("".join(chars), glyphs, [cairo.TextCluster(1, 1)] * len(glyphs), 0)
    ctx.restore()


class Page:
    """A page as cells and rules. Each cell becomes one show_text call, so one
    string of the content stream."""

    def __init__(self):
        self.ops = []

    def cell(self, x, y, text, size=10.5, spaced=0.0):
        self.ops.append(("cell", x, y, text, size, spaced))

    def rule(self, x0, y0, x1, y1):
        self.ops.append(("rule", x0, y0, x1, y1))

    def texts(self):
        return [op[3] for op in self.ops if op[0] == "cell"]

    def draw(self, ctx):
        # Cells that share a baseline would be merged into one TJ array, and a
        # long array is wrapped over several lines of the content stream. Every
        # other cell's baseline is moved by an invisible 0.03 pt so that each
        # cell stays one short string on a line of its own.
        nudge = 0.0
        for op in self.ops:
            if op[0] == "rule":
                ctx.set_line_width(0.6)
                ctx.move_to(op[1], op[2])
                ctx.line_to(op[3], op[4])
                ctx.stroke()
                continue
            _, x, y, text, size, spaced = op
            if len(text) > 16:
                raise SystemExit("cell longer than 16 characters: " + text)
            nudge = 0.03 - nudge
            y += nudge
            ctx.set_font_size(size)
            if spaced:
                # Letter-spaced heading: glyph positions of their own, so
                # cairo writes a TJ array with adjustments.
                g, _, _ = ctx.get_scaled_font().text_to_glyphs(x, y, text, True)
                ctx.show_glyphs([cairo.Glyph(gl.index, x + i * (size + spaced), y)
                                 for i, gl in enumerate(g)])
            else:
                ctx.move_to(x, y)
                ctx.show_text(text)

    def reading(self):
        """The page as a person reads it: rows from the top, cells from the left."""
        rows = {}
        for op in self.ops:
            if op[0] == "cell":
                rows.setdefault(round(op[2]), []).append((op[1], op[3]))
        return ["　".join(t for _, t in sorted(rows[y])) for y in sorted(rows)]


def render(path, font, pages, title=None):
    surface = cairo.PDFSurface(path, *A4)
    if title:
        surface.set_metadata(cairo.PDF_METADATA_TITLE, title)
    ctx = cairo.Context(surface)
    ctx.select_font_face(font)
    ctx.set_font_size(10.5)
    claim_one_byte_slots(ctx, [t for p in pages for t in p.texts()])
    for p in pages:
        p.draw(ctx)
        ctx.show_page()
    surface.finish()
    return [p.reading() for p in pages]


NAME = "𠮷田　太郎"


def drug_document(path, patient_id="12345"):
    history = [
        ("みなと内科クリニック", ["2024年4月", "2024年5月"]),
        ("さくら調剤薬局", ["24年5月"]),
        ("中央総合病院", ["2024年6月", "2024年7月"]),
    ]
    drugs = [
        ("2024年5月10日", "みなと内科クリニック", "アムロジピン錠５ｍｇ", "1錠", "28日分"),
        ("2024年5月10日", "みなと内科クリニック", "ロスバスタチン錠２．５ｍｇ", "1錠", "28日分"),
        ("2024年6月21日", "中央総合病院", "ランソプラゾールＯＤ錠１５ｍｇ", "1錠", "14日分"),
    ]
    p1 = Page()
    p1.cell(200, 70, "薬剤情報", size=18, spaced=10)
    p1.cell(60, 110, "患者氏名")
    p1.cell(140, 110, NAME)
    p1.cell(360, 110, "患者番号")
    p1.cell(430, 110, patient_id)
    p1.cell(360, 128, "作成日")
    p1.cell(430, 128, "2024/08/01")
    p1.cell(60, 160, "目次", size=12)
    p1.cell(80, 180, "１　処方・調剤情報")
    p1.cell(80, 198, "２　受診歴")
    p1.rule(60, 215, 535, 215)
    p1.cell(60, 240, "１　処方・調剤情報", size=12)
    y = 265
    for row in drugs:
        for x, t in zip((60, 150, 290, 450, 490), row):
            p1.cell(x, y, t, size=9)
        y += 18
    p1.cell(280, 800, "1/2", size=8)

    p2 = Page()
    p2.cell(60, 70, "２　受診歴", size=12)
    y = 95
    for inst, months in history:
        p2.cell(60, y, inst)
        for i, m in enumerate(months):
            p2.cell(260 + 80 * i, y, m)
        y += 20
    p2.rule(60, y, 535, y)
    p2.cell(60, y + 20, "*1", size=8)
    p2.cell(75, y + 20, "受診歴は医療機関の請求による。", size=8)
    p2.cell(280, 800, "2/2", size=8)
    return render(path, FONT, [p1, p2], "薬剤情報")


def checkup_document(path, patient_id="12345"):
    results = [
        ("身長", "170.2", "cm"),
        ("体重", "65.0", "kg"),
        ("腹囲", "84.5", "cm"),
        ("BMI", "22.5", ""),
        ("収縮期血圧", "128", "mmHg"),
        ("拡張期血圧", "82", "mmHg"),
        ("HbA1c", "5.6", "%"),
    ]
    p = Page()
    p.cell(150, 70, "特定健康診査結果通知表", size=18)
    p.cell(360, 100, "発行日")
    p.cell(430, 100, "2024/08/01")
    p.cell(60, 130, "受診者")
    p.cell(140, 130, NAME)
    p.cell(360, 130, "受診者番号")
    p.cell(440, 130, patient_id)
    p.cell(60, 160, "健診実施日")
    p.cell(160, 160, "2024/06/03")
    p.cell(60, 180, "健診実施機関")
    p.cell(160, 180, "みなと健診センター")
    p.cell(60, 200, "前回受診日")
    p.cell(160, 200, "2023/06/05")
    p.rule(60, 215, 535, 215)
    y = 240
    for item, value, unit in results:
        p.cell(80, y, item)
        p.cell(220, y, value)
        if unit:
            p.cell(270, y, unit)
        y += 20
    p.rule(60, y, 535, y)
    p.cell(60, y + 25, "次回健診予定")
    p.cell(160, y + 25, "2025/06/01")
    return render(path, FONT, [p], "特定健康診査結果")


def bench_document(path, pages):
    """A long drug-information document: dispensing rows over many pages."""
    institutions = ["みなと内科クリニック", "さくら調剤薬局", "中央総合病院", "あおば整形外科",
                    "ひかり眼科医院", "北町こどもクリニック", "南台歯科医院", "東山皮膚科"]
    drugs = ["アムロジピン錠５ｍｇ", "ロスバスタチン錠２．５ｍｇ", "ランソプラゾールＯＤ錠１５ｍｇ",
             "メトホルミン塩酸塩錠２５０ｍｇ", "カンデサルタン錠８ｍｇ", "レバミピド錠１００ｍｇ"]
    all_pages = []
    for n in range(pages):
        p = Page()
        p.cell(60, 50, "薬剤情報　%d/%d" % (n + 1, pages), size=12)
        y = 80
        for row in range(36):
            k = n * 36 + row
            p.cell(60, y, institutions[k % len(institutions)], size=9)
            p.cell(200, y, "%d年%d月%d日" % (2020 + k % 5, 1 + k % 12, 1 + k % 28), size=9)
            p.cell(290, y, drugs[k % len(drugs)], size=9)
            p.cell(470, y, "%d錠" % (1 + k % 3), size=9)
            p.cell(505, y, "%d日分" % (7 * (1 + k % 4)), size=9)
            y += 20
        all_pages.append(p)
    render(path, BENCH_FONT, all_pages)


def write_reading(path, pages):
    with open(path, "w", encoding="utf-8") as f:
        for i, rows in enumerate(pages):
            if i:
                f.write("\f\n")
            f.write("\n".join(rows) + "\n")


def main(argv):
    if len(argv) >= 2 and argv[1] == "fixtures":
        out = argv[2] if len(argv) > 2 else os.path.dirname(os.path.abspath(__file__))
        drug = os.path.join(out, "YZK_12345X_20240801.pdf")
        write_reading(drug[:-4] + ".txt", drug_document(drug))
        checkup = os.path.join(out, "TKK_12345X_20240801.pdf")
        write_reading(checkup[:-4] + ".txt", checkup_document(checkup))
        return 0
    if len(argv) == 4 and argv[1] == "bench":
        bench_document(argv[2], int(argv[3]))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
