<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="en_US" sourcelanguage="de_DE">
<context>
    <name>TTr</name>
    <message>
        <source>Gerätezeit</source>
        <translation>Device time</translation>
    </message>
    <message>
        <source>Betriebsname</source>
        <translation>Plant name</translation>
    </message>
    <message>
        <source>Messfeld</source>
        <translation>Measuring field</translation>
    </message>
    <message>
        <source>Gerätename</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>Firmwareversion</source>
        <translation>Firmware version</translation>
    </message>
    <message>
        <source>Releaseversion</source>
        <translation>Release version</translation>
    </message>
    <message>
        <source>Artikel Nummer</source>
        <translation>Article number</translation>
    </message>
    <message>
        <source>Seriennummer</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>Laufzeit</source>
        <translation>Uptime</translation>
    </message>
    <message>
        <source>Used: %1  Free: %2  Bad: %3  Total: %4  (%5% frei)</source>
        <translation>Used: %1  Free: %2  Bad: %3  Total: %4  (%5% free)</translation>
    </message>
    <message>
        <source>Speicher (MB)</source>
        <translation>Storage (MB)</translation>
    </message>
    <message>
        <source>Arbeitsspeicher (MB)</source>
        <translation>RAM (MB)</translation>
    </message>
    <message>
        <source>SD (MB)</source>
        <translation>SD (MB)</translation>
    </message>
    <message>
        <source>Systemlast</source>
        <translation>System load</translation>
    </message>
    <message>
        <source>Aktuelle Aufzeichnungsdateien</source>
        <translation>Current recording files</translation>
    </message>
    <message>
        <source>NTP %1</source>
        <translation>NTP %1</translation>
    </message>
    <message>
        <source>Zeitsynchronisation</source>
        <translation>Time synchronisation</translation>
    </message>
    <message>
        <source>keine Verbindung innerhalb von %1 s</source>
        <translation>no connection within %1 s</translation>
    </message>
    <message>
        <source>keine Verbindung zu %1:%2</source>
        <translation>no connection to %1:%2</translation>
    </message>
</context>
</TS>