#!/usr/bin/env bash
# The English catalogue against the sources: every text that goes through
# the translation has an English entry. lupdate brings a copy of the
# catalogue up to date; a new text arrives there unfinished.
#   check_translations.sh SOURCE_DIR LUPDATE
set -euo pipefail
src=$1
lupdate=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$src/translations/vanta_en.ts" "$tmp/vanta_en.ts"
find "$src/src" "$src/apps" -name '*.cpp' -o -name '*.h' >"$tmp/files.lst"
"$lupdate" -silent -no-obsolete -locations none -source-language de_DE -target-language en_US "@$tmp/files.lst" -ts "$tmp/vanta_en.ts"
python3 - "$tmp/vanta_en.ts" <<'PY'
import sys
import xml.etree.ElementTree as ET
missing = []
for ctx in ET.parse(sys.argv[1]).iter("context"):
    if ctx.findtext("name") == "TEn":
        continue  # written in English; their German is checked below
    for msg in ctx.iter("message"):
        tr = msg.find("translation")
        if tr is None or tr.get("type") in ("unfinished", "vanished", "obsolete") or not (tr.text or "").strip():
            missing.append(f"{ctx.findtext('name')}: {msg.findtext('source')!r}")
for m in missing:
    print("no English for", m)
print(f"{len(missing)} texts without English")
sys.exit(1 if missing else 0)
PY
# The texts written in English, against the German catalogue.
python3 "$src/tools/update_german_catalogue.py" "$src" --check
