#!/usr/bin/env python3
"""Builds MappingDB.db from its SQL source and writes the gzip copy the
device keeps on its scratchpad.  usage: build_mappingdb.py SOURCE.sql OUTDIR"""
import gzip
import os
import sqlite3
import sys


def main():
    src, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    db = os.path.join(outdir, "MappingDB.db")
    tmp = db + ".tmp"
    if os.path.exists(tmp):
        os.remove(tmp)
    con = sqlite3.connect(tmp)
    with open(src, encoding="utf-8") as f:
        con.executescript(f.read())
    con.commit()
    con.close()
    os.replace(tmp, db)
    # mtime 0 keeps the copy identical from build to build.
    with open(db, "rb") as f, gzip.GzipFile(os.path.join(outdir, "MappingDB.gz"), "wb", mtime=0) as g:
        g.write(f.read())


if __name__ == "__main__":
    main()
