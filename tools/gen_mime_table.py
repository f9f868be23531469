#!/usr/bin/env python3
"""Turns the freedesktop shared-mime-info database into the compact table the
engine's wrong-password check is compiled with.

    gen_mime_table.py FREEDESKTOP_XML OUTPUT_CPP [--summary] [--answers]

Only what the check needs is kept: the glob patterns, and for each type a
name reaches, how its start is judged (text, signatures, or not at all) and
the signatures that count. Numbers in signatures become byte strings (both
orders for the host-order kinds), so the engine only ever compares bytes under
an optional mask at an offset range.

The check may only raise an alarm where a file's start settles it, so every
kind answers one question: can a real file of this kind start otherwise? The
database's signatures are the answer "no". ANSWERS below give the other
answers, each with its reason: "yes, also like this" (further starts, or the
files of other kinds), and "yes, with anything" (no verdict). OTHER_NAMES are
patterns that name other things just as often. --answers lists every kind the
table judges or leaves alone, with the reason.
"""

import os
import sys
import xml.etree.ElementTree as ET
from dataclasses import dataclass, field
from typing import Callable, Optional, Union

NS = "{http://www.freedesktop.org/standards/shared-mime-info}"

# Signatures below this priority are the database's own hints that a rule is
# a guess ("maybe this is ..."), not a property every file has.
MIN_PRIORITY = 50

# Kinds of check, as the engine reads them.
CHECK_NONE, CHECK_MAGIC, CHECK_TEXT = 0, 1, 2

GLOB_CASE_SENSITIVE = 1
RULE_ANYWHERE, RULE_OPEN = 1, 2


# ---- the database's records --------------------------------------------------------

@dataclass
class Match:
    """One comparison, already as bytes; children must also hold (any one)."""
    start: int
    end: int
    value: bytes
    mask: Optional[bytes] = None
    children: list = field(default_factory=list)
    anywhere: bool = False  # at any offset from start to the end of the bytes read
    open: bool = False      # holding does not settle it (a stub in front of the real start)

    @property
    def flags(self):
        return (RULE_ANYWHERE if self.anywhere else 0) | (RULE_OPEN if self.open else 0)


@dataclass
class Glob:
    pattern: str
    weight: int
    case_sensitive: bool


@dataclass
class MimeType:
    name: str
    globs: list = field(default_factory=list)
    parents: list = field(default_factory=list)
    magic: list = field(default_factory=list)      # the signatures that count
    guesses: list = field(default_factory=list)    # those below MIN_PRIORITY


# ---- the answers ------------------------------------------------------------------------

@dataclass(frozen=True)
class Start:
    """A start real files have that the database's signatures miss."""
    value: bytes
    offset: int = 0
    mask: Optional[bytes] = None
    anywhere: bool = False
    open: bool = False

    def match(self):
        value = bytes(v & m for v, m in zip(self.value, self.mask)) if self.mask else self.value
        return Match(self.offset, self.offset, value, self.mask, [], self.anywhere, self.open)


Kinds = Union[tuple, Callable[[dict], list]]


@dataclass(frozen=True)
class Answer:
    """Real files of these kinds may start otherwise, and why."""
    kinds: Kinds          # names, or a function picking them from the database
    reason: str
    starts: tuple = ()    # yes, also like this
    also: tuple = ()      # yes, as files of these kinds too
    anything: bool = False  # yes, with anything: no verdict

    def names(self, types):
        return self.kinds(types) if callable(self.kinds) else list(self.kinds)


@dataclass(frozen=True)
class OtherNames:
    """Patterns that name other things just as often: dropped."""
    patterns: tuple
    reason: str


def iso_media(types):
    """ISO base media files (MP4, M4A, 3GP, QuickTime, HEIF, AVIF): those
    with an "ftyp" box at offset 4 among their signatures, guesses included."""
    return [t.name for t in types.values()
            if any(r.start == 4 and r.value.startswith(b"ftyp") for r in t.magic + t.guesses)]


def compressed(kind, suffix):
    """The other kinds with a pattern that ends like a file of the compressor."""
    return lambda types: [t.name for t in types.values()
                          if t.name != kind and any(g.pattern.endswith(suffix) for g in t.globs)]


