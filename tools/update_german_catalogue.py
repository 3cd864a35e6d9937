#!/usr/bin/env python3
"""The German catalogue of the texts written in English (TEn::tr("…") in
the sources): translations/vanta_de.ts. lupdate would put every text of the
programs into it, the German ones too; this keeps it to the English ones.

  update_german_catalogue.py SOURCE_DIR            brings the catalogue up to date:
                                                   new texts come in unfinished, gone
                                                   ones go, translations stay
  update_german_catalogue.py SOURCE_DIR --check    fails when a text has no German or
                                                   a translation's %1.. differ from its
                                                   source's

A translator fills the <translation> elements (or uses
tools/fill_translations.py with a "English<TAB>German" table)."""
import os
import re
import sys
import xml.etree.ElementTree as ET

CALL = re.compile(r'\bTEn::tr\(\s*"((?:[^"\\\n]|\\.)*)"')
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", '"': '"', "\\": "\\"}


def unescape(text: str) -> str:
    return re.sub(r'\\(.)', lambda m: ESCAPES.get(m.group(1), "\\" + m.group(1)), text)


def source_texts(root: str) -> list:
    found = []
    for top in ("src", "apps"):
        for d, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if name.endswith((".cpp", ".h")):
                    with open(os.path.join(d, name), encoding="utf-8") as f:
                        for line in f:
                            if line.lstrip().startswith("//"):
                                continue
                            for m in CALL.finditer(line):
                                text = unescape(m.group(1))
                                if text not in found:
                                    found.append(text)
    return found


def load(path: str) -> dict:
    done = {}
    if os.path.exists(path):
        for msg in ET.parse(path).iter("message"):
            tr = msg.find("translation")
            if tr is not None and tr.get("type") != "unfinished" and (tr.text or ""):
                done[msg.findtext("source")] = tr.text
    return done


def placeholders(text: str) -> list:
    return sorted(re.findall(r"%\d+", text))


def main() -> int:
    root = sys.argv[1]
    path = os.path.join(root, "translations", "vanta_de.ts")
    texts = source_texts(root)
    done = load(path)
    if "--check" in sys.argv:
        bad = 0
        for t in texts:
            if t not in done:
                print(f"no German for {t!r}")
                bad += 1
            elif placeholders(done[t]) != placeholders(t):
                print(f"placeholders differ: {t!r} -> {done[t]!r}")
                bad += 1
        print(f"{len(texts)} English texts, {bad} without a fitting German one")
        return 1 if bad else 0
    ts = ET.Element("TS", version="2.1", language="de_DE", sourcelanguage="en_US")
    ctx = ET.SubElement(ts, "context")
    ET.SubElement(ctx, "name").text = "TEn"
    for t in texts:
        msg = ET.SubElement(ctx, "message")
        ET.SubElement(msg, "source").text = t
        tr = ET.SubElement(msg, "translation")
        if t in done:
            tr.text = done[t]
        else:
            tr.set("type", "unfinished")
    ET.indent(ts)
    with open(path, "wb") as f:
        f.write(b'<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n')
        f.write(ET.tostring(ts, encoding="utf-8"))
        f.write(b"\n")
    print(f"{len(texts)} texts, {sum(1 for t in texts if t not in done)} without German, in {path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
