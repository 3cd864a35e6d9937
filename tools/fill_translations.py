#!/usr/bin/env python3
"""Fills translations into translations/vanta_en.ts from a table of
"German source<TAB>English" lines (the translator's working file), leaving
every other entry as it is. Usage: fill_translations.py TS TABLE"""
import sys
import xml.etree.ElementTree as ET


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
            table[src] = dst
    tree = ET.parse(ts_path)
    filled = 0
    for msg in tree.iter("message"):
        src = msg.findtext("source")
        tr = msg.find("translation")
        if src in table and tr is not None:
            tr.text = table[src]
            tr.attrib.pop("type", None)
            filled += 1
    tree.write(ts_path, encoding="utf-8", xml_declaration=True)
    print(f"{filled} entries filled")
    return 0


if __name__ == "__main__":
    sys.exit(main())