def binary_audio(types):
    """The audio kinds the database gives signatures, text ones aside."""
    return [n for n, t in types.items()
            if n.startswith("audio/") and t.magic and "text/plain" not in ancestors(types, n)]


def ooxml(types):
    """Office Open XML documents, workbooks and presentations."""
    return [n for n in types if "openxmlformats-officedocument" in n
            or (n.startswith(("application/vnd.ms-word.", "application/vnd.ms-excel.",
                              "application/vnd.ms-powerpoint.")) and n.endswith(".12"))]


# The last piece of a split archive starts in the middle of an entry: any
# start, unless the whole file was read (an empty value always matches).
SPLIT_PIECE = MimeType("(the last piece of a split archive)", magic=[Match(0, 0, b"", open=True)])

# DER: a SEQUENCE with a long-form length (or BER's indefinite one).
DER = Start(b"\x30\x80", mask=b"\xff\xf8")
OLE = "application/x-ole-storage"
ZIP = "application/zip"
SKIPPABLE_FRAME = Start(b"\x50\x2a\x4d\x18", mask=b"\xf0\xff\xff\xff")
ISO_BOXES = tuple(Start(box, 4) for box in (b"ftyp", b"moov", b"mdat", b"free", b"skip", b"wide", b"pnot"))
COMPRESSED = (("application/gzip", ".gz"), ("application/x-compress", ".Z"), ("application/x-bzip", ".bz2"),
              ("application/x-xz", ".xz"), ("application/zstd", ".zst"), ("application/x-lzip", ".lz"),
              ("application/x-lz4", ".lz4"), ("application/x-lzop", ".lzo"))

