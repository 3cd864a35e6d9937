#!/usr/bin/env python3
"""Fills translations into translations/vanta_en.ts from a table of
"German source<TAB>English" lines (the translator's working file), leaving
every other entry as it is. A line break inside a text is written \\n (and
\\r, as in the sources' "\\r\\n"); a backslash itself is \\\\.
Usage: fill_translations.py TS TABLE"""
import re
import sys
import xml.etree.ElementTree as ET

ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}


def unescape(text: str) -> str:
    return re.sub(r"\\([nrt\\])", lambda m: ESCAPES[m.group(1)], text)


def full_text(element) -> str:
    # lupdate writes a carriage return as <byte value="xd"/>: the text is
    # the pieces around such elements with their characters put back.
    parts = [element.text or ""]
    for child in element:
        if child.tag == "byte":
            parts.append(chr(int(child.get("value", "0").lstrip("x"), 16)))
        parts.append(child.tail or "")
    return "".join(parts)


def main() -> int:
    ts_path, table_path = sys.argv[1], sys.argv[2]
    table = {}
    with open(table_path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if "\t" not in line:
                print(f"{table_path}:{n}: no tab between source and translation", file=sys.stderr)
                return 1
            src, dst = line.split("\t", 1)
            table[unescape(src)] = unescape(dst)
    tree = ET.parse(ts_path)
    filled = 0
    for msg in tree.iter("message"):
        source = msg.find("source")
        src = full_text(source) if source is not None else None
        tr = msg.find("translation")
        if src in table and tr is not None:
            # A carriage return would come back from the file as a plain
            # line break; the translation keeps the line breaks only.
            for child in list(tr):
                tr.remove(child)
            tr.text = table[src].replace("\r\n", "\n").replace("\r", "\n")
            tr.attrib.pop("type", None)
            filled += 1
    tree.write(ts_path, encoding="utf-8", xml_declaration=True)
    print(f"{filled} entries filled")
    return 0


if __name__ == "__main__":
    sys.exit(main())
