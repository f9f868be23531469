#!/usr/bin/env python3
"""Turns the freedesktop shared-mime-info database into the compact table the
engine's wrong-password check is compiled with.

    gen_mime_table.py FREEDESKTOP_XML OUTPUT_CPP [--summary]

Only what the check needs is kept: the glob patterns, and for each type a
name reaches, how its start is judged (text, signatures, or not at all) and
the signatures that count. Numbers in signatures become byte strings (both
orders for the host-order kinds), so the engine only ever compares bytes under
an optional mask at an offset range.
"""

import os
import sys
import xml.etree.ElementTree as ET

NS = "{http://www.freedesktop.org/standards/shared-mime-info}"

# What the database says that real files contradict. Each entry says why;
# the corpus script (bench/wrong_password_corpus.sh) is how they were found,
# and how new ones would be.

# Kinds whose signature real files often lack: judging by it would raise
# alarms on good files. Their names give no verdict.
WEAK_MAGIC = {
    # The only rule is an a.out one; ELF libraries do not match it.
    "application/x-sharedlib": "the rule is for a.out; ELF libraries do not match",
    # Each Python release has its own number and the database lists an old one.
    "application/x-python-bytecode": "the number changes with every Python release",
    # Said to be armoured text, but keyrings and messages are binary OpenPGP.
    "application/pgp-encrypted": "*.gpg files are mostly binary OpenPGP, not armoured text",
    # The rule is ELF's; objects for other systems (COFF from mingw-w64) differ.
    "application/x-object": "the rule is ELF only; COFF objects do not match",
}

# Patterns that name other things just as often.
WEAK_GLOBS = {
    "*.[1-9]": "a version number as often as a manual section (st-0.8, linux2.6)",
    "*.spl": "Vim's spell files as well as FutureSplash movies",
}

# Kinds whose files are often another kind under their name.
ALSO_ACCEPTED = {
    "image/vnd.microsoft.icon": ["image/png"],  # favicons are often PNG files
}

# Signatures below this priority are the database's own hints that a rule is
# a guess ("maybe this is ..."), not a property every file has.
MIN_PRIORITY = 50

# Kinds of check, as the engine reads them.
CHECK_NONE, CHECK_MAGIC, CHECK_TEXT = 0, 1, 2

GLOB_CASE_SENSITIVE = 1


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


class Match:
    """One comparison, already as bytes; children must also hold (any one)."""

    def __init__(self, start, end, value, mask, children):
        self.start, self.end, self.value, self.mask, self.children = start, end, value, mask, children

    def needed(self):
        """Bytes from the file's start this rule may look at."""
        own = self.end + len(self.value)
        return max([own] + [c.needed() for c in self.children])


def parse_matches(element):
    result = []
    for m in element.findall(NS + "match"):
        kind = m.get("type")
        offset = m.get("offset")
        start, _, end = offset.partition(":")
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
    types = {}
    aliases = {}
    for t in root.findall(NS + "mime-type"):
        name = t.get("type")
        entry = types.setdefault(name, {"globs": [], "parents": [], "magic": [], "priorities": []})
        for g in t.findall(NS + "glob"):
            if g.get("pattern") in WEAK_GLOBS:
                continue
            entry["globs"].append((g.get("pattern"), int(g.get("weight", "50")),
                                   g.get("case-sensitive") == "true"))
        for s in t.findall(NS + "sub-class-of"):
            entry["parents"].append(s.get("type"))
        for a in t.findall(NS + "alias"):
            aliases[a.get("type")] = name
        for m in t.findall(NS + "magic"):
            priority = int(m.get("priority", "50"))
            entry["priorities"].append(priority)
            if priority >= MIN_PRIORITY:
                entry["magic"].extend(parse_matches(m))
        # ISO media files (MP4, M4A, 3GP, QuickTime) carry "ftyp" and then a
        # brand the writer chooses; the database lists a few brands, real
        # files use many more (iso5, avc1, dash, M4B ...). The box is what
        # every such file has.
        if any(r.start == 4 and r.end == 4 and r.value.startswith(b"ftyp") and r.mask is None
               for r in entry["magic"]):
            entry["magic"].append(Match(4, 4, b"ftyp", None, []))
    for name, entry in types.items():
        parents = [aliases.get(p, p) for p in entry["parents"]]
        # Every text/* type is text/plain as well, whether or not it says so.
        if name.startswith("text/") and name != "text/plain" and "text/plain" not in parents:
            parents.append("text/plain")
        entry["parents"] = [p for p in parents if p in types or p == "text/plain"]
    types.setdefault("text/plain", {"globs": [], "parents": [], "magic": [], "priorities": []})
    return types