ANSWERS = [
    # Yes, with anything: no verdict.
    Answer(("model/stl",), "a binary STL starts with an 80-byte header of anything", anything=True),
    Answer(("application/x-tar",), "an old-style (v7) tar has no signature: it starts with a file name",
           anything=True),
    Answer(("audio/mpeg", "audio/aac", "audio/ac3", "audio/vnd.dts"),
           "raw audio frames without a file header: a recording or a cut starts wherever it fell", anything=True),
    Answer(("video/mpeg",), "program and elementary streams start differently, and *.mp2 names raw MPEG audio",
           anything=True),
    Answer(("video/mp2t",), "recorders and splitters cut streams anywhere, and Blu-ray playlists and clip "
           "files (.mpls, .clpi, .bdmv) share the names", anything=True),
    Answer(("application/dicom",), "files without the preamble and 'DICM' (ACR-NEMA, some exports) have no "
           "signature", anything=True),
    Answer(("application/x-amiga-disk-format",), "non-DOS disks start with their own boot block", anything=True),
    Answer(("application/x-vmdk-disk",), "a flat disk's data file (name-flat.vmdk) is a raw image", anything=True),
    Answer(("application/x-vhd-disk",), "a fixed-size disk carries its signature only at the end", anything=True),
    Answer(("image/x-tga",), "TGA has no signature", anything=True),
    Answer(("application/x-object",), "objects of other systems and compilers (COFF, Mach-O, LLVM bitcode) "
           "differ, and *.mod also names Fortran and Go modules", anything=True),
    Answer(("application/pgp-encrypted", "application/pgp-signature", "application/pgp-keys"),
           "binary OpenPGP packets start with whichever packet comes first", anything=True),

    # Yes, also like this.
    Answer((ZIP,), "a zip may carry a stub in front (an executable .jar's launcher, a self-extractor), and an "
           "empty zip is just its end record: any local header or end record in the bytes read; an executable "
           "or script in front may hide them past the bytes read",
           starts=(Start(b"PK\x03\x04", anywhere=True), Start(b"PK\x05\x06", anywhere=True),
                   Start(b"MZ", open=True), Start(b"\x7fELF", open=True), Start(b"#!", open=True))),
    Answer((ZIP,), "the last piece of a split archive (name.zip after name.z01 ...) starts in the middle of an "
           "entry: no verdict unless the whole file was read", also=(SPLIT_PIECE.name,)),
    Answer(ooxml, "zip files, and password-protected ones are OLE compound files holding the encrypted package",
           also=(ZIP, OLE)),
    Answer(("application/vnd.ms-powerpoint", "application/vnd.stardivision.writer", "application/x-hwp"),
           "PowerPoint 97 and later, StarOffice and HWP 5 documents are OLE compound files", also=(OLE,)),
    Answer(("application/vnd.ms-excel",), "binary workbooks since Excel 5 are OLE compound files without "
           "the database's sample text; Excel 2 to 4 files are bare BIFF records",
           starts=(Start(b"\x09\x00\x04\x00"), Start(b"\x09\x02\x06\x00"), Start(b"\x09\x04\x06\x00")),
           also=(OLE,)),
    Answer(("application/vnd.corel-draw",), "CorelDRAW X4 and later save zip files", also=(ZIP,)),
    Answer(("application/vnd.comicbook+zip", "application/vnd.comicbook-rar", "application/x-cb7"),
           "comic readers open any of these archives whatever the name: a .cbr is often a zip",
           also=(ZIP, "application/vnd.rar", "application/x-7z-compressed")),
    Answer(("application/x-gnumeric",), "Gnumeric saves compressed files by default", also=("application/gzip",)),
    Answer(("application/x-abiword",), "compressed documents (.zabw)", also=("application/gzip",)),
    Answer(("application/x-blender",), "compressed files are gzip (before 3.0) or Zstandard",
           also=("application/gzip", "application/zstd")),
    Answer(("application/zstd", "application/x-lz4"), "skippable frames may come first (pzstd writes one)",
           starts=(SKIPPABLE_FRAME,)),
    Answer(iso_media, "writers choose the brand after 'ftyp', and may put free space, the movie or its data "
           "first (QuickTime in particular): any top-level box", starts=ISO_BOXES),
    Answer(binary_audio, "taggers put ID3v2 tags in front of FLAC, APE, WavPack, TTA and the like",
           starts=(Start(b"ID3"),)),
    Answer(("application/x-x509-ca-cert", "application/pkix-cert", "application/pkix-crl",
            "application/pkcs7-signature", "application/pkcs7-mime", "application/x-pkcs7-certificates",
            "application/pkcs10", "application/pkcs12", "application/pkix-pkipath",
            "application/x-java-keystore"),
           "DER as often as PEM text: a SEQUENCE with a long length (keytool writes PKCS#12 since Java 9)",
           starts=(DER,)),
    Answer(("application/pkcs8", "application/pkcs8-encrypted"), "DER keys are short SEQUENCEs too",
           starts=(Start(b"\x30"),)),
    Answer(("application/x-sharedlib",), "ELF and Mach-O libraries, not the database's a.out; linker "
           "scripts are text",
           starts=(Start(b"\x7fELF"), Start(b"\xfe\xed\xfa\xce"), Start(b"\xfe\xed\xfa\xcf"),
                   Start(b"\xce\xfa\xed\xfe"), Start(b"\xcf\xfa\xed\xfe"), Start(b"\xca\xfe\xba\xbe"))),
    Answer(("application/vnd.appimage", "application/x-iso9660-appimage"), "early AppImages lack the 'AI' mark",
           starts=(Start(b"\x7fELF"),)),
    Answer(("application/x-archive",), "the database marks its rule a guess, yet every archive starts "
           "'!<arch>' (GNU thin ones '!<thin>')", starts=(Start(b"!<arch>\n"), Start(b"!<thin>\n"))),
    Answer(("application/x-python-bytecode",), "each Python release has its own number before '\\r\\n'",
           starts=(Start(b"\x00\x00\r\n", mask=b"\x00\x00\xff\xff"),)),
    Answer(("application/x-bittorrent",), "the keys of a bencoded dictionary are sorted, so the first varies: "
           "'d', its length, ':'",
           starts=(Start(b"d0:", mask=b"\xff\xf0\xff"), Start(b"d00:", mask=b"\xff\xf0\xf0\xff"))),
    Answer(("application/vnd.tcpdump.pcap",), "nanosecond captures have numbers of their own, and dumpcap "
           "writes pcapng whatever the name",
           starts=(Start(b"\xa1\xb2\x3c\x4d"), Start(b"\x4d\x3c\xb2\xa1"), Start(b"\x0a\x0d\x0d\x0a"))),
    Answer(("application/x-mobipocket-ebook",), "older books are PalmDOC", starts=(Start(b"TEXtREAd", 60),)),
    Answer(("application/vnd.adobe.flash.movie",), "LZMA-compressed movies start 'ZWS'", starts=(Start(b"ZWS"),)),
    Answer(("application/vnd.lotus-1-2-3",), "each release's BOF record differs after the record type",
           starts=(Start(b"\x00\x00\x02\x00"), Start(b"\x00\x00\x1a\x00"))),
    Answer(("application/x-doom-wad",), "Quake and Half-Life WADs share the name",
           starts=(Start(b"WAD2"), Start(b"WAD3"))),
    Answer(("application/x-fds-disk",), "dumps with the fwNES header", starts=(Start(b"FDS\x1a"),)),
    Answer(("application/x-font-linux-psf",), "version 2 fonts", starts=(Start(b"\x72\xb5\x4a\x86"),)),
    Answer(("application/x-genesis-rom",), "the console checks only 'SEGA'; the rest varies by region",
           starts=(Start(b"SEGA", 256),)),
    Answer(("application/x-hdf",), "a user block moves HDF5's signature to 512, 1024, 2048 ...",
           starts=tuple(Start(b"\x89HDF\r\n\x1a\n", 512 << i) for i in range(7))),
    Answer(("application/x-hfe-floppy-image",), "version 3 images", starts=(Start(b"HXCHFEV3"),)),
    Answer(("application/x-lha",), "methods the database leaves out (lh6, lh7 ...)",
           starts=(Start(b"-lh\x00-", 2, b"\xff\xff\xff\x00\xff"), Start(b"-lz\x00-", 2, b"\xff\xff\xff\x00\xff"))),
    Answer(("application/mxf",), "a run-in of up to 64 KiB may precede the header partition",
           starts=(Start(b"\x06\x0e\x2b\x34\x02\x05\x01\x01\x0d\x01\x02\x01\x01\x02", anywhere=True),)),
    Answer(("application/x-vdi-disk",), "the text in front names whichever tool made the image",
           starts=(Start(b"\x7f\x10\xda\xbe", 64),)),
    Answer(("application/x-ms-dos-executable",), "DOS also runs programs marked 'ZM'", starts=(Start(b"ZM"),)),
    Answer(("application/x-godot-resource", "application/x-godot-scene"), "binary resources and scenes",
           starts=(Start(b"RSRC"), Start(b"RSCC"))),
    Answer(("application/x-profile",), "gprof's output is binary", starts=(Start(b"gmon"),)),
    Answer(("audio/midi",), "RIFF MIDI files", starts=(Start(b"RIFF"),)),
    Answer(("audio/prs.sid",), "RealSID tunes", starts=(Start(b"RSID"),)),
    Answer(("font/ttf",), "Apple's TrueType and collections share the name",
           starts=(Start(b"true"), Start(b"typ1"), Start(b"ttcf"))),
    Answer(("image/bmp",), "header sizes and reserved fields vary by writer (V4 and V5 headers, OS/2 arrays)",
           starts=(Start(b"BM"), Start(b"BA"))),
    Answer(("image/tiff",), "BigTIFF", starts=(Start(b"II+\x00"), Start(b"MM\x00+"))),
    Answer(("image/x-olympus-orf",), "other cameras' byte orders", starts=(Start(b"IIRS"), Start(b"MMOR"))),
    Answer(("image/x-portable-bitmap", "image/x-portable-graymap", "image/x-portable-pixmap"),
           "any white space (a CR too) or a comment may follow the number",
           starts=tuple(Start(b"P" + bytes([d])) for d in b"123456")),
    Answer(("image/wmf",), "metafiles on disk have type 2", starts=(Start(b"\x02\x00\x09\x00"),)),
    Answer(("image/x-quicktime",), "the description may come first", starts=(Start(b"idsc", 4),)),
    Answer(("image/vnd.dxf",), "binary DXF", starts=(Start(b"AutoCAD Binary DXF"),)),
    Answer(("image/x-pict",), "version 1 and non-extended version 2 pictures",
           starts=(Start(b"\x11\x01", 10), Start(b"\x11\x01", 522), Start(b"\x00\x11\x02\xff", 10),
                   Start(b"\x00\x11\x02\xff", 522))),
    Answer(("image/vnd.zbrush.pcx",), "PC Paintbrush for Windows (version 4)", starts=(Start(b"\x0a\x04"),)),
    Answer(("image/x-ilbm",), "IFF files of other types share the name", starts=(Start(b"FORM"),)),
    Answer(("video/x-flic",), "the type follows the 4-byte size",
           starts=tuple(Start(t, 4) for t in (b"\x11\xaf", b"\x12\xaf", b"\x44\xaf", b"\x30\xaf"))),
    Answer(("image/vnd.microsoft.icon",), "favicons are often PNG files", also=("image/png",)),
    Answer(("image/x-win-bitmap",), "ImageMagick writes cursors with the icon's type", also=("image/vnd.microsoft.icon",)),
    Answer(("video/webm",), "writers order the EBML header's elements differently",
           also=("application/x-matroska",)),
] + [Answer(compressed(kind, suffix), "the name ends like a compressed file", also=(kind,))
      for kind, suffix in COMPRESSED]

