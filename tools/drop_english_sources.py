#!/usr/bin/env python3
"""Takes the texts written in English (the TEn context) out of the English
catalogue after lupdate: they need no English translation, and lupdate would
otherwise add them as unfinished entries at every run.

  drop_english_sources.py translations/vanta_en.ts
"""
import re
import sys


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    path = sys.argv[1]
    with open(path, encoding="utf-8") as f:
        text = f.read()
    kept = re.sub(r"[ \t]*<context>\s*<name>TEn</name>.*?</context>\n", "", text, flags=re.S)
    if kept != text:
        with open(path, "w", encoding="utf-8") as f:
            f.write(kept)
    return 0


if __name__ == "__main__":
    sys.exit(main())