def ancestors(types, name):
    seen = []
    stack = list(types[name]["parents"])
    while stack:
        p = stack.pop()
        if p not in seen and p in types:
            seen.append(p)
            stack.extend(types[p]["parents"])
    return seen


def has_magic(types, name):
    return bool(types[name]["magic"]) and name not in WEAK_MAGIC


def plan(types):
    """For each type a glob names: how to judge it and which types' signatures
    count. A file of a subclass is also a file of its parent, so the
    signatures that count are those of the topmost ancestor that has one, and
    of everything below it (the name's own type included)."""
    children = {name: [] for name in types}
    for name, entry in types.items():
        for p in entry["parents"]:
            children[p].append(name)

    def descendants(name):
        out, stack = [], [name]
        while stack:
            n = stack.pop()
            if n not in out:
                out.append(n)
                stack.extend(children[n])
        return out

    plans = {}
    for name, entry in types.items():
        if not entry["globs"]:
            continue
        lineage = [name] + ancestors(types, name)
        is_text = "text/plain" in lineage
        # A type marked weak poisons its whole family: its files are also
        # its parents' files, so no signature above it may be demanded.
        if name in WEAK_MAGIC:
            plans[name] = (CHECK_NONE, [])
            continue
        if any(n in WEAK_MAGIC for n in lineage):
            plans[name] = (CHECK_TEXT if is_text else CHECK_NONE, [])
            continue
        tops = []
        for n in lineage:
            if has_magic(types, n) and not any(has_magic(types, a) for a in ancestors(types, n)):
                tops.append(n)
        accepted = []
        for top in tops:
            for d in descendants(top):
                if has_magic(types, d) and d not in accepted:
                    accepted.append(d)
        for extra in ALSO_ACCEPTED.get(name, []):
            if has_magic(types, extra) and extra not in accepted:
                accepted.append(extra)
        if is_text:
            plans[name] = (CHECK_TEXT, accepted)
        elif accepted:
            plans[name] = (CHECK_MAGIC, accepted)
        else:
            plans[name] = (CHECK_NONE, [])
    return plans


def c_bytes(data):
    return "".join("\\x%02x" % b for b in data)