OTHER_NAMES = [
    OtherNames(("*.[1-9]",), "a version number as often as a manual section (st-0.8, linux2.6)"),
    OtherNames(("*.spl",), "Vim's spell files as well as FutureSplash movies"),
    OtherNames(("*.pdb",), "Microsoft debugger databases and Protein Data Bank files as well as Palm documents"),
    OtherNames(("*.prc",), "Palm resource databases of any application as well as Mobipocket books"),
    OtherNames(("*.kfx",), "Kindle KFX containers as well as Mobipocket books"),
    OtherNames(("*.raw",), "raw data of any kind (audio, disk images, pixels) as well as Panasonic photos"),
    OtherNames(("*.key",), "private keys and licences as well as Keynote presentations"),
    OtherNames(("*.obj",), "compilers' object files as well as Wavefront models"),
    OtherNames(("*.sub",), "VobSub subtitles (MPEG streams) as well as text subtitles"),
    OtherNames(("*.fasl",), "compiled Lisp, in each implementation's own format"),
    OtherNames(("*.res",), "compiled Windows resources as well as Godot resources"),
    OtherNames(("*.pak",), "resource packs of browsers and many games as well as Quake's"),
    OtherNames(("*.pack",), "git's pack files as well as Pack200 archives"),
    OtherNames(("*.pkg",), "PlayStation and Solaris packages as well as macOS installers"),
    OtherNames(("*.sav",), "saved states and games as well as SPSS data"),
    OtherNames(("*.sid",), "MrSID images as well as C64 tunes"),
    OtherNames(("*.cap", "*.dmp"), "captures of many tools and Windows memory dumps as well as pcap"),
    OtherNames(("*.xll",), "Excel add-ins are Windows DLLs"),
    OtherNames(("*.wp", "*.wp4"), "WordPerfect 4 documents have no header"),
]


