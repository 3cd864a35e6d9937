#!/usr/bin/env python3
"""Writes the sample device's setup document (data/device/.../setup/setup.xml).

The document is generated so that it stays consistent (unique ids per parent,
every kind of item, visibility and editability levels 0..3) and regenerated
the same way every time: run it after changing the tables below.
"""
import sys
import xml.etree.ElementTree as ET

MODULE_GROUP = 4278190084  # 0xFF000004: the group holding the software modules


def item(parent, tag, id_, **kw):
    e = ET.SubElement(parent, tag, id=str(id_))
    for k in ("visibility", "editability", "type", "value", "default", "low", "high", "rec"):
        if k in kw and kw[k] is not None:
            ET.SubElement(e, k).text = str(kw[k])
    if "range" in kw:
        r = ET.SubElement(e, "range", list="true")
        for v in kw["range"]:
            if isinstance(v, tuple):
                x = ET.SubElement(r, "entry", id=str(v[1]))
                x.text = str(v[0])
            else:
                x = ET.SubElement(r, "entry")
                if v != "":
                    x.text = str(v)
    for m in kw.get("mandatory", []):
        ET.SubElement(e, "mandatory").text = str(m)
    return e


def param(parent, id_, type_, value, default=None, low=None, high=None, vis=1, edit=1, **kw):
    return item(parent, "parameter", id_, visibility=vis, editability=edit, type=type_, value=value,
                default=value if default is None else default, low=low, high=high, **kw)


def prop(parent, id_, value, vis=0):
    return item(parent, "property", id_, visibility=vis, value=value)


def datapoint(parent, id_, rec, default=0, vis=1, edit=1, mandatory=()):
    return item(parent, "datapoint", id_, visibility=vis, editability=edit, rec=rec, default=default,
                mandatory=list(mandatory))


