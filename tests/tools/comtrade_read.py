#!/usr/bin/env python3
"""An independent reader of IEEE C37.111-1999 COMTRADE files (.cfg + .dat,
ASCII or BINARY), written from the standard, for the export tests.

Prints one JSON document: station, channel names and units, sample rate,
number of samples, the time stamp of the last sample in microseconds, and
every sample scaled with a*x+b per channel. Each data row's sample number
and time stamp are checked: sample k (from 1) at (k - 1) * 10^6 / rate
microseconds (the stamp times the cfg's timemult, to the microsecond); a
row that says otherwise ends the reader with an error naming it."""
import json
import struct
import sys


def read(cfg_path):
    with open(cfg_path, encoding="latin-1") as f:
        lines = [l.rstrip("\r\n") for l in f]
    station, device, rev = lines[0].split(",")
    if rev != "1999":
        raise SystemExit(f"revision {rev} is not 1999")
    total, na, nd = lines[1].split(",")
    na, nd = int(na.rstrip("A")), int(nd.rstrip("D"))
    if int(total) != na + nd:
        raise SystemExit("channel counts do not add up")
    analog = []
    for i in range(na):
        f = lines[2 + i].split(",")
        analog.append({"name": f[1], "unit": f[4], "a": float(f[5]), "b": float(f[6])})
    at = 2 + na + nd
    at += 1  # line frequency
    nrates = int(lines[at]); at += 1
    rate, endsamp = lines[at].split(","); at += 1 + (nrates - 1)
    at += 2  # first sample and trigger time
    fmt = lines[at].strip().upper()
    timemult = float(lines[at + 1]) if len(lines) > at + 1 and lines[at + 1].strip() else 1.0
    rate = float(rate)
    if rate <= 0:
        raise SystemExit(f"sample rate {rate} is no rate")
    stamps = []

    def check(index, number, stamp):
        if number != index + 1:
            raise SystemExit(f"row {index + 1} is numbered {number}")
        want = index * 1e6 / rate
        if abs(stamp * timemult - want) > max(0.5, timemult / 2) + 1e-6:
            raise SystemExit(f"sample {index + 1} is stamped {stamp} x {timemult} us, expected {want:.3f} us")
        stamps.append(stamp * timemult)

    dat_path = cfg_path[:-4] + ".dat"
    samples = []
    if fmt == "ASCII":
        with open(dat_path, encoding="latin-1") as f:
            for line in f:
                if not line.strip():
                    continue
                v = line.strip().split(",")
                check(len(samples), int(v[0]), int(v[1]))
                samples.append([analog[c]["a"] * int(v[2 + c]) + analog[c]["b"] for c in range(na)])
    elif fmt == "BINARY":
        digital_words = (nd + 15) // 16
        size = 8 + 2 * na + 2 * digital_words
        with open(dat_path, "rb") as f:
            data = f.read()
        if len(data) % size:
            raise SystemExit("binary data is not a whole number of samples")
        for off in range(0, len(data), size):
            raw = struct.unpack_from("<II" + "h" * na, data, off)
            check(len(samples), raw[0], raw[1])
            samples.append([analog[c]["a"] * raw[2 + c] + analog[c]["b"] for c in range(na)])
    else:
        raise SystemExit(f"unknown format {fmt}")
    if len(samples) != int(endsamp):
        raise SystemExit(f"{len(samples)} samples, the cfg says {endsamp}")
    return {"station": station, "device": device, "rate": rate, "format": fmt,
            "lastStampUs": stamps[-1] if stamps else None,
            "channels": [[c["name"], c["unit"]] for c in analog], "samples": samples}


if __name__ == "__main__":
    print(json.dumps(read(sys.argv[1])))