# ---- reading the database -----------------------------------------------------------------

def parse_value(kind, text):
    """The bytes a <match> compares, or its mask, as a list of byte strings
    (two for the host-order kinds, which may be either order)."""
    if kind == "string":
        return [unescape(text)]
    number = int(text, 0) if not (text.startswith("0") and len(text) > 1 and text[1] not in "xX") else int(text, 8)
    width = {"byte": 1, "big16": 2, "little16": 2, "host16": 2, "big32": 4, "little32": 4, "host32": 4}[kind]
    number &= (1 << (8 * width)) - 1
    big = number.to_bytes(width, "big")
    little = number.to_bytes(width, "little")
    if kind.startswith("big") or kind == "byte":
        return [big]
    if kind.startswith("little"):
        return [little]
    return [little] if big == little else [little, big]


def parse_mask(kind, text, width):
    if kind == "string":
        if not text.lower().startswith("0x"):
            raise ValueError("string mask not in hex: " + text)
        raw = bytes.fromhex(text[2:])
        if len(raw) < width:
            raw = raw + b"\xff" * (width - len(raw))
        return [raw[:width]]
    return parse_value(kind, text)


def unescape(text):
    """The C-like escapes the database uses in string values."""
    out = bytearray()
    i = 0
    raw = text.encode("utf-8")
    while i < len(raw):
        c = raw[i]
        if c != 0x5C or i + 1 >= len(raw):
            out.append(c)
            i += 1
            continue
        n = raw[i + 1]
        if n in b"xX":
            j = i + 2
            while j < len(raw) and j < i + 4 and chr(raw[j]) in "0123456789abcdefABCDEF":
                j += 1
            out.append(int(raw[i + 2:j], 16))
            i = j
        elif chr(n) in "01234567":
            j = i + 1
            while j < len(raw) and j < i + 4 and chr(raw[j]) in "01234567":
                j += 1
            out.append(int(raw[i + 1:j], 8) & 0xFF)
            i = j
        else:
            out.append({ord("n"): 10, ord("r"): 13, ord("t"): 9, ord("a"): 7, ord("b"): 8,
                        ord("f"): 12, ord("v"): 11}.get(n, n))
            i += 2
    return bytes(out)