def build():
    root = ET.Element("config", version="2.10.0")
    ET.SubElement(root, "device", name="Vanta Sim", serial="12345678", article="1197500")
    system = ET.SubElement(root, "system")
    sys_ = ET.SubElement(system, "group", name="sys", id="4278190080")

    # Device facts.
    info = ET.SubElement(sys_, "group", id="16777216")
    prop(info, 16777217, "Vanta Sim")
    prop(info, 16777218, "12345678")
    prop(info, 16777219, "1197500")
    prop(info, 16777220, "2.10.0")
    prop(info, 16777221, "B", vis=2)

    # Nominal values and transformers (the simplified page binds these ids).
    nominal = ET.SubElement(sys_, "group", id="218169343")  # 0x0D00FFFF: nominal values
    param(nominal, 0x0D000000, "float", "50", low="45", high="65", vis=0, edit=0)           # nominal frequency
    param(nominal, 0x0D010000, "float", "230", low="1", high="1000000", vis=0, edit=0)      # secondary nominal voltage
    param(nominal, 0x0D020000, "float", "100", low="10", high="200", vis=0, edit=0)         # LL in % of nominal
    param(nominal, 0x0D030000, "float", "100", low="1", high="200", vis=0, edit=0)          # LL voltage in % (transformers)
    for ch in range(4):
        param(nominal, 0x0D040000 + ch, "float", "1", low="0.001", high="100000", vis=0, edit=0)  # voltage factors
        param(nominal, 0x0D050000 + ch, "float", "1", low="0.001", high="100000", vis=0, edit=0)  # current factors
    for i in range(0x0D140000, 0x0D143001, 0x1000):
        param(nominal, i, "float", "110", low="50", high="200", vis=0, edit=0)               # limit values
    # Oscilloscope and RMS recorder triggers.
    for i in (0x0F170000, 0x0F180000, 0x0F190000, 0x0F1A0000, 0x0F1B0000):
        param(nominal, i, "float", "120", low="0", high="1000", vis=0, edit=0)
    for i in (0x10000000, 0x10010000, 0x10020000):
        param(nominal, i, "integer", "100", low="0", high="100000", vis=0, edit=0)
    param(nominal, 0x10040000, "integer", "12800", low="1", high="102400", vis=0, edit=0)
    for i in (0x11000000, 0x11010000, 0x11020000):
        param(nominal, i, "integer", "10", low="0", high="10000", vis=0, edit=0)
    for i in range(0x10030059, 0x10030063):
        param(nominal, i, "boolean", "1", vis=0, edit=0)
    param(nominal, 0x14030000, "float", "0.03", low="0", high="10", vis=0, edit=0)
    for i in (0x14040000, 0x14050000, 0x140A0000):
        param(nominal, i, "float", "50", low="0", high="100", vis=0, edit=0)

    # Transformers of the simplified page: common factors, relative channel
    # factors, secondary nominal voltage, network form.
    trafo = ET.SubElement(sys_, "group", id="234881023")  # 0x0DFFFFFF
    param(trafo, 0x0E090000, "float", "100", low="0.001", high="1000000", vis=0, edit=0)   # WLFU
    param(trafo, 0x0E0A0000, "float", "50", low="0.001", high="1000000", vis=0, edit=0)    # WLFI
    for ch in range(4):
        param(trafo, 0x0E0B0000 + 0x100 * ch, "float", "1", low="-2", high="2", vis=0, edit=0)        # WLKFU1..4
        param(trafo, 0x0E0B0400 + 0x100 * ch, "float", "1", low="-2", high="2", vis=0, edit=0)        # WLKFI1..4
    param(trafo, 0x0E0C0000, "float", "100", low="1", high="1000", vis=0, edit=0)          # secondary nominal voltage
    param(trafo, 0x0E040000, "integer", "0", vis=0, edit=0, range=[("0", 0x0E040001), ("1", 0x0E040002), ("2", 0x0E040003)])
    param(trafo, 0x0E0D0000, "float", "0.123456789", low="0", high="10", vis=1, edit=1)    # more than five decimals

    # A parameter standing directly below "sys", and rules in odd spellings.
    param(sys_, 0x0F000001, "Float", "1.5", vis=1, edit=1)
    odd = ET.SubElement(sys_, "group", id="251658240")  # 0x0F000000
    param(odd, 0x0F000002, "exit-meas-id", "16843009", vis=1, edit=1)
    param(odd, 0x0F000003, "mystery", "as text", vis=1, edit=1)                            # unknown type: text
    p = param(odd, 0x0F000004, "integer", "2", vis=1, edit=1)                              # a range that is no list
    r = ET.SubElement(p, "range")
    for v in ("1", "2", "3"):
        ET.SubElement(r, "entry").text = v
    param(odd, 0x0F000005, "text", "b", vis=1, edit=1, range=["a", "b", "c"])              # text enumeration
    param(odd, 0x0F000006, "float", "0.5", vis=1, edit=1, range=["0.5", "1.5", "2.5"])     # float enumeration
    for kind, value in (("float", "2"), ("integer", "-3"), ("uint32", "7"), ("text", "frei"), ("measId", "16843010")):
        param(odd, 0x0F000010 + len(value) + ord(kind[0]), kind, value, vis=1, edit=1)    # no limits at all

    # Network.
    net = ET.SubElement(sys_, "group", id="33554432")
    param(net, 33554433, "ipaddress", "192.0.2.20", vis=1, edit=2)
    param(net, 33554434, "ipaddress", "255.255.255.0", vis=1, edit=2)
    param(net, 33554435, "ipaddress", "192.0.2.1", vis=1, edit=2)
    param(net, 33554436, "text", "vanta-sim", low="1", high="63", vis=1, edit=1)
    param(net, 33554437, "boolean", "0", vis=1, edit=1)
    param(net, 33554438, "uint32", "5040", low="1", high="65535", vis=2, edit=3)

    # Time synchronisation.
    time_ = ET.SubElement(sys_, "group", id="50331648")
    param(time_, 50331649, "integer", "7", vis=1, edit=1,
          range=[("0", 50331760), ("1", 50331761), ("2", 50331762), ("3", 50331763), ("4", 50331764), ("5", 50331765), ("6", 50331766),
                 ("7", 50331767)])
    for i in range(4):
        param(time_, 50331650 + i, "ipaddress", "192.0.2.10" if i == 0 else "", vis=1, edit=1)
        param(time_, 50331660 + i, "uint32", "123", low="1", high="65535", vis=2, edit=2)
    param(time_, 50331670, "integer", "64", low="16", high="1024", vis=1, edit=1)
    param(time_, 50331671, "integer", "60", low="-720", high="840", vis=1, edit=1)
    param(time_, 50331672, "boolean", "1", vis=1, edit=1)
    param(time_, 33554436, "text", "ntp-host", low="1", high="63", vis=1, edit=1)  # the same id as the host name, another parent

    # Recorder classes with datapoints (rec flags, defaults, mandatory members).
    recorder = ET.SubElement(sys_, "group", id="67108864")
    classes = ["10T", "150T", "10min", "2h", "1s", "10s"]
    for c, name in enumerate(classes):
        cls = ET.SubElement(recorder, "group", id=str(67108864 + 0x10000 * (c + 1)))
        param(cls, 67108864 + 0x10000 * (c + 1) + 1, "boolean", "1" if name in ("10min", "1s") else "0", vis=1, edit=1)
        base = 0x04000000 + 0x10000 * (c + 1) + 0x100
        parent = datapoint(cls, base, 1 if name == "10min" else 0, mandatory=(base + 1, base + 0x10))
        datapoint(parent, base + 1, 1 if name == "10min" else 0, default=1)  # time stamp: mandatory
        for k in range(2, 14):
            datapoint(parent, base + k, 1 if (name == "10min" and k < 8) else 0, default=1 if k < 5 else 0,
                      vis=1 if k < 10 else 2, edit=1 if k < 12 else 3)
        sub = ET.SubElement(parent, "group", id=str(base + 0x10))
        for k in range(4):  # mandatory group: recorded exactly when its class records anything
            datapoint(sub, base + 0x11 + k, 1 if name == "10min" else 0, default=1)
        # A second datapoint with an own mandatory rule.
        flags = datapoint(cls, base + 0x80, 0, mandatory=(base + 0x81,))
        datapoint(flags, base + 0x81, 0)
        datapoint(flags, base + 0x82, 0)

    # Events.
    events = ET.SubElement(sys_, "group", id="83886080")
    for k, (low, high, val) in enumerate([("0", "100", "90"), ("100", "200", "110"), ("0", "100", "5"), ("0", "100", "10")]):
        param(events, 83886081 + k, "float", val, low=low, high=high, vis=1, edit=1)
    param(events, 83886090, "integer", "20", low="1", high="1000", vis=1, edit=1)
    param(events, 83886091, "measId", "16843009", vis=1, edit=1)
    param(events, 83886092, "measId", "16843010", vis=1, edit=1)
    param(events, 83886093, "float", "1.5", vis=3, edit=3)

    # Software modules.
    modules = ET.SubElement(sys_, "group", id=str(MODULE_GROUP))
    mod = ET.SubElement(modules, "swmodule", id="4278190336")  # Modbus
    param(mod, 4278190337, "boolean", "1", vis=1, edit=1)
    param(mod, 4278190338, "uint32", "502", low="1", high="65535", vis=1, edit=1)
    for s in range(16):
        slave = ET.SubElement(mod, "group", id=str(4278190352 + s))
        param(slave, 4278190600 + s, "exitmeasId", str(16843009 + s), vis=1, edit=1)
        param(slave, 4278190700 + s, "integer", str(s), low="0", high="9999", vis=1, edit=1)
        param(slave, 4278190800 + s, "integer", "0", vis=1, edit=1, range=[("0", 4278190900), ("1", 4278190901), ("2", 4278190902)])
    mod = ET.SubElement(modules, "swmodule", id="4278190464")  # IEC 61850
    param(mod, 4278190465, "boolean", "1", vis=1, edit=1)
    param(mod, 4278190467, "text", "VANTASIM01", low="1", high="32", vis=1, edit=1)  # IED name
    param(mod, 4278190468, "text", "station.icd", low="0", high="64", vis=2, edit=3)  # ICD file name
    for k, v in enumerate(("1", "B", "2007", "B", "VantaSim")):                        # version, revision, SCL version/revision, id
        param(mod, 4278190469 + k, "text", v, low="0", high="64", vis=2, edit=3)
    param(mod, 4278190474, "uint32", "102", low="1", high="65535", vis=2, edit=2)
    datapoint(mod, 4278190475, 1, default=1, vis=1, edit=1)                            # a datapoint inside a module
    mod = ET.SubElement(modules, "swmodule", id="4278190592")  # IEC 60870-5-104
    param(mod, 4278190593, "boolean", "0", vis=1, edit=1)
    param(mod, 4278190594, "uint32", "2404", low="1", high="65535", vis=1, edit=1)
    param(mod, 4278190595, "integer", "1", low="1", high="65534", vis=1, edit=1)
    mod = ET.SubElement(modules, "swmodule", id="4278190720")  # GPS receiver
    param(mod, 4261413254, "text", "N48.1351E11.5820", low="0", high="40", vis=1, edit=1)  # GPS position
    param(mod, 4278190722, "boolean", "0", vis=1, edit=1)
    mod = ET.SubElement(modules, "swmodule", id="4278190848")  # tunnel
    param(mod, 4261413803, "text", "wg0.conf", low="0", high="128", vis=1, edit=1)  # tunnel configuration
    param(mod, 4278190850, "secret", "", low="0", high="64", vis=2, edit=2)
    param(mod, 4278190851, "boolean", "", vis=1, edit=1, range=["", "0", "1"])
    mod = ET.SubElement(modules, "swmodule", id="4278191104")  # network settings: never reset to defaults
    param(mod, 4278191105, "ipaddress", "192.0.2.20", vis=1, edit=2)
    param(mod, 4278191106, "boolean", "1", vis=1, edit=1)
    mod = ET.SubElement(modules, "swmodule", id="4278190976")  # service-only module: nothing visible below level 3
    param(mod, 4278190977, "text", "hidden", vis=3, edit=3)

    # Users and service settings.
    svc = ET.SubElement(sys_, "group", id="100663296")
    for k in range(20):
        param(svc, 100663297 + k, "integer", str(k), low="0", high="1000", vis=2 + (k % 2), edit=3)
    return root


