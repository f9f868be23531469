#!/usr/bin/env python3
"""The wrong-password check never cries wolf: makes legitimate files in the
forms applications write, with Debian's own tools, and has the probe judge
each one under its name and under the name in upper case, with the right
password and with a wrong one.

    plausibility_corpus.py PROBE [--keep FOLDER]

Fails on any false alarm, when fewer than 99 % of the judged files' wrong
passwords are caught, or when the corpus falls short of 300 files of 60
kinds although every tool was there. A missing tool only shrinks the corpus.
"""

import gzip
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

MIN_FILES, MIN_KINDS, MIN_CAUGHT = 300, 60, 0.99

# Repeatable contents for the parts that stand for data (pictures, payloads).
NOISE = random.Random(1)


def noise(size):
    return NOISE.randbytes(size)


class Missing(Exception):
    pass


class Corpus:
    def __init__(self, folder):
        self.folder = folder
        self.files = []

    def path(self, name):
        return os.path.join(self.folder, name)

    def add(self, name):
        if not os.path.isfile(self.path(name)):
            raise SystemExit("plausibility_corpus: %s was not made" % name)
        self.files.append(name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        self.add(name)

    def run(self, *argv, stdin=None, out=None, cwd=None):
        """Runs a tool in the corpus folder; its output goes to the file `out`."""
        if not shutil.which(argv[0]):
            raise Missing(argv[0])
        result = subprocess.run(argv, input=stdin, cwd=cwd or self.folder,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if result.returncode != 0:
            raise SystemExit("plausibility_corpus: %s failed: %s" % (" ".join(argv), result.stderr.decode()[-500:]))
        if out:
            self.write(out, result.stdout)
        return result.stdout

    def made(self, *names):
        for name in names:
            self.add(name)


FORMS = []


def form(make):
    FORMS.append(make)
    return make


# ---- text --------------------------------------------------------------------------------

PROSE = {
    "cs": "Příliš žluťoučký kůň úpěl ďábelské ódy. Hleď, toť přízračný kůň v mátožné póze šíleně úpí.\n",
    "ru": "Съешь же ещё этих мягких французских булок, да выпей чаю. В чащах юга жил бы цитрус?\n",
    "el": "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία. Τάχιστη αλώπηξ βαφής ψημένη γη, δρασκελίζει.\n",
    "zh": "我能吞下玻璃而不伤身体。天地玄黄，宇宙洪荒。日月盈昃，辰宿列张。\n",
    "tw": "我能吞下玻璃而不傷身體。天地玄黃，宇宙洪荒。日月盈昃，辰宿列張。\n",
    "ja": "いろはにほへと　ちりぬるを。私はガラスを食べられます。それは私を傷つけません。\n",
    "ko": "나는 유리를 먹을 수 있어요. 그래도 아프지 않아요. 다람쥐 헌 쳇바퀴에 타고파.\n",
    "de": "Zwölf Boxkämpfer jagen Viktor quer über den großen Sylter Deich.\n",
    "en": "The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs.\n",
    "ar": "أنا قادر على أكل الزجاج و هذا لا يؤلمني. صِف خَلقَ خَودِ كَمِثلِ الشَمسِ إِذ بَزَغَت.\n",
    "he": "אני יכול לאכול זכוכית וזה לא מזיק לי. דג סקרן שט בים מאוכזב ולפתע מצא חברה.\n",
}

# The encodings text files of each language come in, as iconv names them.
# UTF-16LE and UTF-16BE are written without a byte order mark.
ENCODINGS = {
    "cs": ["UTF-8", "UTF-16LE", "UTF-16BE", "UTF-16", "UTF-32LE", "ISO-8859-2", "CP1250", "CP852"],
    "ru": ["UTF-8", "UTF-16LE", "UTF-16BE", "UTF-32BE", "KOI8-R", "CP1251", "CP866", "ISO-8859-5"],
    "el": ["UTF-8", "UTF-16LE", "UTF-16BE", "ISO-8859-7", "CP1253"],
    "zh": ["UTF-8", "UTF-16LE", "UTF-16BE", "UTF-16", "GB18030", "GB2312", "ISO-2022-CN"],
    "tw": ["UTF-16LE", "BIG5"],
    "ja": ["UTF-8", "UTF-16LE", "UTF-16BE", "SHIFT_JIS", "EUC-JP", "ISO-2022-JP"],
    "ko": ["UTF-8", "UTF-16LE", "EUC-KR", "ISO-2022-KR"],
    "de": ["UTF-8", "ISO-8859-1", "CP437", "IBM037", "UTF-7", "UTF-32"],
    "en": ["ASCII", "UTF-16LE", "UTF-16BE", "IBM037"],
    "ar": ["UTF-8", "UTF-16LE", "CP1256", "ISO-8859-6"],
    "he": ["UTF-8", "UTF-16BE", "CP1255", "ISO-8859-8"],
}


def encoded(c, text, encoding):
    return c.run("iconv", "-f", "UTF-8", "-t", encoding, stdin=text.encode())


@form
def prose(c):
    for lang, encodings in ENCODINGS.items():
        for times in (1, 40):  # a line, and a page longer than the text the check reads
            for encoding in encodings:
                c.write("%s-%s-%d.txt" % (lang, encoding.lower(), times), encoded(c, PROSE[lang] * times, encoding))


@form
def documents(c):
    """Text files of many kinds, in the encodings their writers use."""
    rows = "".join("%d,Novák %d,Praha,%d.50\n" % (i, i, i * 7) for i in range(200))
    page = ("<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-16\"><title>Тест</title></head>\n"
            "<body><p>%s</p></body></html>\n" % (PROSE["ru"] * 20))
    xml = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<kniha>%s</kniha>\n" % (PROSE["cs"] * 20)
    subtitles = "".join("%d\n00:00:%02d,000 --> 00:00:%02d,500\n%s\n" % (i + 1, i, i, PROSE["el"].strip())
                        for i in range(30))
    c.write("tabulka.csv", rows.encode())
    c.write("tabulka-excel.csv", "\ufeff".encode("utf-16-le") + rows.replace(",", "\t").encode("utf-16-le"))
    c.write("tabulka.tsv", rows.replace(",", "\t").encode("cp1250"))
    c.write("stranka.html", page.encode("utf-16-le"))
    c.write("stranka.htm", page.encode("utf-8"))
    c.write("kniha.xml", xml.encode("utf-16-be"))
    c.write("kniha-utf8.xml", xml.replace("UTF-16", "UTF-8").encode())
    c.write("titulky.srt", subtitles.encode("utf-16-le"))
    c.write("titulky-cp1253.srt", subtitles.encode("cp1253"))
    c.write("titulky.vtt", ("WEBVTT\n\n" + subtitles.replace(",", ".")).encode())
    c.write("data.json", ('{"jméno": "%s", "čísla": [%s]}\n' % (PROSE["cs"].strip(), ", ".join(map(str, range(300))))).encode())
    c.write("poznamky.md", ("# Poznámky\n\n" + PROSE["cs"] * 30).encode())
    c.write("system.log", "".join("Dec  9 08:%02d:00 host kernel: [%d] usb 1-1: new device\n" % (i % 60, i)
                                  for i in range(400)).encode())
    c.write("nastaveni.reg", "\ufeffWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Trezorka]\r\n"
            "\"Jméno\"=\"Novák\"\r\n".encode("utf-16-le"))
    c.write("kontakt.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Jan Novák\r\nTEL:+420 123 456 789\r\nEND:VCARD\r\n".encode())
    c.write("schuzka.ics", "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nSUMMARY:Porada\r\nDTSTART:20240101T090000Z\r\n"
            "END:VEVENT\r\nEND:VCALENDAR\r\n".encode())
    c.write("dopis.eml", ("From: jan@example.cz\r\nTo: eva@example.cz\r\nSubject: =?utf-8?q?Dopis?=\r\n"
                          "Content-Type: text/plain; charset=iso-8859-2\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                          + PROSE["cs"] * 10).encode("iso-8859-2"))
    c.write("dopis.rtf", ("{\\rtf1\\ansi\\ansicpg1250\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 "
                          "P\\'f8\\'edli\\'b9 \\'9elu\\'9dou\\'e8k\\'fd k\\'f9\\'f2.\\par}\n").encode())
    c.write("clanek.tex", ("\\documentclass{article}\n\\usepackage[czech]{babel}\n\\begin{document}\n%s\\end{document}\n"
                           % (PROSE["cs"] * 5)).encode())
    c.write("styl.css", "body { font-family: sans-serif; }\n/* Příliš žluťoučký */\n".encode() * 20)
    c.write("skript.js", "// Výpočet\nfunction f(x) { return x * 2; }\n".encode() * 20)
    c.write("skript.py", "#!/usr/bin/env python3\n# -*- coding: utf-8 -*-\nprint('Příliš žluťoučký kůň')\n".encode())
    c.write("program.c", "#include <stdio.h>\n/* Příliš */\nint main(void) { puts(\"kůň\"); return 0; }\n".encode("cp1250"))
    c.write("hlavicka.h", "#pragma once\nint f(int);\n".encode() * 10)
    c.write("nastaveni.yaml", "jmeno: Novák\nseznam:\n  - jedna\n  - dva\n".encode() * 10)
    c.write("nastaveni.toml", "[server]\nport = 8080\nname = \"Novák\"\n".encode())
    c.write("obrazek.svg", ("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\">"
                            "<rect width=\"10\" height=\"10\" fill=\"red\"/></svg>\n").encode())
    c.write("spoustec.desktop", "[Desktop Entry]\nType=Application\nName=Trezorka\nExec=trezorka %f\n".encode())
    c.write("preklad.po", ("msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                           "msgid \"Hello\"\nmsgstr \"Ahoj, světe\"\n").encode())
    c.write("zmena.diff", ("--- a/kniha.txt\n+++ b/kniha.txt\n@@ -1 +1 @@\n-%s+%s" % (PROSE["cs"], PROSE["de"])).encode())


@form
def separated(c):
    """Fields and records separated by control characters, as databases export them."""
    hive = "".join("%d\x01Novák %d\x01Praha\x01a\x02b\x02c\x01k1\x03v1\x02k2\x03v2\n" % (i, i) for i in range(300))
    c.write("hive-export.txt", hive.encode())
    c.write("hive-export.csv", hive.encode())
    c.write("hive-export-short.txt", "1\x01Jan\x01Praha\n2\x01Eva\x01Brno\n".encode())
    c.write("zaznamy.txt", "".join("%d\x1fNovák\x1fPraha\x1e" % i for i in range(300)).encode())
    names = b"".join(b"./slozka/soubor-%d.txt\0" % i for i in range(400))
    c.write("seznam-print0.txt", names)
    c.write("pagebreaks.txt", ("Strana\f" + PROSE["en"]).encode() * 20)


@form
def scripts(c):
    """A self-extracting shell script: text, then its payload."""
    os.makedirs(c.path("balik"), exist_ok=True)
    with open(c.path("balik/install.sh"), "w") as f:
        f.write("#!/bin/sh\necho installed\n")
    os.chmod(c.path("balik/install.sh"), 0o755)
    c.run("makeself", "--quiet", "balik", "instalator.sh", "Instalace", "./install.sh")
    c.run("makeself", "--quiet", "--xz", "balik", "instalator.run", "Instalace", "./install.sh")
    c.made("instalator.sh", "instalator.run")
    c.run("groff", "-Tps", "-man", stdin=b".TH TEST 1\n.SH NAME\ntest \\- a test\n.SH DESCRIPTION\n" * 30,
          out="manual.ps")


# ---- office documents ------------------------------------------------------------------------

def ooxml(kind):
    parts = {"docx": ("word/document.xml", "application/vnd.openxmlformats-officedocument.wordprocessingml."
                                           "document.main+xml"),
             "xlsx": ("xl/workbook.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"),
             "pptx": ("ppt/presentation.xml", "application/vnd.openxmlformats-officedocument.presentationml."
                                              "presentation.main+xml")}
    part, content_type = parts[kind]
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
                   "package/2006/content-types\"><Override PartName=\"/%s\" ContentType=\"%s\"/></Types>"
                   % (part, content_type))
        z.writestr("_rels/.rels", "<?xml version=\"1.0\"?><Relationships/>")
        z.writestr(part, "<?xml version=\"1.0\"?><document>%s</document>" % (PROSE["cs"] * 50))
    return out.getvalue()


def opendocument(mimetype, extra=b""):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        z.writestr("mimetype", mimetype, zipfile.ZIP_STORED)
        z.writestr("content.xml", "<?xml version=\"1.0\"?><office:document-content>%s</office:document-content>"
                   % (PROSE["cs"] * 50), zipfile.ZIP_DEFLATED)
        z.writestr("META-INF/manifest.xml", "<?xml version=\"1.0\"?><manifest/>", zipfile.ZIP_DEFLATED)
        if extra:
            z.writestr("Pictures/noise.bin", extra, zipfile.ZIP_STORED)
    return out.getvalue()


@form
def office(c):
    for kind in ("docx", "xlsx", "pptx"):
        c.write("dokument." + kind, ooxml(kind))
    c.write("makra.docm", ooxml("docx"))
    c.write("makra.xlsm", ooxml("xlsx"))
    for ext, mimetype in (("odt", "text"), ("ods", "spreadsheet"), ("odp", "presentation"), ("odg", "graphics")):
        c.write("dokument." + ext, opendocument("application/vnd.oasis.opendocument." + mimetype))
    c.write("velky.odt", opendocument("application/vnd.oasis.opendocument.text", noise(100000)))
    c.write("kniha.epub", opendocument("application/epub+zip"))
    c.write("velka.docx", ooxml("docx"))
    with zipfile.ZipFile(c.path("velka.docx"), "a") as z:  # a picture makes it larger than the bytes read
        z.writestr("word/media/image1.bin", noise(120000), zipfile.ZIP_STORED)


@form
def office_ole(c):
    """Password-protected Office documents are OLE compound files holding the
    encrypted package; old-format documents are OLE files with their own
    streams. libgsf writes the containers."""
    if not shutil.which("gsf"):
        raise Missing("gsf")
    folder = c.path("ole")
    os.makedirs(folder, exist_ok=True)
    streams = {
        "EncryptionInfo": b"\x04\x00\x04\x00\x40\x00\x00\x00<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                          b"<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\"/>",
        "EncryptedPackage": struct.pack("<Q", 30000) + noise(30016),
        "WordDocument": b"\xec\xa5\xc1\x00" + noise(5000),
        "Workbook": b"\x09\x08\x10\x00\x00\x06\x05\x00" + noise(5000),
        "PowerPoint Document": noise(5000),
    }
    for name, data in streams.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    for name in ("zasifrovany.docx", "zasifrovany.xlsx", "zasifrovany.pptx", "zasifrovany.docm", "zasifrovany.xlsb"):
        c.run("gsf", "createole", c.path(name), "EncryptionInfo", "EncryptedPackage", cwd=folder)
        c.add(name)
    for name, stream in (("stary.doc", "WordDocument"), ("sablona.dot", "WordDocument"), ("stary.xls", "Workbook"),
                         ("sablona.xlt", "Workbook"), ("stara.ppt", "PowerPoint Document"),
                         ("prezentace.pps", "PowerPoint Document")):
        c.run("gsf", "createole", c.path(name), stream, cwd=folder)
        c.add(name)
    # What web applications export under Office names: HTML and text.
    c.write("export.xls", "<html><body><table><tr><td>Novák</td><td>12</td></tr></table></body></html>\n".encode())
    c.write("export-tab.xls", "jméno\tčástka\nNovák\t12\n".encode("cp1250") * 20)
    c.write("dopis.doc", ("{\\rtf1\\ansi Dopis.\\par}\n").encode())


# ---- archives and compressed files ---------------------------------------------------------------

@form
def zips(c):
    c.run("zip", "-q", "-r", "archiv.zip", "cs-utf-8-40.txt", "ru-koi8-r-40.txt")
    c.run("zip", "-q", "-0", "ulozeny.zip", "cs-utf-8-40.txt")
    c.run("zip", "-q", "-P", "tajne", "sifrovany.zip", "cs-utf-8-40.txt")
    c.run("zip", "-q", "-fz", "zip64.zip", "cs-utf-8-40.txt")
    c.run("zip", "-q", "-", "cs-utf-8-40.txt", out="proud.zip")
    c.made("archiv.zip", "ulozeny.zip", "sifrovany.zip", "zip64.zip")
    for name, method in (("python-deflate.zip", zipfile.ZIP_DEFLATED), ("python-bzip2.zip", zipfile.ZIP_BZIP2),
                         ("python-lzma.zip", zipfile.ZIP_LZMA)):
        with zipfile.ZipFile(c.path(name), "w", method) as z:
            z.writestr("a.txt", PROSE["cs"] * 100)
        c.add(name)
    with zipfile.ZipFile(c.path("prazdny.zip"), "w"):
        pass  # an empty zip: the end record alone, 22 bytes
    c.add("prazdny.zip")
    with zipfile.ZipFile(c.path("velky.zip"), "w") as z:
        z.writestr("noise.bin", noise(200000))
    c.add("velky.zip")
    for name in ("aplikace.jar", "doplnek.xpi", "komiks.cbz", "mapa.kmz", "aplikace.apk"):
        with zipfile.ZipFile(c.path(name), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\nMain-Class: Main\n")
            z.writestr("Main.class", noise(3000))
        c.add(name)
    # An executable jar: a shell launcher in front of the zip.
    launcher = b"#!/bin/sh\nexec java -jar \"$0\" \"$@\"\nexit 1\n"
    with open(c.path("aplikace.jar"), "rb") as f:
        c.write("spustitelna.jar", launcher + f.read())
    # Self-extracting archives: the extractor in front, offsets adjusted by zip -A.
    if shutil.which("unzipsfx"):
        with open(shutil.which("unzipsfx"), "rb") as sfx, open(c.path("archiv.zip"), "rb") as z:
            c.write("samorozbalovaci.zip", sfx.read() + z.read())
        c.run("zip", "-q", "-A", "samorozbalovaci.zip")
    with open(c.path("archiv.zip"), "rb") as z:
        c.write("samorozbalovaci-kratky.zip", b"MZ" + noise(3000) + z.read())
    c.run("7zz", "a", "-tzip", "-bd", "sedm.zip", "cs-utf-8-40.txt")
    c.made("sedm.zip")
    # A split archive: the first pieces are .z01 ..., the last one keeps the name.
    with open(c.path("sum.bin"), "wb") as f:
        f.write(noise(300000))
    c.run("zip", "-q", "-s", "100k", "deleny.zip", "sum.bin")
    c.made("deleny.zip")


@form
def tars(c):
    for fmt in ("v7", "ustar", "gnu", "oldgnu", "posix"):
        c.run("tar", "--format=" + fmt, "-cf", "archiv-%s.tar" % fmt, "cs-utf-8-40.txt", "de-cp437-40.txt")
        c.made("archiv-%s.tar" % fmt)
    c.run("tar", "--format=v7", "-cf", "komiks.cbt", "cs-utf-8-40.txt")
    c.run("tar", "-czf", "archiv.tar.gz", "cs-utf-8-40.txt")
    c.run("tar", "-czf", "archiv.tgz", "cs-utf-8-40.txt")
    c.run("tar", "-cjf", "archiv.tar.bz2", "cs-utf-8-40.txt")
    c.run("tar", "-cJf", "archiv.tar.xz", "cs-utf-8-40.txt")
    c.made("komiks.cbt", "archiv.tar.gz", "archiv.tgz", "archiv.tar.bz2", "archiv.tar.xz")


COMPRESSORS = [
    ("gzip", ["gzip", "-c"], ".gz"), ("gzip -n", ["gzip", "-n", "-9", "-c"], ".gz"),
    ("bzip2", ["bzip2", "-c"], ".bz2"), ("xz", ["xz", "-c"], ".xz"), ("xz-nocheck", ["xz", "-C", "none", "-c"], ".xz"),
    ("lzma", ["xz", "--format=lzma", "-c"], ".lzma"), ("zstd", ["zstd", "-q", "-c"], ".zst"),
    ("zstd-nocheck", ["zstd", "-q", "--no-check", "-c"], ".zst"), ("pzstd", ["pzstd", "-q", "-p", "2", "-c"], ".zst"),
    ("lz4", ["lz4", "-q", "-c"], ".lz4"), ("lz4-legacy", ["lz4", "-q", "-l", "-c"], ".lz4"),
    ("lzip", ["lzip", "-c"], ".lz"), ("lzop", ["lzop", "-c"], ".lzo"), ("compress", ["compress", "-c"], ".Z"),
]


@form
def compressed(c):
    with open(c.path("ru-utf-8-40.txt"), "rb") as f:
        text = f.read()
    tar = c.run("tar", "-cf", "-", "cs-utf-8-40.txt", "ru-utf-8-40.txt")
    for label, argv, suffix in COMPRESSORS:
        try:
            c.write("text-%s.txt%s" % (label.replace(" ", ""), suffix), c.run(*argv, stdin=text))
            c.write("archiv-%s.tar%s" % (label.replace(" ", ""), suffix), c.run(*argv, stdin=tar))
        except Missing:
            continue
    c.write("dvakrat.gz", gzip.compress(b"first\n", mtime=0) + gzip.compress(b"second\n", mtime=0))
    c.write("zprava.ps.gz", gzip.compress(open(c.path("manual.ps"), "rb").read()))
    c.write("obrazek.svgz", gzip.compress(open(c.path("obrazek.svg"), "rb").read()))
    frames = c.run("zstd", "-q", "-c", stdin=b"one\n" * 100) + c.run("zstd", "-q", "-c", stdin=b"two\n" * 100)
    c.write("ramce.zst", frames)


@form
def other_archives(c):
    c.run("7zz", "a", "-bd", "archiv.7z", "cs-utf-8-40.txt")
    c.run("7zz", "a", "-bd", "-mhe=on", "-ptajne", "sifrovany.7z", "cs-utf-8-40.txt")
    c.run("7zz", "a", "-bd", "komiks.cb7", "cs-utf-8-40.txt")
    c.made("archiv.7z", "sifrovany.7z", "komiks.cb7")
    c.run("gcab", "-c", "archiv.cab", "cs-utf-8-40.txt")
    c.run("gcab", "-c", "-z", "komprimovany.cab", "cs-utf-8-40.txt")
    c.made("archiv.cab", "komprimovany.cab")
    for fmt in ("newc", "odc", "bin", "crc"):
        c.run("cpio", "--quiet", "-o", "-H", fmt, stdin=b"cs-utf-8-40.txt\n", out="archiv-%s.cpio" % fmt)
    c.run("ar", "rc", "knihovna.a", "cs-utf-8-40.txt", "de-cp437-40.txt")
    c.run("ar", "rcT", "tenka.a", "cs-utf-8-40.txt")
    c.made("knihovna.a", "tenka.a")
    package = c.path("balicek")
    os.makedirs(os.path.join(package, "DEBIAN"), exist_ok=True)
    with open(os.path.join(package, "DEBIAN", "control"), "w") as f:
        f.write("Package: test\nVersion: 1.0\nArchitecture: all\nMaintainer: x <x@example.com>\nDescription: test\n")
    for compression in ("xz", "gzip", "none"):
        c.run("dpkg-deb", "--root-owner-group", "-Z" + compression, "--build", "balicek", "balicek-%s.deb" % compression)
        c.made("balicek-%s.deb" % compression)


# ---- images, sound, fonts --------------------------------------------------------------------------

IMAGES = ["png", "png48:obr-48.png", "jpg", "gif", "gif87:obr-87.gif", "bmp", "bmp2:obr-2.bmp",
          "bmp3:obr-3.bmp", "tif", "tiff64:obr-big.tif", "webp", "ico", "cur", "pcx", "ppm", "pgm", "pbm", "pnm",
          "xpm", "xbm", "tga", "psd", "sgi", "sun", "dds", "jp2", "j2k", "mng", "fits", "xwd", "pct", "wbmp", "miff",
          "pam"]


@form
def images(c):
    argv = ["convert", "-seed", "1", "-size", "120x80", "plasma:fractal"]
    for spec in IMAGES:
        target = spec.split(":", 1)[0] + ":" + spec.split(":", 1)[1] if ":" in spec else "obr." + spec
        argv += ["-write", target]
    argv += ["-compress", "none", "-write", "obr-text.ppm", "-write", "obr-text.pbm", "-compress", "LZW",
             "-write", "obr-lzw.tif", "-endian", "MSB", "-write", "obr-msb.tif", "-interlace", "Plane",
             "-write", "obr-progresivni.jpg", "obr-posledni.png"]
    c.run(*argv)
    c.run("convert", "-size", "400x400", "plasma:", "velky.png")
    c.run("convert", "obr.png", "-colors", "16", "obr-paleta.png")
    c.made(*[s.split(":", 1)[1] if ":" in s else "obr." + s for s in IMAGES])
    c.made("obr-text.ppm", "obr-text.pbm", "obr-lzw.tif", "obr-msb.tif", "obr-progresivni.jpg", "obr-posledni.png",
           "velky.png", "obr-paleta.png")


SOUNDS = ["zvuk.wav:-b 16", "zvuk-8bit.wav:-b 8 -e unsigned", "zvuk-float.wav:-e floating-point",
          "zvuk-ulaw.wav:-e u-law", "zvuk-adpcm.wav:-e ima-adpcm", "zvuk.aiff", "zvuk.aifc", "zvuk.au", "zvuk.snd",
          "zvuk.voc", "zvuk.8svx", "zvuk.flac", "zvuk.ogg", "zvuk.wv", "zvuk.caf", "zvuk.w64"]


@form
def sounds(c):
    for spec in SOUNDS:
        name, _, options = spec.partition(":")
        c.run("sox", "-n", "-r", "8000", "-c", "1", *options.split(), name, "synth", "1", "sine", "440")
        c.add(name)
    c.run("flac", "-s", "-f", "-o", "flac-tool.flac", "zvuk.wav")
    c.run("oggenc", "-Q", "-o", "vorbis.oga", "zvuk.wav")
    c.run("opusenc", "--quiet", "zvuk.wav", "hlas.opus")
    c.run("lame", "--quiet", "zvuk.wav", "bez-tagu.mp3")
    c.run("lame", "--quiet", "--tt", "Píseň", "--id3v2-only", "zvuk.wav", "s-tagem.mp3")
    c.made("flac-tool.flac", "vorbis.oga", "hlas.opus", "bez-tagu.mp3", "s-tagem.mp3")
    # A tagger's ID3v2 tag in front of a FLAC file.
    frame = b"TIT2" + struct.pack(">I", 7) + b"\0\0\0Song!\0"
    tag = b"ID3\x03\x00\x00" + bytes([0, 0, 0, len(frame)]) + frame
    with open(c.path("zvuk.flac"), "rb") as f:
        c.write("s-tagem.flac", tag + f.read())
    # A MIDI file: header and one track with a note.
    track = b"\x00\x90\x3c\x40\x60\x80\x3c\x40\x00\xff\x2f\x00"
    c.write("melodie.mid", b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"MTrk" + struct.pack(">I", len(track)) + track)


@form
def fonts(c):
    try:
        from fontTools.fontBuilder import FontBuilder
        from fontTools.pens.ttGlyphPen import TTGlyphPen
        from fontTools.pens.t2CharStringPen import T2CharStringPen
    except ImportError:
        raise Missing("python3-fonttools")
    for flavor, name in (("ttf", "pismo.ttf"), ("otf", "pismo.otf")):
        fb = FontBuilder(1000, isTTF=flavor == "ttf")
        fb.setupGlyphOrder([".notdef", "A"])
        fb.setupCharacterMap({65: "A"})
        if flavor == "ttf":
            pen = TTGlyphPen(None)
            pen.moveTo((0, 0)), pen.lineTo((500, 700)), pen.lineTo((1000, 0)), pen.closePath()
            fb.setupGlyf({".notdef": pen.glyph(), "A": pen.glyph()})
        else:
            pen = T2CharStringPen(1000, None)
            pen.moveTo((0, 0)), pen.lineTo((500, 700)), pen.lineTo((1000, 0)), pen.closePath()
            fb.setupCFF("Pismo", {}, {".notdef": pen.getCharString(), "A": pen.getCharString()}, {})
        fb.setupHorizontalMetrics({".notdef": (1000, 0), "A": (1000, 0)})
        fb.setupHorizontalHeader(ascent=800, descent=-200)
        fb.setupNameTable({"familyName": "Pismo", "styleName": "Regular"})
        fb.setupOS2()
        fb.setupPost()
        fb.save(c.path(name))
        c.add(name)
        for web in ("woff", "woff2"):
            try:
                fb.font.flavor = web
                fb.save(c.path("pismo-%s.%s" % (flavor, web)))
                c.add("pismo-%s.%s" % (flavor, web))
            except ImportError:
                pass  # woff2 needs brotli
            fb.font.flavor = None


# ---- other kinds ------------------------------------------------------------------------------------

def minimal_pdf():
    """One page, with the cross-reference table a reader needs."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>",
               b"<< /Length 35 >>\nstream\nBT /F1 12 Tf 20 100 Td (Ahoj) Tj ET\nendstream"]
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (number, body)
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


@form
def pdfs(c):
    c.write("zdroj.pdf", minimal_pdf())
    for name, options in (("linearizovany.pdf", ["--linearize"]), ("objekty.pdf", ["--object-streams=generate"]),
                          ("qdf.pdf", ["--qdf"]), ("sifrovany.pdf", ["--encrypt", "u", "o", "256", "--"]),
                          ("komprimovany.pdf", ["--compress-streams=y", "--recompress-flate"])):
        c.run("qpdf", *options, "zdroj.pdf", name)
        c.add(name)


@form
def binaries(c):
    with open(c.path("funkce.c"), "w") as f:
        f.write("int f(int x) { return x * 2; }\n")
    c.run("cc", "-shared", "-fPIC", "-o", "libfunkce.so", "funkce.c")
    c.run("cc", "-c", "-o", "funkce.o", "funkce.c")
    shutil.copy(c.path("libfunkce.so"), c.path("libfunkce.so.1"))
    c.made("libfunkce.so", "libfunkce.so.1", "funkce.o")
    c.write("libfunkce-ld.so", b"/* GNU ld script */\nGROUP ( libfunkce.so.1 )\n")
    with open(c.path("modul.py"), "w") as f:
        f.write("def f(x):\n    return x * 2\n")
    c.run(sys.executable, "-m", "py_compile", "modul.py")
    cache = c.path("__pycache__")
    for name in os.listdir(cache):
        shutil.copy(os.path.join(cache, name), c.path("modul.pyc"))
    c.add("modul.pyc")
    c.run("msgfmt", "-o", "preklad.mo", "preklad.po")
    c.made("preklad.mo")
    c.run("sqlite3", "databaze.sqlite3", "create table t(a, b); insert into t values ('Novák', x'0001ff');")
    c.made("databaze.sqlite3")
    c.run("sqlite3", "databaze.sqlite3", ".dump", out="databaze.sql")


@form
def certificates(c):
    c.run("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj",
          "/CN=Trezorka", "-days", "1", "-keyout", "klic.pem", "-out", "certifikat.pem")
    c.made("certifikat.pem")
    shutil.copy(c.path("certifikat.pem"), c.path("certifikat-pem.crt"))
    c.add("certifikat-pem.crt")
    for name in ("certifikat.der", "certifikat.cer", "certifikat.crt"):
        c.run("openssl", "x509", "-in", "certifikat.pem", "-outform", "DER", "-out", name)
        c.add(name)
    c.run("openssl", "pkcs12", "-export", "-in", "certifikat.pem", "-inkey", "klic.pem", "-passout", "pass:x",
          "-out", "ucet.p12")
    shutil.copy(c.path("ucet.p12"), c.path("ucet.pfx"))
    c.run("openssl", "crl2pkcs7", "-nocrl", "-certfile", "certifikat.pem", "-outform", "DER", "-out", "retez.p7b")
    c.run("openssl", "smime", "-sign", "-in", "cs-utf-8-1.txt", "-signer", "certifikat.pem", "-inkey", "klic.pem",
          "-outform", "DER", "-binary", "-out", "podpis.p7s")
    c.run("openssl", "genpkey", "-algorithm", "ed25519", "-outform", "DER", "-out", "klic.p8")
    c.made("ucet.p12", "ucet.pfx", "retez.p7b", "podpis.p7s", "klic.p8")


@form
def models(c):
    """STL from slicers and CAD programs: the binary form's 80-byte header says anything."""
    triangle = struct.pack("<12fH", 0, 0, 1, 0, 0, 0, 10, 0, 0, 0, 10, 0, 0)
    c.write("model.stl", b"Exported from Blender-3.4".ljust(80, b"\0") + struct.pack("<I", 50) + triangle * 50)
    c.write("model-solid.stl", b"solid binary header".ljust(80, b" ") + struct.pack("<I", 50) + triangle * 50)
    c.write("model-ascii.stl", b"solid t\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0 0\n"
                               b"   vertex 0 1 0\n  endloop\n endfacet\nendsolid t\n")
    c.write("sdileni.torrent", b"d7:comment4:test10:created by4:test4:infod6:lengthi100e4:name4:test"
                               b"12:piece lengthi16384e6:pieces20:" + bytes(20) + b"ee")


# ---- judging --------------------------------------------------------------------------------------

def judge(probe, corpus):
    lines = []
    for name in corpus.files:
        for shown in (name, name.upper()):
            lines.append("%s\t%s\n" % (corpus.path(name), shown))
    result = subprocess.run([probe, "corpus", "1"], input="".join(lines).encode(), stdout=subprocess.PIPE, check=True)
    return [line.split("\t") for line in result.stdout.decode().splitlines()]


def report(rows, files, missing):
    kinds = {r[0] for r in rows if r[0] != "-"}
    judged = [r for r in rows if r[2] != "none"]
    alarms = [r for r in rows if r[2] == "wrong"]
    caught = [r for r in judged if r[3] == "wrong"]
    missed = [r for r in judged if r[3] != "wrong"]
    unjudged = sorted({r[0] for r in rows if r[2] == "none"})
    print("legitimate files: %d, judged under %d names, %d kinds" % (len(files), len(rows), len(kinds)))
    print("judged with the right password: %d of %d names (%.1f %%)" % (len(judged), len(rows),
                                                                        100 * len(judged) / max(1, len(rows))))
    print("wrong passwords caught: %d of %d judged (%.2f %%)" % (len(caught), len(judged),
                                                                 100 * len(caught) / max(1, len(judged))))
    print("false alarms with the right password: %d" % len(alarms))
    print("no verdict: " + ", ".join(unjudged))
    for r in missed:
        print("  missed: %s (%s, %s bytes): %s" % (r[5], r[0], r[1], r[3]))
    for r in alarms:
        print("  FALSE ALARM: %s (%s, %s bytes)" % (r[5], r[0], r[1]))
    if missing:
        print("tools missing, their files left out: " + ", ".join(sorted(missing)))
    failures = []
    if alarms:
        failures.append("%d false alarms" % len(alarms))
    if judged and len(caught) < MIN_CAUGHT * len(judged):
        failures.append("fewer than %d %% of wrong passwords caught" % (100 * MIN_CAUGHT))
    if not missing and (len(files) < MIN_FILES or len(kinds) < MIN_KINDS):
        failures.append("fewer than %d files of %d kinds" % (MIN_FILES, MIN_KINDS))
    return failures


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    keep = argv[argv.index("--keep") + 1] if "--keep" in argv else None
    folder = keep or tempfile.mkdtemp(prefix="trezorka-legit-")
    os.makedirs(folder, exist_ok=True)
    corpus = Corpus(folder)
    missing = set()
    try:
        for make in FORMS:
            try:
                make(corpus)
            except Missing as tool:
                missing.add(str(tool))
        failures = report(judge(argv[1], corpus), corpus.files, missing)
    finally:
        if not keep:
            shutil.rmtree(folder, ignore_errors=True)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