def parse_matches(element):
    result = []
    for m in element.findall(NS + "match"):
        kind = m.get("type")
        start, _, end = m.get("offset").partition(":")
        start = int(start)
        end = int(end) if end else start
        values = parse_value(kind, m.get("value"))
        masks = parse_mask(kind, m.get("mask"), len(values[0])) if m.get("mask") else [None] * len(values)
        if len(masks) == 1 and len(values) == 2:
            masks = masks * 2
        children = parse_matches(m)
        for value, mask in zip(values, masks):
            if mask is not None:
                value = bytes(v & k for v, k in zip(value, mask))
            result.append(Match(start, end, value, mask, children))
    return result


def load(path):
    root = ET.parse(path).getroot()
    other_names = {p for o in OTHER_NAMES for p in o.patterns}
    types = {}
    aliases = {}
    for t in root.findall(NS + "mime-type"):
        name = t.get("type")
        entry = types.setdefault(name, MimeType(name))
        for g in t.findall(NS + "glob"):
            if g.get("pattern") not in other_names:
                entry.globs.append(Glob(g.get("pattern"), int(g.get("weight", "50")),
                                        g.get("case-sensitive") == "true"))
        entry.parents += [s.get("type") for s in t.findall(NS + "sub-class-of")]
        for a in t.findall(NS + "alias"):
            aliases[a.get("type")] = name
        for m in t.findall(NS + "magic"):
            target = entry.magic if int(m.get("priority", "50")) >= MIN_PRIORITY else entry.guesses
            target.extend(parse_matches(m))
    types.setdefault("text/plain", MimeType("text/plain"))
    types[SPLIT_PIECE.name] = SPLIT_PIECE
    for entry in types.values():
        parents = [aliases.get(p, p) for p in entry.parents]
        # Every text/* type is text/plain as well, whether or not it says so.
        if entry.name.startswith("text/") and entry.name != "text/plain" and "text/plain" not in parents:
            parents.append("text/plain")
        entry.parents = [p for p in parents if p in types]
    return types


# ---- planning -------------------------------------------------------------------------------

@dataclass
class Plan:
    check: int
    accepted: list    # the types whose signatures count
    reasons: list     # why, beyond the database


def answer(types, answers):
    """Applies the answers to the database: further starts join a kind's
    signatures. Returns per kind the answers that concern it."""
    concerning = {}
    for a in answers:
        names = a.names(types)
        if not names:
            sys.stderr.write("note: no kind in the database for: %s\n" % a.reason)
        for name in names:
            if name not in types:
                sys.stderr.write("note: %s is not in the database any more\n" % name)
                continue
            concerning.setdefault(name, []).append(a)
            types[name].magic.extend(s.match() for s in a.starts)
    return concerning


def ancestors(types, name):
    seen = []
    stack = list(types[name].parents)
    while stack:
        p = stack.pop()
        if p not in seen:
            seen.append(p)
            stack.extend(types[p].parents)
    return seen