# Captions of the sample's folders, modules and main settings: id, short
# name, German text, English text. Module captions are unique: sending and
# the CSV export find modules by their caption.
CAPTIONS = [
    (4278190080, "sys", "System", "System"),
    (16777216, "info", "Geräteinformation", "Device information"),
    (16777217, "devname", "Gerätename", "Device name"),
    (16777218, "serial", "Seriennummer", "Serial number"),
    (218169343, "nominal", "Nennwerte", "Nominal values"),
    (0x0D000000, "fnom", "Nennfrequenz", "Nominal frequency"),
    (0x0D010000, "unom", "Sekundäre Nennspannung", "Secondary nominal voltage"),
    (0x0D030000, "ullpct", "Nennspannung L-L in %", "Nominal voltage L-L in %"),
    (234881023, "trafo", "Wandler", "Transformers"),
    (0x0E090000, "wlfu", "Spannungswandlerfaktor", "Voltage transformer factor"),
    (0x0E0A0000, "wlfi", "Stromwandlerfaktor", "Current transformer factor"),
    (0x0E0C0000, "usec", "Sekundärspannung", "Secondary voltage"),
    (0x0E040000, "netform", "Netzform", "Network form"),
    (0x0E040001, "net4l3p", "4-Leiter, 3 Phasen", "4 wire, 3 phases"),
    (0x0E040002, "net4l1p", "4-Leiter, 1 Phase", "4 wire, 1 phase"),
    (0x0E040003, "net3l", "3-Leiter", "3 wire"),
    (33554432, "network", "Netzwerk", "Network"),
    (33554436, "hostname", "Hostname", "Host name"),
    (50331648, "time", "Zeitsynchronisation", "Time synchronisation"),
    (67108864, "recorder", "Rekorder", "Recorder"),
    (83886080, "events", "Ereignisse", "Events"),
    (MODULE_GROUP, "modules", "Softwaremodule", "Software modules"),
    (4278190336, "modbus", "Modbus", "Modbus"),
    (4278190464, "iec61850", "IEC 61850", "IEC 61850"),
    (4278190467, "iedname", "IED-Name", "IED name"),
    (4278190592, "iec104", "IEC 60870-5-104", "IEC 60870-5-104"),
    (4278190720, "gps", "GPS-Empfänger", "GPS receiver"),
    (4261413254, "gpspos", "GPS-Position", "GPS position"),
    (4278190848, "tunnel", "Tunnel", "Tunnel"),
    (4278191104, "netmod", "Netzwerkeinstellungen", "Network settings"),
    (4278190976, "service", "Service", "Service"),
    (100663296, "users", "Benutzer und Service", "Users and service"),
    (16777219, "artnum", "Artikelnummer", "Article number"),
    (16777220, "fwver", "Firmware-Version", "Firmware version"),
    (16777221, "hwrev", "Hardware-Revision", "Hardware revision"),
    (251658240, "testvals", "Testwerte", "Test values"),
    (33554433, "ipaddr", "IP-Adresse", "IP address"),
    (33554434, "netmask", "Netzmaske", "Network mask"),
    (33554435, "gateway", "Gateway", "Gateway"),
    (33554437, "dhcp", "DHCP", "DHCP"),
    (33554438, "ccciport", "CCCI-Port", "CCCI port"),
    (50331649, "timesrc", "Zeitquelle", "Time source"),
    (50331650, "ntp1", "NTP-Server 1", "NTP server 1"),
    (50331651, "ntp2", "NTP-Server 2", "NTP server 2"),
    (50331652, "ntp3", "NTP-Server 3", "NTP server 3"),
    (50331653, "ntp4", "NTP-Server 4", "NTP server 4"),
    (50331660, "ntpport1", "NTP-Port 1", "NTP port 1"),
    (50331661, "ntpport2", "NTP-Port 2", "NTP port 2"),
    (50331662, "ntpport3", "NTP-Port 3", "NTP port 3"),
    (50331663, "ntpport4", "NTP-Port 4", "NTP port 4"),
    (50331670, "ntppoll", "NTP-Abfrageintervall [s]", "NTP poll interval [s]"),
    (50331671, "tzoffset", "Zeitzonenversatz [min]", "Time zone offset [min]"),
    (50331672, "dst", "Sommerzeit", "Daylight saving time"),
    (50331760, "tsman", "Manuell", "Manual"),
    (50331761, "tsdcf", "DCF77", "DCF77"),
    (50331762, "ts1344", "IEEE 1344", "IEEE 1344"),
    (50331763, "tsirig03", "IRIG-B 0..3", "IRIG-B 0..3"),
    (50331764, "tsirig47", "IRIG-B 4..7", "IRIG-B 4..7"),
    (50331765, "tsrmc", "NMEA RMC", "NMEA RMC"),
    (50331766, "tszda", "NMEA ZDA", "NMEA ZDA"),
    (50331767, "tsntp", "NTP", "NTP"),
    (67174400, "cls10min", "Klasse 10 min", "Class 10 min"),
    (67239936, "cls1s", "Klasse 1 s", "Class 1 s"),
    (67305472, "cls200ms", "Klasse 200 ms", "Class 200 ms"),
    (67371008, "cls1min", "Klasse 1 min", "Class 1 min"),
    (67436544, "cls15min", "Klasse 15 min", "Class 15 min"),
    (67502080, "cls2h", "Klasse 2 h", "Class 2 h"),
    (83886081, "dipthr", "Einbruchschwelle [%]", "Dip threshold [%]"),
    (83886082, "swlthr", "Überhöhungsschwelle [%]", "Swell threshold [%]"),
    (83886083, "hyst", "Hysterese [%]", "Hysteresis [%]"),
    (83886084, "intthr", "Unterbrechungsschwelle [%]", "Interruption threshold [%]"),
    (83886090, "pretrig", "Vorlaufzeit [Perioden]", "Pre-trigger [cycles]"),
    (83886091, "watch1", "Überwachte Größe 1", "Monitored value 1"),
    (83886092, "watch2", "Überwachte Größe 2", "Monitored value 2"),
]