def emit(types, plans, out):
    names = sorted(plans)
    index = {n: i for i, n in enumerate(names)}

    pool = bytearray()
    pool_at = {}

    def intern(data):
        if data not in pool_at:
            found = pool.find(data)
            if found < 0:
                found = len(pool)
                pool.extend(data)
            pool_at[data] = found
        return pool_at[data]

    # Names and patterns, NUL-terminated, in one array: offsets instead of
    # pointers keep the table free of relocations.
    text = bytearray()
    text_at = {}

    def intern_text(string):
        if string not in text_at:
            text_at[string] = len(text)
            text.extend(string.encode("utf-8") + b"\0")
        return text_at[string]

    matches = []  # (start, span, value_at, length, mask_at or -1, first_child, child_count)
    emitted = {}

    def emit_list(rules):
        """Places sibling rules next to each other; returns (first, count)."""
        first = len(matches)
        for _ in rules:
            matches.append(None)
        for i, r in enumerate(rules):
            child_first, child_count = emit_list(r.children) if r.children else (0, 0)
            matches[first + i] = (r.start, r.end - r.start, intern(r.value), len(r.value),
                                  intern(r.mask) if r.mask is not None else -1, child_first, child_count)
        return first, len(rules)

    def type_rules(name):
        if name not in emitted:
            emitted[name] = emit_list(types[name]["magic"])
        return emitted[name]

    # Whole families share one list of accepted types, so each list is kept once.
    rule_refs = []  # (first, count) ranges of top-level rules
    families = {}
    type_rows = []
    for n in names:
        check, accepted = plans[n]
        key = tuple(accepted)
        if key not in families:
            first_ref = len(rule_refs)
            needed = 0
            for a in accepted:
                rule_refs.append(type_rules(a))
                needed = max([needed] + [r.needed() for r in types[a]["magic"]])
            families[key] = (first_ref, len(rule_refs) - first_ref, needed)
        first_ref, ref_count, needed = families[key]
        type_rows.append((n, check, first_ref, ref_count, needed))

    globs = []
    for n in names:
        for pattern, weight, case_sensitive in types[n]["globs"]:
            if not case_sensitive:
                pattern = pattern.lower()
            globs.append((pattern, weight, GLOB_CASE_SENSITIVE if case_sensitive else 0, index[n]))
    globs.sort()

    w = out.write
    w("// Generated by tools/gen_mime_table.py from the freedesktop shared-mime-info\n")
    w("// database. Do not edit; the build makes it again when the database changes.\n\n")
    w('#include "mime_table.h"\n\nnamespace trezorka::mime {\n\n')
    w("namespace {\n\n")
    w("const std::uint8_t pool_bytes[] = {\n")
    for i in range(0, len(pool), 24):
        w("    " + ", ".join(str(b) for b in pool[i:i + 24]) + ",\n")
    if not pool:
        w("    0,\n")
    w("};\n\n")
    # The engine's row has 16-bit pool offsets and child indexes, 8-bit lengths.
    if len(pool) >= 0xFFFF or len(matches) > 0xFFFF:
        raise SystemExit("the database outgrew the table's 16-bit offsets: widen MagicRule")
    w("const MagicRule rule_rows[] = {\n")
    for start, span, value_at, length, mask_at, child_first, child_count in matches:
        if length > 0xFF or child_count > 0xFF:
            raise SystemExit("a rule outgrew the table's 8-bit lengths: widen MagicRule")
        w("    {%d, %d, %d, %s, %d, %d, %d},\n" % (start, span, value_at, "no_mask" if mask_at < 0 else mask_at,
                                              child_first, length, child_count))
    w("};\n\n")
    w("const RuleRange rule_range_rows[] = {\n")
    for first, count in rule_refs:
        w("    {%d, %d},\n" % (first, count))
    w("};\n\n")
    w("const TypeRow type_rows_[] = {\n")
    for n, check, first_ref, ref_count, needed in type_rows:
        w('    {%d, Check(%d), %d, %d, %d}, // %s\n' % (intern_text(n), check, first_ref, ref_count, needed, n))
    w("};\n\n")
    w("const GlobRow glob_rows[] = {\n")
    for pattern, weight, flags, t in globs:
        w('    {%d, %d, %d, %d},\n' % (intern_text(pattern), weight, flags, t))
    w("};\n\n")
    w("const char text_bytes[] = {\n")
    for i in range(0, len(text), 24):
        w("    " + ", ".join(str(b) for b in text[i:i + 24]) + ",\n")
    w("};\n\n")
    w("} // namespace\n\n")
    w("const Table& table()\n{\n")
    w("    static const Table t{pool_bytes, rule_rows, rule_range_rows, type_rows_, glob_rows, text_bytes};\n")
    w("    return t;\n}\n\n} // namespace trezorka::mime\n")

    size = (len(pool) + len(matches) * 16 + len(rule_refs) * 8 + len(type_rows) * 20 + len(globs) * 8
            + len(text))
    return {"types": len(names), "globs": len(globs), "rules": len(matches), "pool": len(pool),
            "refs": len(rule_refs), "bytes": size,
            "magic": sum(1 for n in names if plans[n][0] == CHECK_MAGIC),
            "text": sum(1 for n in names if plans[n][0] == CHECK_TEXT),
            "none": sum(1 for n in names if plans[n][0] == CHECK_NONE)}


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    try:
        types = load(argv[1])
    except (OSError, ET.ParseError) as error:
        sys.stderr.write("gen_mime_table: cannot read the shared-mime-info database %s: %s\n" % (argv[1], error))
        return 1
    for weak in list(WEAK_MAGIC) + list(ALSO_ACCEPTED):
        if weak not in types:
            sys.stderr.write("note: %s is not in the database any more\n" % weak)
    plans = plan(types)
    # Written aside and renamed, so that a failure never leaves half a table
    # the build would take for a finished one.
    partial = argv[2] + ".part"
    with open(partial, "w", encoding="utf-8", newline="\n") as out:
        stats = emit(types, plans, out)
    os.replace(partial, argv[2])
    if "--summary" in argv[3:]:
        print("mime table: %(types)d types (%(magic)d by signature, %(text)d as text, %(none)d not judged), "
              "%(globs)d globs, %(rules)d rules, %(pool)d pattern bytes, %(bytes)d bytes in all" % stats)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