def plan(types, concerning):
    """For each type a glob names: how to judge it and which types' signatures
    count. A file of a subclass is also a file of its parent, so for binary
    kinds the signatures that count are those of the topmost ancestor that has
    one, and of everything below it (the name's own type included): a docx
    whose first entry is not the one Word writes is still a zip."""
    children = {name: [] for name in types}
    for entry in types.values():
        for p in entry.parents:
            children[p].append(entry.name)

    def descendants(name):
        out, stack = [], [name]
        while stack:
            n = stack.pop()
            if n not in out:
                out.append(n)
                stack.extend(children[n])
        return out

    def anything(name):
        return [a for a in concerning.get(name, []) if a.anything]

    def has_magic(name):
        return bool(types[name].magic) and not anything(name)

    plans = {}
    for entry in types.values():
        name = entry.name
        if not entry.globs:
            continue
        lineage = [name] + ancestors(types, name)
        is_text = "text/plain" in lineage
        answers = [a for n in lineage for a in concerning.get(n, [])]
        reasons = list(dict.fromkeys(a.reason for a in answers))
        also = [k for a in concerning.get(name, []) for k in a.also if has_magic(k)]
        # A kind below one whose files start with anything may share that:
        # judged as text only, if at all.
        if any(anything(n) for n in lineage):
            reasons = list(dict.fromkeys(a.reason for n in lineage for a in anything(n)))
            below = not anything(name) and is_text
            plans[name] = Plan(CHECK_TEXT if below else CHECK_NONE, [], reasons)
            continue
        if is_text:
            # Text kinds are judged as text; only the kind's own signature
            # rescues its binary forms (PostScript with binary data, EPS with a
            # preview, DER signatures). The short rules of a whole text family
            # would let random bytes through now and then.
            accepted = [name] if has_magic(name) else []
            plans[name] = Plan(CHECK_TEXT, accepted + [k for k in also if k not in accepted], reasons)
            continue
        tops = [n for n in lineage if has_magic(n) and not any(has_magic(a) for a in ancestors(types, n))]
        accepted = []
        for d in [d for top in tops for d in descendants(top) if has_magic(d)] + also:
            if d not in accepted:
                accepted.append(d)
        if accepted:
            plans[name] = Plan(CHECK_MAGIC, accepted, reasons)
        else:
            plans[name] = Plan(CHECK_NONE, [], reasons or ["no signature in the database"])
    return plans


# ---- the table ----------------------------------------------------------------------------

class Table:
    """The engine's arrays, with offsets instead of pointers, which keeps the
    table free of relocations."""

    def __init__(self):
        self.pool = bytearray()   # signature values and masks
        self.text = bytearray()   # NUL-terminated names and patterns
        self.rules = []           # (start, span, value_at, mask_at or -1, first_child, length, child_count, flags)
        self.ranges = []          # (first, count): one kind's top-level signatures
        self.types = []           # (name, check, first_range, range_count, reasons)
        self.globs = []           # (pattern_at, weight, flags, type index)
        self._pool_at = {}
        self._text_at = {}
        self._rules_of = {}
        self._families = {}

    def intern(self, data):
        if data not in self._pool_at:
            found = self.pool.find(data)
            if found < 0:
                found = len(self.pool)
                self.pool.extend(data)
            self._pool_at[data] = found
        return self._pool_at[data]

    def intern_text(self, string):
        if string not in self._text_at:
            self._text_at[string] = len(self.text)
            self.text.extend(string.encode("utf-8") + b"\0")
        return self._text_at[string]

    def add_rules(self, rules):
        """Places sibling rules next to each other; returns (first, count)."""
        first = len(self.rules)
        self.rules.extend([None] * len(rules))
        for i, r in enumerate(rules):
            child_first, child_count = self.add_rules(r.children) if r.children else (0, 0)
            self.rules[first + i] = (r.start, r.end - r.start, self.intern(r.value),
                                     self.intern(r.mask) if r.mask is not None else -1,
                                     child_first, len(r.value), child_count, r.flags)
        return first, len(rules)

    def add_family(self, types, accepted):
        """Whole families share one list of accepted types, kept once."""
        key = tuple(accepted)
        if key not in self._families:
            first = len(self.ranges)
            for a in accepted:
                if a not in self._rules_of:
                    self._rules_of[a] = self.add_rules(types[a].magic)
                self.ranges.append(self._rules_of[a])
            self._families[key] = (first, len(accepted))
        return self._families[key]


def build_table(types, plans):
    table = Table()
    names = sorted(plans)
    index = {n: i for i, n in enumerate(names)}
    for n in names:
        p = plans[n]
        first, count = table.add_family(types, p.accepted)
        table.types.append((n, p.check, first, count, p.reasons))
    for n in names:
        for g in types[n].globs:
            pattern = g.pattern if g.case_sensitive else g.pattern.lower()
            table.globs.append((pattern, g.weight, GLOB_CASE_SENSITIVE if g.case_sensitive else 0, index[n]))
    table.globs.sort()
    # The engine's rows have 16-bit pool offsets and child indexes, 8-bit lengths.
    if len(table.pool) >= 0xFFFF or len(table.rules) > 0xFFFF:
        raise SystemExit("the database outgrew the table's 16-bit offsets: widen MagicRule")
    if any(r[5] > 0xFF or r[6] > 0xFF for r in table.rules):
        raise SystemExit("a rule outgrew the table's 8-bit lengths: widen MagicRule")
    return table


