#!/usr/bin/env python3
"""Checks that a signature appended to a PDF/A document kept the ISO 19005 rules it could break.

Usage: pdfa_check.py INPUT OUTPUT PART. INPUT is the document before signing, OUTPUT after; the
objects OUTPUT appends are read raw, and the whole file through qpdf's JSON. Each violation is
printed with its clause (19005-1, and 19005-2/3 in brackets); the exit status is 1 when any.
"""
import base64
import json
import re
import struct
import subprocess
import sys

problems = []


def fail(clause, text):
    problems.append(f"{clause}: {text}")


def objects_of(path):
    out = subprocess.run(["qpdf", "--json=2", "--json-key=qpdf", "--json-stream-data=inline",
                          "--decode-level=generalized", path], capture_output=True, check=False)
    return json.loads(out.stdout)["qpdf"][1]


def value(objs, ref):
    """The value of an object or reference: a dict/list/str, or {'stream': ...}."""
    if isinstance(ref, str) and ref.endswith(" R"):
        o = objs.get("obj:" + ref, {})
        return o["stream"] if "stream" in o else o.get("value")
    return ref


def stream_dict(objs, ref):
    o = objs.get("obj:" + ref, {})
    return o["stream"]["dict"] if "stream" in o else None


def data(objs, ref):
    return base64.b64decode(objs["obj:" + ref]["stream"]["data"])


def check_raw_update(base, whole):
    update = whole[len(base):]
    if not re.search(rb"%%EOF(\r\n|\r|\n)?$", update):
        fail("6.1.3 [6.1.3]", "data after the last %%EOF")
    for m in re.finditer(rb"(?m)^(\d+) (\d+) obj(.)", update):
        if m.group(3) not in b"\r\n":
            fail("6.1.8 [6.1.9]", f"object {m.group(1)} has no end of line after obj")
    for m in re.finditer(rb"(.)endobj", update, re.S):
        if m.group(1) not in b"\r\n":
            fail("6.1.8 [6.1.9]", "endobj without an end of line before it")
    for m in re.finditer(rb"/Length (\d+) >>(\r?\n?)stream(\r\n|\n|\r)?", update):
        if m.group(3) not in (b"\n", b"\r\n"):
            fail("6.1.7 [6.1.7.1]", "stream keyword not followed by LF or CRLF")
            continue
        start = m.end()
        end = update.find(b"endstream", start)
        eol = 2 if update[end - 2:end] == b"\r\n" else 1 if update[end - 1:end] in (b"\n", b"\r") else 0
        if eol == 0:
            fail("6.1.7 [6.1.7.1]", "endstream without an end of line before it")
        if end - eol - start != int(m.group(1)):
            fail("6.1.7 [6.1.7.1]", f"/Length {m.group(1)} but {end - eol - start} data bytes")
    for m in re.finditer(rb"xref(\r\n|\r|\n)(\s*)(\d+)(\s+)(\d+)", update):
        if m.group(2) or m.group(4) != b" ":
            fail("6.1.4 [6.1.4]", "cross-reference subsection header spacing")
    if b"/Encrypt" in update:
        fail("6.1.3 [6.1.3]", "the update names /Encrypt")


def font_program_metrics(program):
    tables = {}
    for i in range(struct.unpack(">H", program[4:6])[0]):
        tag, _, off, length = struct.unpack(">4sIII", program[12 + 16 * i:28 + 16 * i])
        tables[tag] = program[off:off + length]
    upem = struct.unpack(">H", tables[b"head"][18:20])[0]
    glyphs = struct.unpack(">H", tables[b"maxp"][4:6])[0]
    metrics = struct.unpack(">H", tables[b"hhea"][34:36])[0]
    adv = [struct.unpack(">H", tables[b"hmtx"][4 * min(g, metrics - 1):4 * min(g, metrics - 1) + 2])[0]
           for g in range(glyphs)]
    return upem, glyphs, adv