def write_captions(folder):
    for lang, column in (("de", 2), ("en", 3)):
        with open(f"{folder}/captions_{lang}.tsv", "w", encoding="utf-8") as f:
            f.write(f"# Captions of the sample device ({lang}): id, short name, text\n")
            for row in CAPTIONS:
                f.write(f"{row[0]}\t{row[1]}\t{row[column]}\n")


def scale(root, n):
    """Appends n bulk folders of 40 parameters each (about 7 kB a folder)."""
    sys_ = root.find(".//*[@name='sys']")
    kinds = ["float", "integer", "uint32", "text", "boolean", "measId", "ipaddress", "secret"]
    next_id = 0x30000000
    for f in range(n):
        folder = ET.SubElement(sys_, "group", id=str(0x2F000000 + f))
        for i in range(40):
            kind = kinds[i % 8]
            value = {"float": "1.5", "integer": str(i), "uint32": str(i), "text": "t%d" % i, "boolean": "1",
                     "measId": "16843009", "ipaddress": "192.0.2.%d" % (i + 1), "secret": ""}[kind]
            param(folder, next_id, kind, value, low="0" if kind in ("float", "integer", "uint32") else None,
                  high="1000" if kind in ("float", "integer", "uint32") else None, vis=i % 4, edit=1)
            next_id += 1


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--scale")]
    n = 0
    for a in sys.argv[1:]:
        if a.startswith("--scale="):
            n = int(a.split("=", 1)[1])
    out = args[0] if args else "data/device/mnt/flashdrive0/data/setup/setup.xml"
    root = build()
    if n:
        scale(root, n)
    if not args:
        write_captions("data/captions")
    ET.indent(root)
    ET.ElementTree(root).write(out, encoding="UTF-8", xml_declaration=True)
    count = sum(1 for e in root.iter() if e.tag in ("parameter", "datapoint", "property"))
    print(f"{out}: {count} items")


if __name__ == "__main__":
    main()
