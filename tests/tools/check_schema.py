#!/usr/bin/env python3
"""Validates command-line JSON output against its schema (draft 2020-12).

  check_schema.py SCHEMA [--lines] < output

Without --lines stdin holds one document; with --lines every non-empty line
is a document of its own (the NDJSON of --follow). Schemas may refer to
common.schema.json beside them. Exit 0 when everything validates, 1 with the
failures on stderr, 2 when the schema or the tool is unusable."""
import json
import pathlib
import sys

try:
    import jsonschema
    from jsonschema import Draft202012Validator
except ImportError:
    print("python3-jsonschema is missing (scripts/install-deps.sh installs it)", file=sys.stderr)
    sys.exit(2)


def load_validator(path):
    schema_path = pathlib.Path(path)
    schema = json.loads(schema_path.read_text(encoding="utf-8"))
    Draft202012Validator.check_schema(schema)
    store = {}
    for other in schema_path.parent.glob("*.schema.json"):
        doc = json.loads(other.read_text(encoding="utf-8"))
        store[other.name] = doc
        if "$id" in doc:
            store[doc["$id"]] = doc
    try:
        from referencing import Registry
        from referencing.jsonschema import DRAFT202012
        registry = Registry().with_resources([(name, DRAFT202012.create_resource(doc)) for name, doc in store.items()])
        return Draft202012Validator(schema, registry=registry)
    except (ImportError, TypeError):
        # Older jsonschema (Debian 12) resolves references through a store,
        # also when a newer `referencing` happens to be importable beside it.
        resolver = jsonschema.RefResolver(base_uri="", referrer=schema, store=store)
        return Draft202012Validator(schema, resolver=resolver)


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        validator = load_validator(sys.argv[1])
    except (OSError, ValueError, jsonschema.SchemaError) as e:
        print(f"{sys.argv[1]}: {e}", file=sys.stderr)
        return 2
    text = sys.stdin.read()
    docs = [l for l in text.splitlines() if l.strip()] if "--lines" in sys.argv[2:] else [text]
    if not docs:
        print("no document on stdin", file=sys.stderr)
        return 1
    failed = 0
    for n, raw in enumerate(docs, 1):
        try:
            doc = json.loads(raw)
        except ValueError as e:
            print(f"document {n}: not JSON: {e}", file=sys.stderr)
            failed += 1
            continue
        try:
            errors = sorted(validator.iter_errors(doc), key=lambda e: list(e.path))
        except Exception as e:  # an unresolvable reference is the schema's fault, not the document's
            print(f"{sys.argv[1]}: cannot be applied: {e}", file=sys.stderr)
            return 2
        for err in errors:
            where = "/".join(str(p) for p in err.path) or "(top)"
            print(f"document {n} at {where}: {err.message}", file=sys.stderr)
            failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