def check_font(objs, ref, font, part):
    sub = font.get("/Subtype")
    if sub in ("/Type3",):
        return
    if sub == "/Type0":
        if "/ToUnicode" not in font:
            fail("6.3.8 [6.2.11.7]", f"Type 0 font {ref} has no /ToUnicode")
        for d in font.get("/DescendantFonts", []):
            check_font(objs, d, value(objs, d), part)
        return
    desc = value(objs, font.get("/FontDescriptor", ""))
    if not desc or not any(k in desc for k in ("/FontFile", "/FontFile2", "/FontFile3")):
        fail("6.3.4 [6.2.11.4.1]", f"font {font.get('/BaseFont')} ({ref}) is not embedded")
        return
    if sub != "/CIDFontType2":
        return
    if "/CIDToGIDMap" not in font:
        fail("6.3.3.2 [6.2.11.3.2]", f"CIDFontType2 {ref} has no /CIDToGIDMap")
    upem, glyphs, adv = font_program_metrics(data(objs, desc["/FontFile2"]))
    if "/CIDSet" in desc:
        bits = data(objs, desc["/CIDSet"])
        listed = {i for i in range(8 * len(bits)) if bits[i // 8] & (0x80 >> (i % 8))}
        if listed != set(range(glyphs)):
            fail("6.3.5 [6.2.11.4.2]", f"/CIDSet of {ref} does not list exactly the {glyphs} glyphs")
    elif part == 1 and "+" in str(font.get("/BaseFont")):
        fail("6.3.5", f"subset CIDFont {ref} without /CIDSet")
    w = font.get("/W", [])
    i = 0
    while i < len(w):
        first, widths = w[i], w[i + 1]
        if not isinstance(widths, list):
            widths = [w[i + 2]] * (widths - first + 1)
            i += 1
        for k, width in enumerate(widths):
            if abs(width - adv[first + k] * 1000.0 / upem) > 1:
                fail("6.3.6 [6.2.11.5]", f"width of CID {first + k} in {ref} is {width}, the program says "
                                         f"{adv[first + k] * 1000.0 / upem:.3f}")
        i += 2


def fonts(node, ref):
    """The font dictionaries in an object's value, itself or nested (as in an AcroForm's /DR)."""
    if isinstance(node, dict):
        if node.get("/Type") == "/Font" and "/Subtype" in node:
            yield ref, node
        for v in node.values():
            yield from fonts(v, ref)
    elif isinstance(node, list):
        for v in node:
            yield from fonts(v, ref)


def output_intent_components(objs):
    catalog = value(objs, objs["trailer"]["value"]["/Root"])
    n = set()
    for oi in value(objs, catalog.get("/OutputIntents", [])) or []:
        profile = value(objs, oi).get("/DestOutputProfile")
        if profile:
            n.add(stream_dict(objs, profile).get("/N"))
    return n


def check_annotation(objs, ref, annot, part):
    flags = annot.get("/F", 0)
    if not flags & 4 or flags & (1 | 2 | 32 | 256):
        fail("6.5.3 [6.3.2]", f"annotation {ref} has flags {flags}")
    for key in ("/A", "/AA"):
        if key in annot and annot.get("/Subtype") == "/Widget":
            fail("6.6.2, 6.9 [6.4.1]", f"widget {ref} has {key}")
    ap = annot.get("/AP")
    x1, y1, x2, y2 = (annot.get("/Rect") or [0, 0, 0, 0])
    if ap is None:
        if part >= 2 and (x1 != x2 or y1 != y2):
            fail("[6.3.3]", f"annotation {ref} has a /Rect but no /AP")
        return
    ap = value(objs, ap)
    if set(ap) != {"/N"} or not str(ap["/N"]).endswith(" R") or stream_dict(objs, ap["/N"]) is None:
        fail("6.5.3 [6.3.3]", f"/AP of {ref} is not just /N with a stream")
        return
    content = data(objs, ap["/N"]).decode("latin-1")
    components = output_intent_components(objs)
    for op, needed in (("rg", 3), ("RG", 3), ("k", 4), ("K", 4), ("g", None), ("G", None)):
        if re.search(r"(^|\s)" + op + r"(\s|$)", content) and not (components and (needed is None or needed in components)):
            fail("6.2.3.3 [6.2.4.3]", f"appearance of {ref} paints with device colour '{op}' without an output intent for it")
    for hex_string in re.findall(r"<([0-9A-Fa-f\s]*)>", content):
        digits = re.sub(r"\s", "", hex_string)
        if any(digits[i:i + 4] == "0000" for i in range(0, len(digits), 4)):
            fail("[6.2.11.8]", f"appearance of {ref} shows glyph 0 (.notdef)")


def main():
    inp, out, part = sys.argv[1], sys.argv[2], int(sys.argv[3])
    base, whole = open(inp, "rb").read(), open(out, "rb").read()
    check_raw_update(base, whole)
    before, after = objects_of(inp), objects_of(out)
    t0, t1 = before["trailer"]["value"], after["trailer"]["value"]
    if "/Encrypt" in t1:
        fail("6.1.3 [6.1.3]", "trailer has /Encrypt")
    if not t1.get("/ID") or t0.get("/ID", [None])[0] != t1["/ID"][0]:
        fail("6.1.3 [6.1.3]", f"first /ID changed: {t0.get('/ID')} -> {t1.get('/ID')}")
    c0, c1 = value(before, t0["/Root"]), value(after, t1["/Root"])
    for key in ("/Metadata", "/OutputIntents"):
        if c0.get(key) != c1.get(key):
            fail("6.7.2, 6.2.2 [6.6.2, 6.2.3]", f"catalog {key} changed")
    if data(before, c0["/Metadata"]) != data(after, c1["/Metadata"]):
        fail("6.7.2 [6.6.2]", "XMP metadata changed")
    form = value(after, c1.get("/AcroForm")) or {}
    if form.get("/NeedAppearances") is True:
        fail("6.9 [6.4.1]", "/NeedAppearances true")
    updated = {f"{m.group(1).decode()} {m.group(2).decode()} R" for m in
               re.finditer(rb"(?m)^(\d+) (\d+) obj", whole[len(base):])}
    for key, obj in after.items():
        if not key.startswith("obj:"):
            continue
        ref, v = key[4:], obj.get("value")
        for fref, font in fonts(v, ref):
            check_font(after, fref, font, part)
        if ref in updated and isinstance(v, dict) and v.get("/Type") == "/Annot":
            check_annotation(after, ref, v, part)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