def byte_lines(data):
    return "".join("    " + ", ".join(str(b) for b in data[i:i + 24]) + ",\n" for i in range(0, len(data), 24)) \
        or "    0,\n"


def write_table(table, out):
    w = out.write
    w("// Generated by tools/gen_mime_table.py from the freedesktop shared-mime-info\n")
    w("// database. Do not edit; the build makes it again when the database changes.\n\n")
    w('#include "mime_table.h"\n\nnamespace trezorka::mime {\n\nnamespace {\n\n')
    w("const std::uint8_t pool_bytes[] = {\n" + byte_lines(table.pool) + "};\n\n")
    w("const MagicRule rule_rows[] = {\n")
    for start, span, value_at, mask_at, child_first, length, child_count, flags in table.rules:
        w("    {%d, %d, %d, %s, %d, %d, %d, %d},\n" % (start, span, value_at, "no_mask" if mask_at < 0 else mask_at,
                                                  child_first, length, child_count, flags))
    w("};\n\nconst RuleRange rule_range_rows[] = {\n")
    for first, count in table.ranges:
        w("    {%d, %d},\n" % (first, count))
    w("};\n\nconst TypeRow type_rows_[] = {\n")
    for name, check, first, count, reasons in table.types:
        note = ": " + reasons[0] if reasons else ""
        w("    {%d, Check(%d), %d, %d}, // %s%s\n" % (table.intern_text(name), check, first, count, name, note))
    w("};\n\nconst GlobRow glob_rows[] = {\n")
    for pattern, weight, flags, t in table.globs:
        w("    {%d, %d, %d, %d},\n" % (table.intern_text(pattern), weight, flags, t))
    w("};\n\n")
    # Written last: the rows above may still add names.
    w("const char text_bytes[] = {\n" + byte_lines(table.text) + "};\n\n")
    w("} // namespace\n\nconst Table& table()\n{\n")
    w("    static const Table t{pool_bytes, rule_rows, rule_range_rows, type_rows_, glob_rows, text_bytes};\n")
    w("    return t;\n}\n\n} // namespace trezorka::mime\n")


def summary(table):
    checks = [t[1] for t in table.types]
    size = (len(table.pool) + len(table.rules) * 20 + len(table.ranges) * 8 + len(table.types) * 16
            + len(table.globs) * 8 + len(table.text))
    return ("mime table: %d types (%d by signature, %d as text, %d not judged), %d globs, %d rules, "
            "%d pattern bytes, %d bytes in all" % (len(checks), checks.count(CHECK_MAGIC), checks.count(CHECK_TEXT),
                                                  checks.count(CHECK_NONE), len(table.globs), len(table.rules),
                                                  len(table.pool), size))


def answers_listing(plans):
    words = {CHECK_NONE: "no verdict", CHECK_MAGIC: "signature", CHECK_TEXT: "text"}
    kinds = ["%s\t%s\t%s\n" % (n, words[p.check], "; ".join(p.reasons)) for n, p in sorted(plans.items())]
    names = ["%s\tname dropped\t%s\n" % (" ".join(o.patterns), o.reason) for o in OTHER_NAMES]
    return "".join(kinds + names)


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    try:
        types = load(argv[1])
    except (OSError, ET.ParseError) as error:
        sys.stderr.write("gen_mime_table: cannot read the shared-mime-info database %s: %s\n" % (argv[1], error))
        return 1
    plans = plan(types, answer(types, ANSWERS))
    table = build_table(types, plans)
    # Written aside and renamed, so that a failure never leaves half a table
    # the build would take for a finished one.
    partial = argv[2] + ".part"
    with open(partial, "w", encoding="utf-8", newline="\n") as out:
        write_table(table, out)
    os.replace(partial, argv[2])
    if "--summary" in argv[3:]:
        print(summary(table))
    if "--answers" in argv[3:]:
        sys.stdout.write(answers_listing(plans))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
