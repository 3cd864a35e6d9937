#!/usr/bin/env python3
"""Finds German texts in the C++ sources that do not go through the
translation (tr, translate, QT_TR_NOOP, QT_TRANSLATE_NOOP) and compares
their number per file with translations/untranslated.txt, the texts not yet
moved over. A file with more than its allowance fails (a new text bypasses
the translation); a file with fewer fails too, so the allowance is lowered
with the work and never hides a new text. `--write` rewrites the list.

German is recognised by its letters (äöüß) or one of its frequent words;
log lines, JSON keys and device texts are meant to stay as they are: such a
line carries the comment `// untranslated` and is not counted.

Usage: check_tr.py SOURCE_DIR [--write]"""
import os
import re
import sys

WORDS = {
    "nicht", "keine", "kein", "der", "die", "das", "und", "oder", "mit", "für", "von", "auf", "bei", "beim",
    "wird", "werden", "wurde", "ist", "sind", "bitte", "datei", "dateien", "gerät", "geräte", "gerätes",
    "verbindung", "fehler", "speichern", "laden", "abbrechen", "schließen", "öffnen", "löschen", "neu",
    "einstellungen", "parameter", "wert", "werte", "zeit", "ende", "beginn", "aus", "ein", "eine", "einer",
    "zu", "im", "ins", "vom", "zum", "zur", "noch", "schon", "alle", "alles", "über", "unter", "nach",
    "messung", "aufzeichnung", "ereignis", "ereignisse", "kanal", "kanäle", "passwort", "benutzer",
    "abgeschnitten", "unbekannt", "unbekannte", "unbekannter", "tabelle", "fehlt", "fehlen", "abgebrochen", "seit",
    "ges", "gestartet", "gestoppt", "frage", "frei", "belegt", "kap", "sommerzeit", "winterzeit",
    "gelesen", "geschrieben", "gespeichert", "gesendet", "empfangen", "erfolgreich", "fehlgeschlagen", "ungültig",
    "gültig", "verbunden", "getrennt", "abgelehnt", "wählen", "bitte", "achtung", "warnung", "hinweis",
    "stopp", "jetzt", "heute", "gestern", "stunden", "minuten", "sekunden", "tage", "spannung", "strom", "leistung",
    "frequenz", "oberschwingung", "anzahl", "größe", "ordner", "pfad", "typ", "wird", "soll", "kann",
}
LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
TRANSLATED = re.compile(r'(\btr|\btranslate|QT_TR_NOOP|QT_TRANSLATE_NOOP|QT_TR_N_NOOP)\s*\(\s*("[^"]*"\s*,\s*)?$')


def german(text: str) -> bool:
    if re.search(r"[äöüÄÖÜß]", text) or re.search(r"\bn\.A\.", text):  # "n.A.": not available
        return True
    return any(w.lower() in WORDS for w in re.findall(r"[A-Za-zäöüÄÖÜß]+", text))


def count(path: str) -> int:
    n = 0
    # A text split over lines ("..."\n "...") inside tr( goes through it as a whole.
    continuing = False
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            stripped = line.strip()
            if stripped.startswith("//") or stripped.startswith("#include") or "// untranslated" in line:
                continuing = False
                continue
            code = stripped.split("//")[0].rstrip() if not stripped.startswith('"') else stripped
            if continuing and stripped.startswith('"'):
                continuing = code.endswith('"')
                continue
            continuing = bool(re.search(r"(\btr|\btranslate|QT_TR_NOOP|QT_TRANSLATE_NOOP)\s*\(\s*$", code))
            for m in LITERAL.finditer(line):
                if TRANSLATED.search(line[: m.start()]):
                    # the call's text may go on in the next line
                    continuing = line[m.end():].split("//")[0].strip() == ""
                    continue
                if german(m.group(1)):
                    n += 1
    return n


# The simulated device answers as a device does: its texts are the device's
# own, shown by the programs as sent, never translated.
DEVICE_SIDE = (os.path.join("apps", "sim"),)


def main() -> int:
    root = sys.argv[1]
    write = "--write" in sys.argv
    listing = os.path.join(root, "translations", "untranslated.txt")
    found = {}
    for top in ("src", "apps"):
        for d, _, files in os.walk(os.path.join(root, top)):
            if os.path.relpath(d, root).startswith(DEVICE_SIDE):
                continue
            for name in files:
                if name.endswith((".cpp", ".h")):
                    path = os.path.join(d, name)
                    n = count(path)
                    if n:
                        found[os.path.relpath(path, root)] = n
    if write:
        with open(listing, "w", encoding="utf-8") as f:
            f.write("# German texts per file that do not go through the translation yet (tests/tools/check_tr.py)\n")
            for k in sorted(found):
                f.write(f"{k}\t{found[k]}\n")
        print(f"{sum(found.values())} texts in {len(found)} files written to {listing}")
        return 0
    allowed = {}
    with open(listing, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            k, v = line.rstrip("\n").split("\t")
            allowed[k] = int(v)
    bad = 0
    for k in sorted(set(found) | set(allowed)):
        have, may = found.get(k, 0), allowed.get(k, 0)
        if have > may:
            print(f"{k}: {have} German texts outside tr(), {may} allowed: wrap the new one in tr()")
            bad += 1
        elif have < may:
            print(f"{k}: {have} German texts outside tr(), the list allows {may}: lower it (check_tr.py --write)")
            bad += 1
    total = sum(found.values())
    print(f"{total} German texts outside tr() in {len(found)} files")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
