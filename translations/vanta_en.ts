<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="en_US" sourcelanguage="de_DE">
<context>
    <name>TReadoutTree</name>
    <message>
        <source>Rekorder Daten</source>
        <translation>Recorder data</translation>
    </message>
    <message>
        <source>Störschrieb Rekorder</source>
        <translation>Disturbance recorder</translation>
    </message>
    <message>
        <source>Oszilloskop Rekorder</source>
        <translation>Oscilloscope recorder</translation>
    </message>
    <message>
        <source>10ms TRMS Rekorder</source>
        <translation>10ms TRMS recorder</translation>
    </message>
    <message>
        <source>PQ-Ereignisse</source>
        <translation>PQ events</translation>
    </message>
    <message>
        <source>Variables Sekundenintervall TRMS</source>
        <translation>Variable second interval TRMS</translation>
    </message>
    <message>
        <source>Variables Minutenintervall TRMS</source>
        <translation>Variable minute interval TRMS</translation>
    </message>
</context>
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
        <source>Parameter</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Parameter neu lesen</source>
        <translation>Read parameters again</translation>
    </message>
    <message>
        <source>Online-Messdaten</source>
        <translation>Online measured data</translation>
    </message>
    <message>
        <source>Datenauslese</source>
        <translation>Data readout</translation>
    </message>
    <message>
        <source>Offline-Daten</source>
        <translation>Offline data</translation>
    </message>
    <message>
        <source>Firmware-Update</source>
        <translation>Firmware update</translation>
    </message>
    <message>
        <source>Firmware-Update mehrerer Geräte</source>
        <translation>Firmware update of several devices</translation>
    </message>
    <message>
        <source>Gerätestatus</source>
        <translation>Device status</translation>
    </message>
    <message>
        <source>SSH einrichten</source>
        <translation>Set up SSH</translation>
    </message>
    <message>
        <source>Benutzer einrichten</source>
        <translation>Set up users</translation>
    </message>
    <message>
        <source>Kalibrierung</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>Für dieses Gerät ist noch keine Seriennummer bekannt – bitte einmal verbinden.</source>
        <translation>No serial number is known for this device yet – please connect once.</translation>
    </message>
    <message>
        <source>(Gerät)</source>
        <translation>(device)</translation>
    </message>
    <message>
        <source>Passwort</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Übersicht</source>
        <translation>Overview</translation>
    </message>
    <message>
        <source>CCCI-Schnittstelle</source>
        <translation>CCCI interface</translation>
    </message>
    <message>
        <source>Speicher</source>
        <translation>Storage</translation>
    </message>
    <message>
        <source>Kalibrator</source>
        <translation>Calibrator</translation>
    </message>
    <message>
        <source>Gerät</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Anschluss zeigen</source>
        <translation>Show wiring</translation>
    </message>
    <message>
        <source>Grenze</source>
        <translation>Limit</translation>
    </message>
    <message>
        <source>Frequenzband</source>
        <translation>Frequency band</translation>
    </message>
    <message>
        <source>Ordnung</source>
        <translation>Order</translation>
    </message>
    <message>
        <source>Grenzen</source>
        <translation>Limits</translation>
    </message>
    <message>
        <source>Woche</source>
        <translation>Week</translation>
    </message>
    <message>
        <source>Werte</source>
        <translation>Values</translation>
    </message>
    <message>
        <source>Ergebnis</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>Woche ab %1</source>
        <translation>Week from %1</translation>
    </message>
    <message>
        <source>bestanden</source>
        <translation>passed</translation>
    </message>
    <message>
        <source>nicht bestanden</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>geforderter Anteil</source>
        <translation>required share</translation>
    </message>
    <message>
        <source>Anteil der 10-Minuten-Werte innerhalb der Grenze [%], je Größe die schlechteste Phase</source>
        <translation>Share of the 10-minute values within the limit [%], per quantity the worst phase</translation>
    </message>
    <message>
        <source>Einhaltung je Woche und Größe (%1/%2)</source>
        <translation>Compliance per week and quantity (%1/%2)</translation>
    </message>
    <message>
        <source>Einhaltung je Woche und Größe</source>
        <translation>Compliance per week and quantity</translation>
    </message>
    <message>
        <source>Spannung: 10-Minuten-Werte</source>
        <translation>Voltage: 10-minute values</translation>
    </message>
    <message>
        <source>-10 % Un (95 %)</source>
        <translation>-10 % Un (95 %)</translation>
    </message>
    <message>
        <source>+10 % Un (95 % und 100 %)</source>
        <translation>+10 % Un (95 % and 100 %)</translation>
    </message>
    <message>
        <source>-15 % Un (100 %)</source>
        <translation>-15 % Un (100 %)</translation>
    </message>
    <message>
        <source>Frequenz: 10-Minuten-Werte</source>
        <translation>Frequency: 10-minute values</translation>
    </message>
    <message>
        <source>49,5 Hz (99,5 %)</source>
        <translation>49.5 Hz (99.5 %)</translation>
    </message>
    <message>
        <source>50,5 Hz (99,5 %)</source>
        <translation>50.5 Hz (99.5 %)</translation>
    </message>
    <message>
        <source>Grenzen für 100 % der Werte (47 Hz und 52 Hz) liegen außerhalb des gezeigten Bereichs.</source>
        <translation>Limits for 100 % of the values (47 Hz and 52 Hz) lie outside the range shown.</translation>
    </message>
    <message>
        <source>Harmonische Leiter-Leiter: 95 %-Werte (schlechteste Woche) gegen ihre Grenzen</source>
        <translation>Harmonics line-to-line: 95 % values (worst week) against their limits</translation>
    </message>
    <message>
        <source>Harmonische: 95 %-Werte (schlechteste Woche) gegen ihre Grenzen</source>
        <translation>Harmonics: 95 % values (worst week) against their limits</translation>
    </message>
    <message>
        <source>%1: 95 %-Werte</source>
        <translation>%1: 95 % values</translation>
    </message>
    <message>
        <source>95 %-Wert</source>
        <translation>95 % value</translation>
    </message>
    <message>
        <source>%1 Leiter-Leiter: 95 %-Werte</source>
        <translation>%1 line-to-line: 95 % values</translation>
    </message>
    <message>
        <source>Differenzstrom (größter Kanal)</source>
        <translation>Residual current (largest channel)</translation>
    </message>
    <message>
        <source>Bezug</source>
        <translation>Reference</translation>
    </message>
    <message>
        <source>Differenzstrom und Bezug</source>
        <translation>Residual current and reference</translation>
    </message>
    <message>
        <source>EN 50160 Bewertung</source>
        <translation>EN 50160 assessment</translation>
    </message>
    <message>
        <source>Anlage: %1   Gerät: %2   Seriennummer: %3   Nennspannung: %4 V</source>
        <translation>Plant: %1   Device: %2   Serial number: %3   Nominal voltage: %4 V</translation>
    </message>
    <message>
        <source>Gesamtergebnis: %1</source>
        <translation>Overall result: %1</translation>
    </message>
    <message>
        <source>Anteil der 10-Minuten-Werte je Woche innerhalb der Grenze, in %; je Größe die schlechteste Phase.</source>
        <translation>Share of the 10-minute values per week within the limit, in %; per quantity the worst phase.</translation>
    </message>
    <message>
        <source>Grenzen: f 49,5-50,5 Hz (99,5 %) und 47-52 Hz (100 %); U ±10 % (95 %), -15/+10 % (100 %);</source>
        <translation>Limits: f 49.5-50.5 Hz (99.5 %) and 47-52 Hz (100 %); U ±10 % (95 %), -15/+10 % (100 %);</translation>
    </message>
    <message>
        <source>Plt ≤ 1, Unsymmetrie ≤ 2 %, THD ≤ 8 %, Harmonische nach Ordnung (je 95 %)</source>
        <translation>Plt ≤ 1, unbalance ≤ 2 %, THD ≤ 8 %, harmonics by order (95 % each)</translation>
    </message>
    <message>
        <source>%1 Werte außerhalb der Zeitfolge (überlappende Dateien) übergangen</source>
        <translation>%1 values out of time order (overlapping files) skipped</translation>
    </message>
    <message>
        <source>Perzentile je Größe</source>
        <translation>Percentiles per quantity</translation>
    </message>
    <message>
        <source>Größe</source>
        <translation>Quantity</translation>
    </message>
    <message>
        <source>Minimum</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>Maximum</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>Wochen</source>
        <translation>Weeks</translation>
    </message>
    <message>
        <source>Dateien verschiedener Stationen: %1 und %2</source>
        <translation>files of different stations: %1 and %2</translation>
    </message>
    <message>
        <source>Statistik Harmonische Spannung</source>
        <translation>Harmonics statistics, voltage</translation>
    </message>
    <message>
        <source>Statistik Harmonische Strom</source>
        <translation>Harmonics statistics, current</translation>
    </message>
    <message>
        <source>Statistik Interharmonische</source>
        <translation>Interharmonics statistics</translation>
    </message>
    <message>
        <source>Statistik Zwischenharmonische</source>
        <translation>Interharmonic subgroup statistics</translation>
    </message>
    <message>
        <source>Statistik 2,0 - 9,0 kHz Spannung</source>
        <translation>2.0 - 9.0 kHz statistics, voltage</translation>
    </message>
    <message>
        <source>Statistik 2,0 - 9,0 kHz Strom</source>
        <translation>2.0 - 9.0 kHz statistics, current</translation>
    </message>
    <message>
        <source>%1: keine Aufzeichnung</source>
        <translation>%1: not a recording</translation>
    </message>
    <message>
        <source>keine passenden Kanäle für %1</source>
        <translation>no matching channels for %1</translation>
    </message>
    <message>
        <source>Mittelwert</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>RCM Report</source>
        <translation>RCM report</translation>
    </message>
    <message>
        <source>%1: keine Differenzstromwerte</source>
        <translation>%1: no residual current values</translation>
    </message>
    <message>
        <source>Werte: %1   Maximum: %2 mA   Überschreitungen: %3</source>
        <translation>Values: %1   Maximum: %2 mA   Exceedances: %3</translation>
    </message>
    <message>
        <source>Zeit</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Kanal</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>Differenzstrom [mA]</source>
        <translation>Residual current [mA]</translation>
    </message>
    <message>
        <source>Bezug [mA]</source>
        <translation>Reference [mA]</translation>
    </message>
    <message>
        <source>Berichte brauchen eine GUI-Anwendung (auch offscreen)</source>
        <translation>Reports need a GUI application (offscreen too)</translation>
    </message>
    <message>
        <source>%1: nicht schreibbar</source>
        <translation>%1: not writable</translation>
    </message>
    <message>
        <source>Berichtsdatei nicht lesbar: %1</source>
        <translation>Report file not readable: %1</translation>
    </message>
    <message>
        <source>Bericht ohne Dateien oder Ziel</source>
        <translation>Report without files or target</translation>
    </message>
    <message>
        <source>unbekannte Berichtsart '%1'</source>
        <translation>unknown report kind '%1'</translation>
    </message>
    <message>
        <source>Kalibrierdaten leer oder kein JSON</source>
        <translation>Calibration data empty or not JSON</translation>
    </message>
    <message>
        <source>Merkmal</source>
        <translation>Property</translation>
    </message>
    <message>
        <source>Wert</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Kalibrierzertifikat</source>
        <translation>Calibration certificate</translation>
    </message>
    <message>
        <source>Gerätetyp</source>
        <translation>Device type</translation>
    </message>
    <message>
        <source>Prüfer</source>
        <translation>Tester</translation>
    </message>
    <message>
        <source>Prüfdatum</source>
        <translation>Test date</translation>
    </message>
    <message>
        <source>Prüfzeit</source>
        <translation>Test time</translation>
    </message>
    <message>
        <source>Prüfvorschrift</source>
        <translation>Test procedure</translation>
    </message>
    <message>
        <source>Kalibrierprogramm</source>
        <translation>Calibration program</translation>
    </message>
    <message>
        <source>Umgebungsbedingungen</source>
        <translation>Ambient conditions</translation>
    </message>
    <message>
        <source>Lufttemperatur</source>
        <translation>Air temperature</translation>
    </message>
    <message>
        <source>Rel. Luftfeuchte</source>
        <translation>Rel. humidity</translation>
    </message>
    <message>
        <source>Luftdruck</source>
        <translation>Air pressure</translation>
    </message>
    <message>
        <source>Anmerkung</source>
        <translation>Remark</translation>
    </message>
    <message>
        <source>Kalibrierwerte</source>
        <translation>Calibration values</translation>
    </message>
    <message>
        <source>Spannung [V]</source>
        <translation>Voltage [V]</translation>
    </message>
    <message>
        <source>Strom [A]</source>
        <translation>Current [A]</translation>
    </message>
    <message>
        <source>Frequenz [Hz]</source>
        <translation>Frequency [Hz]</translation>
    </message>
    <message>
        <source>Referenzgeräte</source>
        <translation>Reference instruments</translation>
    </message>
    <message>
        <source>Modell</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>Prüfnummer</source>
        <translation>Test number</translation>
    </message>
    <message>
        <source>Kalibriert bis</source>
        <translation>Calibrated until</translation>
    </message>
    <message>
        <source>Zertifikat</source>
        <translation>Certificate</translation>
    </message>
    <message>
        <source>Gerät 1</source>
        <translation>Instrument 1</translation>
    </message>
    <message>
        <source>Gerät 2</source>
        <translation>Instrument 2</translation>
    </message>
    <message>
        <source>Kalibrationsstatus</source>
        <translation>Calibration status</translation>
    </message>
    <message>
        <source>Durchgang</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>,</source>
        <comment>decimal mark</comment>
        <translation>.</translation>
    </message>
    <message>
        <source>49,5-50,5 Hz</source>
        <translation>49.5-50.5 Hz</translation>
    </message>
    <message>
        <source>f 99,5 %</source>
        <translation>f 99.5 %</translation>
    </message>
    <message>
        <source>Unsym. 95 %</source>
        <translation>Unbal. 95 %</translation>
    </message>
    <message>
        <source>keine Dateien für den Bericht</source>
        <translation>no files for the report</translation>
    </message>
    <message>
        <source>Nennspannung %1 V ungültig</source>
        <translation>nominal voltage %1 V invalid</translation>
    </message>
    <message>
        <source>keine 10-Minuten-Werte</source>
        <translation>no 10-minute values</translation>
    </message>
    <message>
        <source>Gruppe 0x%1</source>
        <translation>Group 0x%1</translation>
    </message>
    <message>
        <source>kann nicht umbenannt werden</source>
        <translation>cannot be renamed</translation>
    </message>
    <message>
        <source>Ordner nicht anlegbar</source>
        <translation>folder cannot be created</translation>
    </message>
    <message>
        <source>%1 / %2 Dateien – %3 / %4</source>
        <translation>%1 / %2 files – %3 / %4</translation>
    </message>
    <message>
        <source> – noch %1:%2</source>
        <translation> – %1:%2 left</translation>
    </message>
    <message>
        <source>%1: Datei endet vor Zeile %2</source>
        <translation>%1: file ends before row %2</translation>
    </message>
    <message>
        <source>%1: Zeile %2 passt nicht zu %3 Kanälen (Offset %4)</source>
        <translation>%1: row %2 does not fit %3 channels (offset %4)</translation>
    </message>
    <message>
        <source>%1: nicht umbenannt nach %2</source>
        <translation>%1: not renamed to %2</translation>
    </message>
    <message>
        <source>%1: keine Aufzeichnung (%2)</source>
        <translation>%1: not a recording (%2)</translation>
    </message>
    <message>
        <source>Datei unvollständig: %1 Datensätze gelesen, %2 Bytes am Ende ignoriert</source>
        <translation>File incomplete: %1 records read, %2 bytes at the end ignored</translation>
    </message>
    <message>
        <source>Alle Kurven in einem Bereich: jede Kurve in % ihres Bereichs</source>
        <translation>All curves in one range: each curve in % of its range</translation>
    </message>
    <message>
        <source>Ein Bereich je Größe: seine Achse umfasst die Bereiche seiner Kurven</source>
        <translation>One range per quantity: its axis spans the ranges of its curves</translation>
    </message>
    <message>
        <source>Ein Bereich je Kurve</source>
        <translation>One range per curve</translation>
    </message>
    <message>
        <source>SSH-Anmeldung abgelehnt</source>
        <translation>SSH login refused</translation>
    </message>
    <message>
        <source>Das bisherige Passwort ist abgelaufen. Neues Passwort: </source>
        <translation>The current password has expired. New password: </translation>
    </message>
    <message>
        <source>Mitschnitt nicht möglich: %1</source>
        <translation>Trace not possible: %1</translation>
    </message>
    <message>
        <source>serielle Schnittstelle %1 nicht verfügbar</source>
        <translation>serial port %1 not available</translation>
    </message>
    <message>
        <source>keine Antwort</source>
        <translation>no answer</translation>
    </message>
    <message>
        <source>Alle Spannungsmesseingänge auf Erdpotential legen und alle Strommesseingänge von der Quelle trennen.</source>
        <translation>Connect all voltage inputs to earth potential and disconnect all current inputs from the source.</translation>
    </message>
    <message>
        <source>Spannung = 0 V</source>
        <translation>Voltage = 0 V</translation>
    </message>
    <message>
        <source>Strom = 0 A</source>
        <translation>Current = 0 A</translation>
    </message>
    <message>
        <source>Spannungs- und Strompfade des Kalibrators an alle Messeingänge anschließen (Spannungen parallel, Ströme in Reihe), das Referenzmessgerät dazu.</source>
        <translation>Connect the calibrator's voltage and current paths to all measuring inputs (voltages in parallel, currents in series), and the reference meter as well.</translation>
    </message>
    <message>
        <source>Am Kalibrator folgende Werte einstellen:</source>
        <translation>Set the following values on the calibrator:</translation>
    </message>
    <message>
        <source>Spannung = 100.00 V</source>
        <translation>Voltage = 100.00 V</translation>
    </message>
    <message>
        <source>Strom = 5.000 A</source>
        <translation>Current = 5.000 A</translation>
    </message>
    <message>
        <source>Frequenz = 60.000 Hz</source>
        <translation>Frequency = 60.000 Hz</translation>
    </message>
    <message>
        <source>Frequenz = 50.000 Hz</source>
        <translation>Frequency = 50.000 Hz</translation>
    </message>
    <message>
        <source>Werte der Kontrollmessung eingeben:</source>
        <translation>Enter the values of the check measurement:</translation>
    </message>
    <message>
        <source>Warte auf das Gerät seit %1</source>
        <translation>Waiting for the device for %1</translation>
    </message>
    <message>
        <source>Schritt %1</source>
        <translation>Step %1</translation>
    </message>
    <message>
        <source>Kalibrierzertifikat kann nicht gespeichert werden (%1): Kalibrierung nicht begonnen</source>
        <translation>Cannot save the calibration certificate (%1): calibration not started</translation>
    </message>
    <message>
        <source>Der Benutzer "%1" hat nicht die nötigen Rechte für diesen Vorgang!</source>
        <translation>The user "%1" lacks the rights for this operation!</translation>
    </message>
    <message>
        <source>Spannung (V): </source>
        <translation>Voltage (V): </translation>
    </message>
    <message>
        <source>Strom (A): </source>
        <translation>Current (A): </translation>
    </message>
    <message>
        <source>Weiter mit Enter </source>
        <translation>Continue with Enter </translation>
    </message>
    <message>
        <source>Kalibrierung abgebrochen: keine Eingabe (Schritt %1)</source>
        <translation>Calibration cancelled: no input (step %1)</translation>
    </message>
    <message>
        <source>Kalibrierung abgebrochen (Schritt %1)</source>
        <translation>Calibration cancelled (step %1)</translation>
    </message>
    <message>
        <source>Kalibrierung nicht gespeichert</source>
        <translation>Calibration not saved</translation>
    </message>
    <message>
        <source>Kalibrierzertifikat nicht gespeichert (%1): %2</source>
        <translation>Calibration certificate not saved (%1): %2</translation>
    </message>
    <message>
        <source>Bericht %1</source>
        <translation>Report %1</translation>
    </message>
    <message>
        <source>Das Gerät hat den Neustart nicht bestätigt</source>
        <translation>The device did not confirm the restart</translation>
    </message>
    <message>
        <source>Gerät meldet sich nach %1 s nicht zurück</source>
        <translation>The device has not come back after %1 s</translation>
    </message>
    <message>
        <source>%1 (kein Firmwarearchiv .tgz im Paket)</source>
        <translation>%1 (no firmware archive .tgz in the package)</translation>
    </message>
    <message>
        <source>Das Updatepaket nennt keine Firmwareversion (%1)</source>
        <translation>The update package names no firmware version (%1)</translation>
    </message>
    <message>
        <source>Das Firmwarearchiv %1 im Updatepaket ist nicht lesbar (%2)</source>
        <translation>The firmware archive %1 in the update package cannot be read (%2)</translation>
    </message>
    <message>
        <source>Ordner für die Parametersicherung fehlt: %1 - kein Update</source>
        <translation>Folder for the parameter backup missing: %1 - no update</translation>
    </message>
    <message>
        <source>Parametersicherung %1 ist ein Ordner - kein Update</source>
        <translation>Parameter backup %1 is a folder - no update</translation>
    </message>
    <message>
        <source>Parametersicherung kann nicht gespeichert werden: %1 (%2) - kein Update</source>
        <translation>Cannot save the parameter backup: %1 (%2) - no update</translation>
    </message>
    <message>
        <source>Gerät %1 (Seriennummer %2), Firmware %3</source>
        <translation>Device %1 (serial number %2), firmware %3</translation>
    </message>
    <message>
        <source>Paket %1, Firmware %2</source>
        <translation>Package %1, firmware %2</translation>
    </message>
    <message>
        <source>Update läuft seit %1</source>
        <translation>Update running for %1</translation>
    </message>
    <message>
        <source>Nein</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Ja</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Update Starten? [j/N] </source>
        <translation>Start update? [y/N] </translation>
    </message>
    <message>
        <source>Update Starten</source>
        <translation>Start update</translation>
    </message>
    <message>
        <source>Hochladen %1/%2: %3</source>
        <translation>Uploading %1/%2: %3</translation>
    </message>
    <message>
        <source>Update ohne Ergebnis abgebrochen</source>
        <translation>Update cancelled without a result</translation>
    </message>
    <message>
        <source>Parametersicherung: %1</source>
        <translation>Parameter backup: %1</translation>
    </message>
    <message>
        <source>Gerät startet neu ...</source>
        <translation>Device restarting ...</translation>
    </message>
    <message>
        <source>Firmware nach dem Update: %1</source>
        <translation>Firmware after the update: %1</translation>
    </message>
    <message>
        <source>Gerät nach dem Neustart nicht erreichbar</source>
        <translation>Device not reachable after the restart</translation>
    </message>
    <message>
        <source>Gerät meldet nach dem Update Firmware %1 statt %2</source>
        <translation>After the update the device reports firmware %1 instead of %2</translation>
    </message>
    <message>
        <source>%1: Eintrag %2 nennt password und passwordFile</source>
        <translation>%1: entry %2 names both password and passwordFile</translation>
    </message>
    <message>
        <source>Keine fehlgeschlagenen Geräte im Bericht</source>
        <translation>No failed devices in the report</translation>
    </message>
    <message>
        <source>Bericht kann nicht geschrieben werden (%1): kein Gerät aktualisiert</source>
        <translation>Cannot write the report (%1): no device updated</translation>
    </message>
    <message>
        <source>%1; Bericht %2</source>
        <translation>%1; report %2</translation>
    </message>
    <message>
        <source>Oberschwingungen: %1 Bytes, erwartet %2</source>
        <translation>Harmonics: %1 bytes, expected %2</translation>
    </message>
    <message>
        <source>Kanal %1 hat diese Gerätegeneration nicht</source>
        <translation>This device generation has no channel %1</translation>
    </message>
    <message>
        <source>Oszilloskop: %1 Bytes passen nicht zu %2 Werten</source>
        <translation>Oscilloscope: %1 bytes do not fit %2 values</translation>
    </message>
    <message>
        <source>keine Antwort auf die Lua-Anweisung</source>
        <translation>no answer to the Lua statement</translation>
    </message>
    <message>
        <source>Lua-Anweisung fehlgeschlagen</source>
        <translation>Lua statement failed</translation>
    </message>
    <message>
        <source>Es wurden %1 Dateien importiert</source>
        <translation>%1 files imported</translation>
    </message>
    <message>
        <source>Es wurden %1 Dateien nach %2 exportiert.</source>
        <translation>%1 files exported to %2.</translation>
    </message>
    <message>
        <source>Der eingegebene Wert für %1 liegt im ungültigen Bereich.<byte value="xd" />
Bitte die Bereichsgrenzen beachten:<byte value="xd" />
Minimaler Wert: %2<byte value="xd" />
Maximaler Wert: %3<byte value="xd" />
Standard Wert: %4<byte value="xd" />
<byte value="xd" />
Der Parameter wird auf den Wert %5 gesetzt!</source>
        <translation>The value entered for %1 is out of range.
Please keep to the limits:
Minimum value: %2
Maximum value: %3
Default value: %4

The parameter is set to %5!</translation>
    </message>
    <message>
        <source>Die Eingegebenen GPS Koordinaten "%1" sind ungültig. Bitte geben Sie diese im Format "N49.12345678E11.12345678" ein.</source>
        <translation>The GPS coordinates "%1" are invalid. Please enter them in the format "N49.12345678E11.12345678".</translation>
    </message>
    <message>
        <source>Ordner %1 gibt es nicht</source>
        <translation>Folder %1 does not exist</translation>
    </message>
    <message>
        <source>%1@%2: "%3" ist kein Eintrag der Liste (%4)</source>
        <translation>%1@%2: "%3" is not an entry of the list (%4)</translation>
    </message>
    <message>
        <source>Parameter %1 gibt es nicht</source>
        <translation>Parameter %1 does not exist</translation>
    </message>
    <message>
        <source>Parameter %1 unter %2 gibt es nicht</source>
        <translation>Parameter %1 under %2 does not exist</translation>
    </message>
    <message>
        <source>Parameter %1 ist auf Stufe %2 nicht sichtbar</source>
        <translation>Parameter %1 is not visible at level %2</translation>
    </message>
    <message>
        <source>Parameter %1 ist auf Stufe %2 nicht änderbar</source>
        <translation>Parameter %1 cannot be changed at level %2</translation>
    </message>
    <message>
        <source>Der IED-Name "%1" ist ungültig</source>
        <translation>The IED name "%1" is invalid</translation>
    </message>
    <message>
        <source>"%1" ist kein Eintrag der Liste (%2)</source>
        <translation>"%1" is not an entry of the list (%2)</translation>
    </message>
    <message>
        <source>Eingabe abgelehnt</source>
        <translation>Input rejected</translation>
    </message>
    <message>
        <source> (abgelehnt)</source>
        <translation> (rejected)</translation>
    </message>
    <message>
        <source> (korrigiert)</source>
        <translation> (corrected)</translation>
    </message>
    <message>
        <source>Nichts gespeichert: %1 Eingabe(n) abgelehnt%2</source>
        <translation>Nothing saved: %1 input(s) rejected%2</translation>
    </message>
    <message>
        <source>, %1 bleibt unverändert</source>
        <translation>, %1 stays unchanged</translation>
    </message>
    <message>
        <source>%1 bleibt unverändert: ohne --out werden die Werte nicht gespeichert</source>
        <translation>%1 stays unchanged: without --out the values are not saved</translation>
    </message>
    <message>
        <source>%1: keine Änderungsliste (%2)</source>
        <translation>%1: not a change list (%2)</translation>
    </message>
    <message>
        <source>Keine Änderungen</source>
        <translation>No changes</translation>
    </message>
    <message>
        <source>Ungülige ICD Datei </source>
        <translation>Invalid ICD file </translation>
    </message>
    <message>
        <source>Keine geänderten Daten gefunden</source>
        <translation>No changed data found</translation>
    </message>
    <message>
        <source>%1 Werte auf Standard gesetzt</source>
        <translation>%1 values set to default</translation>
    </message>
    <message>
        <source>Senden</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Nicht gesendet</source>
        <translation>Not sent</translation>
    </message>
    <message>
        <source>Keine geänderten Werte</source>
        <translation>No changed values</translation>
    </message>
    <message>
        <source>Nichts gesendet, unzulässige Werte: %1</source>
        <translation>Nothing sent, invalid values: %1</translation>
    </message>
    <message>
        <source>Probelauf: nichts gesendet</source>
        <translation>Dry run: nothing sent</translation>
    </message>
    <message>
        <source> - nichts gesendet</source>
        <translation> - nothing sent</translation>
    </message>
    <message>
        <source>Sicherung der Geräteparametrierung: %1</source>
        <translation>Backup of the device's parameter set: %1</translation>
    </message>
    <message>
        <source>ACHTUNG: Parametrierung nicht erfolgreich!</source>
        <translation>WARNING: Parameter set not applied!</translation>
    </message>
    <message>
        <source>Übertragung abgeschlossen</source>
        <translation>Transfer complete</translation>
    </message>
    <message>
        <source>Teilweise übertragen: %1 geänderte Werte wurden nicht gesendet</source>
        <translation>Partly transferred: %1 changed values were not sent</translation>
    </message>
    <message>
        <source>Netzwerkeinstellungen, nur mit --network</source>
        <translation>network settings, only with --network</translation>
    </message>
    <message>
        <source>Serviceparameter, nur mit --service</source>
        <translation>service parameter, only with --service</translation>
    </message>
    <message>
        <source>ungültiger Wert, Standardwert nur mit --defaults</source>
        <translation>invalid value, default only with --defaults</translation>
    </message>
    <message>
        <source>Übernehmen: %1</source>
        <translation>Take over: %1</translation>
    </message>
    <message>
        <source>Ausgelassen: %1 (%2)</source>
        <translation>Left out: %1 (%2)</translation>
    </message>
    <message>
        <source>Keine Werte zu übernehmen</source>
        <translation>No values to take over</translation>
    </message>
    <message>
        <source>%1: Datei fehlt</source>
        <translation>%1: file missing</translation>
    </message>
    <message>
        <source>%1: Zeiten in %2 (keine Zeiteinstellungen des Geräts bei der Datei)</source>
        <translation>%1: times in %2 (no time settings of the device with the file)</translation>
    </message>
    <message>
        <source>KalibratorReport fehlt</source>
        <translation>KalibratorReport missing</translation>
    </message>
    <message>
        <source>VantaReport fehlt</source>
        <translation>VantaReport missing</translation>
    </message>
    <message>
        <source>zu wenige Messpunkte (%1) für ein Urteil</source>
        <translation>too few samples (%1) for a verdict</translation>
    </message>
    <message>
        <source>flach</source>
        <translation>flat</translation>
    </message>
    <message>
        <source>WÄCHST</source>
        <translation>GROWING</translation>
    </message>
    <message>
        <source>%1: keine Antwort vom Gerät</source>
        <translation>%1: no answer from the device</translation>
    </message>
    <message>
        <source>%1: keine Statusdatei</source>
        <translation>%1: not a status file</translation>
    </message>
    <message>
        <source>dieser Gerätetyp führt kein Statusskript aus</source>
        <translation>this device type runs no status script</translation>
    </message>
    <message>
        <source>Gerät lieferte keine Statusdatei (%1)</source>
        <translation>The device delivered no status file (%1)</translation>
    </message>
    <message>
        <source>%1: abgelehnt</source>
        <translation>%1: refused</translation>
    </message>
    <message>
        <source>%1 gelöscht</source>
        <translation>%1 deleted</translation>
    </message>
    <message>
        <source>Secure Logfile erst ab Firmware 2.10.0 (Gerät: %1)</source>
        <translation>Secure log file needs firmware 2.10.0 or later (device: %1)</translation>
    </message>
    <message>
        <source>nicht auf dem Gerät</source>
        <translation>not on the device</translation>
    </message>
    <message>
        <source>kein Platz</source>
        <translation>no space</translation>
    </message>
    <message>
        <source>abgebrochen</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>Verbindungsabbruch</source>
        <translation>Connection lost</translation>
    </message>
    <message>
        <source>Auf dem Datenträger ist kein Platz mehr</source>
        <translation>No space left on the disk</translation>
    </message>
    <message>
        <source>Die Dateien brauchen %1, frei sind nur %2</source>
        <translation>The files need %1, only %2 are free</translation>
    </message>
    <message>
        <source>%1: nicht gespeichert: %2</source>
        <translation>%1: not saved: %2</translation>
    </message>
    <message>
        <source>nicht alles lokal gespeichert: %1 von %2 Dateien fehlen: %3</source>
        <translation>not everything saved locally: %1 of %2 files missing: %3</translation>
    </message>
    <message>
        <source>IED-Name nach IEC 61850</source>
        <translation>IED name according to IEC 61850</translation>
    </message>
    <message>
        <source>höchstens %1 Zeichen</source>
        <translation>at most %1 characters</translation>
    </message>
    <message>
        <source>eine IP-Adresse</source>
        <translation>an IP address</translation>
    </message>
    <message>
        <source>%1: kein gültiges XML (%2)</source>
        <translation>%1: not valid XML (%2)</translation>
    </message>
    <message>
        <source>%1: SCL, Header oder IED fehlt</source>
        <translation>%1: SCL, Header or IED missing</translation>
    </message>
    <message>
        <source>%1: Attribut %2 von %3 fehlt</source>
        <translation>%1: attribute %2 of %3 missing</translation>
    </message>
    <message>
        <source>%1: ConnectedAP oder IED fehlt</source>
        <translation>%1: ConnectedAP or IED missing</translation>
    </message>
    <message>
        <source>%1: kein gültiges XML (Zeile %2: %3)</source>
        <translation>%1: not valid XML (line %2: %3)</translation>
    </message>
    <message>
        <source>%1: kein Element mit name="sys"</source>
        <translation>%1: no element with name="sys"</translation>
    </message>
    <message>
        <source>id "%1" von &lt;%2&gt; ist keine Zahl</source>
        <translation>id "%1" of &lt;%2&gt; is not a number</translation>
    </message>
    <message>
        <source>%1: Wert "%2" passt nicht zu %3</source>
        <translation>%1: value "%2" does not fit %3</translation>
    </message>
    <message>
        <source>%1: untere Grenze über der oberen</source>
        <translation>%1: lower limit above the upper one</translation>
    </message>
    <message>
        <source>Ordner für die Sicherung fehlt: %1</source>
        <translation>Folder for the backup missing: %1</translation>
    </message>
    <message>
        <source>Sicherung kann nicht geschrieben werden: %1</source>
        <translation>Cannot write the backup: %1</translation>
    </message>
    <message>
        <source>%1 = 0: der Wandlerfaktor darf nicht 0 sein</source>
        <translation>%1 = 0: the transformer factor must not be 0</translation>
    </message>
    <message>
        <source>%1 = 0: mindestens ein Faktor muss ungleich 0 sein</source>
        <translation>%1 = 0: at least one factor must not be 0</translation>
    </message>
    <message>
        <source>Datei fehlt</source>
        <translation>File missing</translation>
    </message>
    <message>
        <source>keine Antwort innerhalb von %1 s</source>
        <translation>no answer within %1 s</translation>
    </message>
    <message>
        <source>vom Gerät abgelehnt (NAK %1 %2)</source>
        <translation>refused by the device (NAK %1 %2)</translation>
    </message>
    <message>
        <source>Auf dem Gerät wurden neue Sprachdateien gefunden. Sollen diese jetzt heruntergeladen werden?</source>
        <translation>New language files were found on the device. Download them now?</translation>
    </message>
    <message>
        <source>Teildatei kürzer als die Fortsetzungsposition (%1 &lt; %2)</source>
        <translation>Partial file shorter than the resume position (%1 &lt; %2)</translation>
    </message>
    <message>
        <source>FTP-Abruf fehlgeschlagen</source>
        <translation>FTP download failed</translation>
    </message>
    <message>
        <source>Datei %1 kann nicht angelegt werden</source>
        <translation>Cannot create file %1</translation>
    </message>
    <message>
        <source>Archiv enthält keine Parameterdatei</source>
        <translation>Archive contains no parameter file</translation>
    </message>
    <message>
        <source>durch eine neue Anfrage ersetzt</source>
        <translation>replaced by a new request</translation>
    </message>
    <message>
        <source>kein Datenordner gesetzt</source>
        <translation>no data folder set</translation>
    </message>
    <message>
        <source>unzulässiger Dateiname "%1"</source>
        <translation>invalid file name "%1"</translation>
    </message>
    <message>
        <source>Ordner %1 kann nicht angelegt werden</source>
        <translation>Cannot create folder %1</translation>
    </message>
    <message>
        <source>Teildatei %1 kann nicht gekürzt werden</source>
        <translation>Cannot truncate partial file %1</translation>
    </message>
    <message>
        <source>FTP-Abruf fehlgeschlagen: %1</source>
        <translation>FTP download failed: %1</translation>
    </message>
    <message>
        <source>unvollständig: %1 von %2 Bytes</source>
        <translation>incomplete: %1 of %2 bytes</translation>
    </message>
    <message>
        <source>%1 kann nicht umbenannt werden</source>
        <translation>Cannot rename %1</translation>
    </message>
    <message>
        <source>Dieses Gerät ist nicht bekannt und dessen Identität ist anhand des folgenden RSA-Schlüssels zu überprüfen:</source>
        <translation>This device is unknown; check its identity with the following RSA key:</translation>
    </message>
    <message>
        <source>Der RSA Schlüssel dieses Gerätes hat sich geändert. Bitte Verifizieren Sie die Integrität des Gerätes anhand des folgenden RSA-Schlüssels:</source>
        <translation>The RSA key of this device has changed. Please verify the device's integrity with the following RSA key:</translation>
    </message>
    <message>
        <source>Dieser ist auf dem Prüfzertifikat oder direkt am Gerät hinterlegt. Ohne eine Überprüfung sollte dem Gerät nicht vertraut werden und die Verbindung abgebrochen werden!</source>
        <translation>It is given on the test certificate or on the device itself. Without a check the device should not be trusted and the connection should be cancelled!</translation>
    </message>
    <message>
        <source>Wollen Sie dem Gerät vertrauen und eine Verbindung herstellen?</source>
        <translation>Do you want to trust the device and connect?</translation>
    </message>
    <message>
        <source>Verbindung geschlossen</source>
        <translation>Connection closed</translation>
    </message>
    <message>
        <source> (belegt oder keine Berechtigung)</source>
        <translation> (in use or no permission)</translation>
    </message>
    <message>
        <source>Port nicht offen</source>
        <translation>Port not open</translation>
    </message>
    <message>
        <source>Zeitüberschreitung beim Schreiben</source>
        <translation>Timeout while writing</translation>
    </message>
    <message>
        <source>RS232: %1 nicht geöffnet: %2</source>
        <translation>RS232: %1 not opened: %2</translation>
    </message>
    <message>
        <source>kein Schlüssel vom Server</source>
        <translation>no key from the server</translation>
    </message>
    <message>
        <source>Fingerabdruck nicht lesbar</source>
        <translation>Fingerprint not readable</translation>
    </message>
    <message>
        <source>Schlüssel des Geräts abgelehnt</source>
        <translation>Device key refused</translation>
    </message>
    <message>
        <source>Zeitüberschreitung</source>
        <translation>Timeout</translation>
    </message>
    <message>
        <source>Passwortänderung abgebrochen</source>
        <translation>Password change cancelled</translation>
    </message>
    <message>
        <source>SSH ERROR: CCCI-Kanal: </source>
        <translation>SSH ERROR: CCCI channel: </translation>
    </message>
    <message>
        <source>Zeitüberschreitung beim Verbinden</source>
        <translation>Timeout while connecting</translation>
    </message>
    <message>
        <source>Verbindung vom Gerät geschlossen</source>
        <translation>Connection closed by the device</translation>
    </message>
    <message>
        <source>nicht verbunden</source>
        <translation>not connected</translation>
    </message>
    <message>
        <source>Zeitüberschreitung beim Senden</source>
        <translation>Timeout while sending</translation>
    </message>
    <message>
        <source>Kaliebrierung noch nicht gestartet</source>
        <translation>Calibration not started yet</translation>
    </message>
    <message>
        <source>Frequenz außer Toleranz</source>
        <translation>Frequency out of tolerance</translation>
    </message>
    <message>
        <source>Frequenz instabil</source>
        <translation>Frequency unstable</translation>
    </message>
    <message>
        <source>Amplitudenberechsverletzung</source>
        <translation>Amplitude out of range</translation>
    </message>
    <message>
        <source>Verzerrung</source>
        <translation>Distortion</translation>
    </message>
    <message>
        <source>Kalibriergröße ausser Toleranz</source>
        <translation>Calibration quantity out of tolerance</translation>
    </message>
    <message>
        <source>Kalibriergröße instabil</source>
        <translation>Calibration quantity unstable</translation>
    </message>
    <message>
        <source>Zugriff verweigert</source>
        <translation>Access denied</translation>
    </message>
    <message>
        <source>Laufende Kalibrierung</source>
        <translation>Calibration in progress</translation>
    </message>
    <message>
        <source>Ungültiger Messkanal</source>
        <translation>Invalid measuring channel</translation>
    </message>
    <message>
        <source>Ungültiger Parameter</source>
        <translation>Invalid parameter</translation>
    </message>
    <message>
        <source>Timeout, Kalibrierung fehlgeschlagen</source>
        <translation>Timeout, calibration failed</translation>
    </message>
    <message>
        <source>Dieses Feature wird in dieser Firmware nicht mehr unterstützt</source>
        <translation>This feature is no longer supported by this firmware</translation>
    </message>
    <message>
        <source>Ungültige Eingabe!</source>
        <translation>Invalid input!</translation>
    </message>
    <message>
        <source>Kalibration erfolgreich!</source>
        <translation>Calibration successful!</translation>
    </message>
    <message>
        <source>Kalibration nicht erfolgreich!</source>
        <translation>Calibration not successful!</translation>
    </message>
    <message>
        <source>Update abgeschlossen!</source>
        <translation>Update complete!</translation>
    </message>
    <message>
        <source>ACHTUNG: Das Update war nicht erfolgreich!</source>
        <translation>WARNING: The update was not successful!</translation>
    </message>
    <message>
        <source>Update fehlgeschlagen</source>
        <translation>Update failed</translation>
    </message>
    <message>
        <source>Verbindung während des Updates unterbrochen</source>
        <translation>Connection lost during the update</translation>
    </message>
    <message>
        <source>Fehler beim Hochladen der Firmware</source>
        <translation>Error uploading the firmware</translation>
    </message>
    <message>
        <source>Die Updatedatei scheint ungültig zu sein!</source>
        <translation>The update file seems to be invalid!</translation>
    </message>
    <message>
        <source>Wir empfehlen Ihnen eine Parametersicherung vor dem Firmwareupdate. Wollen Sie diese jetzt durchführen?</source>
        <translation>We recommend a parameter backup before the firmware update. Do you want to make it now?</translation>
    </message>
    <message>
        <source>Eintrag »%1«: Name nicht zulässig</source>
        <translation>Entry »%1«: name not allowed</translation>
    </message>
    <message>
        <source>Keine Antwort auf den Updateaufruf nach %1</source>
        <translation>No answer to the update call after %1</translation>
    </message>
    <message>
        <source>Parametersicherung fehlgeschlagen</source>
        <translation>Parameter backup failed</translation>
    </message>
    <message>
        <source> (keine Antwort vom Gerät)</source>
        <translation> (no answer from the device)</translation>
    </message>
    <message>
        <source>Warten auf den Updateaufruf nach %1 abgebrochen</source>
        <translation>Waiting for the update call cancelled after %1</translation>
    </message>
    <message>
        <source>Verbinden</source>
        <translation>Connecting</translation>
    </message>
    <message>
        <source>Parametersicherung nicht gespeichert: %1 - kein Update</source>
        <translation>Parameter backup not saved: %1 - no update</translation>
    </message>
    <message>
        <source>Parametersicherung fehlgeschlagen: %1</source>
        <translation>Parameter backup failed: %1</translation>
    </message>
    <message>
        <source>Parametersicherung fehlgeschlagen: das Gerät lehnt das Lesen ab (NAK %1 %2)</source>
        <translation>Parameter backup failed: the device refuses the read (NAK %1 %2)</translation>
    </message>
    <message>
        <source>Firmwareupdate erfolgreich!</source>
        <translation>Firmware update successful!</translation>
    </message>
    <message>
        <source>Ergebnis unbekannt – bitte Gerät prüfen</source>
        <translation>Result unknown – please check the device</translation>
    </message>
    <message>
        <source>Wartet</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>Parametersicherung</source>
        <translation>Parameter backup</translation>
    </message>
    <message>
        <source>Hochladen</source>
        <translation>Uploading</translation>
    </message>
    <message>
        <source>Neustart</source>
        <translation>Restart</translation>
    </message>
    <message>
        <source>Versionsprüfung</source>
        <translation>Version check</translation>
    </message>
    <message>
        <source>Fertig</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>Fehlgeschlagen</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>Nicht gestartet</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>Ergebnis unbekannt</source>
        <translation>Result unknown</translation>
    </message>
    <message>
        <source>Anmeldung abgelehnt</source>
        <translation>Login refused</translation>
    </message>
    <message>
        <source>Keine Verbindung: %1</source>
        <translation>No connection: %1</translation>
    </message>
    <message>
        <source>Keine Verbindung</source>
        <translation>No connection</translation>
    </message>
    <message>
        <source>Gerät lehnt ab: %1</source>
        <translation>Device refuses: %1</translation>
    </message>
    <message>
        <source>Host-Schlüssel %1 nicht vertraut</source>
        <translation>Host key %1 not trusted</translation>
    </message>
    <message>
        <source>keine Antwort auf den Updateaufruf</source>
        <translation>no answer to the update call</translation>
    </message>
    <message>
        <source>Keine Verbindung innerhalb von %1 s</source>
        <translation>No connection within %1 s</translation>
    </message>
    <message>
        <source>Gerät nach dem Neustart nicht erreichbar (%1 s)</source>
        <translation>Device not reachable after the restart (%1 s)</translation>
    </message>
    <message>
        <source>Zeitüberschreitung im Schritt "%1"</source>
        <translation>Timeout in step "%1"</translation>
    </message>
    <message>
        <source>%1: zu groß für eine Geräteliste (%2 Bytes)</source>
        <translation>%1: too large for a device list (%2 bytes)</translation>
    </message>
    <message>
        <source>Statusskript nicht schreibbar: %1</source>
        <translation>Cannot write the status script: %1</translation>
    </message>
    <message>
        <source>Statusskript vom Gerät abgelehnt</source>
        <translation>Status script refused by the device</translation>
    </message>
    <message>
        <source>Neu</source>
        <translation>New</translation>
    </message>
    <message>
        <source>keine Verbindung zu %1</source>
        <translation>no connection to %1</translation>
    </message>
    <message>
        <source>%1: keine Antwort</source>
        <translation>%1: no answer</translation>
    </message>
    <message>
        <source>Harmonische Spannung L-N</source>
        <translation>Harmonics voltage L-N</translation>
    </message>
    <message>
        <source>Harmonische Spannung L-L</source>
        <translation>Harmonics voltage L-L</translation>
    </message>
    <message>
        <source>Harmonische Strom</source>
        <translation>Harmonics current</translation>
    </message>
    <message>
        <source>Zwischenharmonische Spannung L-N</source>
        <translation>Interharmonics voltage L-N</translation>
    </message>
    <message>
        <source>Zwischenharmonische Spannung L-L</source>
        <translation>Interharmonics voltage L-L</translation>
    </message>
    <message>
        <source>Zwischenharmonische Strom</source>
        <translation>Interharmonics current</translation>
    </message>
    <message>
        <source>Frequenzbänder 2-9 kHz Spannung L-N</source>
        <translation>Frequency bands 2-9 kHz voltage L-N</translation>
    </message>
    <message>
        <source>Frequenzbänder 2-9 kHz Spannung L-L</source>
        <translation>Frequency bands 2-9 kHz voltage L-L</translation>
    </message>
    <message>
        <source>Frequenzbänder 2-9 kHz Strom</source>
        <translation>Frequency bands 2-9 kHz current</translation>
    </message>
    <message>
        <source>Oberschwingungen</source>
        <translation>Harmonics</translation>
    </message>
    <message>
        <source>%1: "%2" fehlt oder ist ungültig</source>
        <translation>%1: "%2" is missing or invalid</translation>
    </message>
    <message>
        <source>RCM Nennzustand</source>
        <translation>RCM normal state</translation>
    </message>
    <message>
        <source>Verletzung RCM Warnschwelle</source>
        <translation>RCM warning threshold exceeded</translation>
    </message>
    <message>
        <source>Verletzung RCM Alarmschwelle</source>
        <translation>RCM alarm threshold exceeded</translation>
    </message>
    <message>
        <source>Fehler RCM-Sensor</source>
        <translation>RCM sensor fault</translation>
    </message>
    <message>
        <source>Solltemperatur</source>
        <translation>Nominal temperature</translation>
    </message>
    <message>
        <source>Verletzung untere Temperaturschwelle</source>
        <translation>Lower temperature threshold violated</translation>
    </message>
    <message>
        <source>Verletzung obere Temperaturschwelle</source>
        <translation>Upper temperature threshold violated</translation>
    </message>
    <message>
        <source>Fehler Temperatursensor</source>
        <translation>Temperature sensor fault</translation>
    </message>
    <message>
        <source>Ereignis</source>
        <translation>Event</translation>
    </message>
    <message>
        <source>Einheit</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>Harmonische</source>
        <translation>Harmonic</translation>
    </message>
    <message>
        <source>Dauer</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>Berichtsmodul nicht gefunden: %1</source>
        <translation>Report module not found: %1</translation>
    </message>
    <message>
        <source>KalibratorReport fehlt im Berichtsmodul</source>
        <translation>KalibratorReport is missing from the report module</translation>
    </message>
    <message>
        <source>Bericht nicht geschrieben</source>
        <translation>Report not written</translation>
    </message>
    <message>
        <source>Datei</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Text von %1 Bytes reicht über das Ende hinaus</source>
        <translation>Text of %1 bytes runs past the end</translation>
    </message>
    <message>
        <source>zu kurz für eine Aufzeichnungsdatei</source>
        <translation>too short for a recording file</translation>
    </message>
    <message>
        <source>keine Aufzeichnungsdatei</source>
        <translation>not a recording file</translation>
    </message>
    <message>
        <source>Kopfgröße %1 ungültig</source>
        <translation>header size %1 invalid</translation>
    </message>
    <message>
        <source>Kopf von %1 Bytes abgeschnitten</source>
        <translation>header of %1 bytes cut off</translation>
    </message>
    <message>
        <source>%1 Kanäle sind zu viele</source>
        <translation>%1 channels are too many</translation>
    </message>
    <message>
        <source>Kopf länger als angegeben</source>
        <translation>header longer than stated</translation>
    </message>
    <message>
        <source>Ereignis %1 unvollständig</source>
        <translation>event %1 incomplete</translation>
    </message>
    <message>
        <source>Zeile %1 passt nicht zu %2 Kanälen</source>
        <translation>row %1 does not fit %2 channels</translation>
    </message>
    <message>
        <source>Binäreingang %1 unvollständig</source>
        <translation>binary input %1 incomplete</translation>
    </message>
    <message>
        <source>Kurve %1 ohne Kanäle</source>
        <translation>curve %1 without channels</translation>
    </message>
    <message>
        <source>Kurve %1 passt nicht zu %2 Kanälen</source>
        <translation>curve %1 does not fit %2 channels</translation>
    </message>
    <message>
        <source>%1: Datensatz von %2 Bytes ist zu groß (Offset %3)</source>
        <translation>%1: record of %2 bytes is too large (offset %3)</translation>
    </message>
    <message>
        <source>%1: enthält %2</source>
        <translation>%1: contains %2</translation>
    </message>
    <message>
        <source>%1: Ordner existiert nicht</source>
        <translation>%1: folder does not exist</translation>
    </message>
    <message>
        <source>%1: kein Ordner</source>
        <translation>%1: not a folder</translation>
    </message>
    <message>
        <source>%1 nicht gefunden</source>
        <translation>%1 not found</translation>
    </message>
    <message>
        <source>Das Gerät hat den Befehl abgelehnt.</source>
        <translation>The device refused the command.</translation>
    </message>
    <message>
        <source>Es sind bereits zwei aktive Verbindungen mit dem Gerät hergestellt. Eine weitere Verbindung ist nicht möglich.</source>
        <translation>Two connections to the device are already active. Another connection is not possible.</translation>
    </message>
    <message>
        <source>Der Nutzer %1 hat keinen Zugriff auf diese Funktion</source>
        <translation>User %1 has no access to this function</translation>
    </message>
    <message>
        <source>Übertragung abgebrochen: keine Daten seit 10 s</source>
        <translation>Transfer aborted: no data for 10 s</translation>
    </message>
    <message>
        <source>Die USB Verbindung wurde getrennt!</source>
        <translation>The USB connection was lost!</translation>
    </message>
    <message>
        <source>Kein Signal</source>
        <translation>No signal</translation>
    </message>
    <message>
        <source>Ungültig</source>
        <translation>Invalid</translation>
    </message>
    <message>
        <source>Sehr gut</source>
        <translation>Very good</translation>
    </message>
    <message>
        <source>Gut</source>
        <translation>Good</translation>
    </message>
    <message>
        <source>Mittel</source>
        <translation>Fair</translation>
    </message>
    <message>
        <source>Schlecht</source>
        <translation>Poor</translation>
    </message>
    <message>
        <source>Sehr schlecht</source>
        <translation>Very poor</translation>
    </message>
    <message>
        <source>%1: %2 (Offset %3)</source>
        <translation>%1: %2 (offset %3)</translation>
    </message>
    <message>
        <source>%1 alte(s) Passwort/Passwörter bleiben in %2, bis ein Schlüsselbund verfügbar ist (%3); bis dahin wird beim Verbinden gefragt</source>
        <translation>%1 old password(s) stay in %2 until a keyring is available (%3); until then they are asked for at connect time</translation>
    </message>
    <message>
        <source>%1: verschiedene Passwörter für dieselbe Anmeldung</source>
        <translation>%1: different passwords for the same login</translation>
    </message>
    <message>
        <source>gelesen nicht wie geschrieben</source>
        <translation>read back differently from what was written</translation>
    </message>
    <message>
        <source>; %1 konnte nicht neu geschrieben werden, sie stehen dort noch</source>
        <translation>; %1 could not be rewritten, they are still in it</translation>
    </message>
    <message>
        <source>%1 Passwort/Passwörter aus %2 in den Schlüsselbund verschoben%3</source>
        <translation>%1 password(s) moved from %2 into the keyring%3</translation>
    </message>
    <message>
        <source>; %1 bleiben in der Datei: %2</source>
        <translation>; %1 stay in the file: %2</translation>
    </message>
    <message>
        <source>Der Schlüsselbund hat auf eine frühere Anfrage nicht geantwortet</source>
        <translation>The keyring did not answer an earlier request</translation>
    </message>
    <message>
        <source>Der Schlüsselbund hat nicht innerhalb von %1 s geantwortet</source>
        <translation>The keyring did not answer within %1 s</translation>
    </message>
    <message>
        <source>kein Passwort gespeichert</source>
        <translation>no password stored</translation>
    </message>
    <message>
        <source>kein Schlüsselbund verfügbar</source>
        <translation>no keyring available</translation>
    </message>
    <message>
        <source>Fehler des Schlüsselbunds: %1</source>
        <translation>keyring error: %1</translation>
    </message>
    <message>
        <source>unbekannt</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source> ges.</source>
        <translation> total</translation>
    </message>
    <message>
        <source>kap.</source>
        <translation>cap.</translation>
    </message>
    <message>
        <source>ind.</source>
        <translation>ind.</translation>
    </message>
    <message>
        <source>Kopf abgeschnitten</source>
        <translation>header cut off</translation>
    </message>
    <message>
        <source>unbekannte Version %1</source>
        <translation>unknown version %1</translation>
    </message>
    <message>
        <source>unbekannte Art %1</source>
        <translation>unknown kind %1</translation>
    </message>
    <message>
        <source>Kanaltabelle abgeschnitten</source>
        <translation>channel table cut off</translation>
    </message>
    <message>
        <source>unbekannte Sprachtabelle "%1"</source>
        <translation>unknown language table "%1"</translation>
    </message>
    <message>
        <source>%1: Tabelle "%2" fehlt</source>
        <translation>%1: table "%2" is missing</translation>
    </message>
    <message>
        <source>SSH-Schreibfehler</source>
        <translation>SSH write error</translation>
    </message>
    <message>
        <source>Sek</source>
        <translation>s</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>min</translation>
    </message>
    <message>
        <source>Std</source>
        <translation>h</translation>
    </message>
    <message>
        <source>Tage</source>
        <translation>days</translation>
    </message>
    <message>
        <source>n.A.</source>
        <translation>n/a</translation>
    </message>
    <message>
        <source>%1: keine SQLite-Datenbank</source>
        <translation>%1: not an SQLite database</translation>
    </message>
    <message>
        <source>Belegt: %1  Frei: %2  Defekt: %3  Gesamt: %4  (%5% frei)</source>
        <translation>Used: %1  Free: %2  Bad: %3  Total: %4  (%5% free)</translation>
    </message>
    <message>
        <source>Zeitzone</source>
        <translation>Time zone</translation>
    </message>
    <message>
        <source>Sommerzeit</source>
        <translation>Daylight saving time</translation>
    </message>
    <message>
        <source>1 Wert auf Standard gesetzt</source>
        <translation>1 value set to default</translation>
    </message>
    <message>
        <source>Teilweise übertragen: 1 geänderter Wert wurde nicht gesendet</source>
        <translation>Partly transferred: 1 changed value was not sent</translation>
    </message>
    <message>
        <source>1 Wert außerhalb der Zeitfolge (überlappende Dateien) übergangen</source>
        <translation>1 value out of time order (overlapping files) skipped</translation>
    </message>
    <message>
        <source>%1: nicht gelöscht</source>
        <translation>%1: not deleted</translation>
    </message>
    <message>
        <source>%1: kein Name einer gespeicherten Datei</source>
        <translation>%1: not a stored file's name</translation>
    </message>
    <message>
        <source>%1: nicht im Datenordner %2</source>
        <translation>%1: not in the data folder %2</translation>
    </message>
    <message>
        <source>Woche ab %1 unvollständig: %2 von %3 10-Minuten-Werten</source>
        <translation>Week from %1 incomplete: %2 of %3 10-minute values</translation>
    </message>
    <message>
        <source>%1: nicht schreibbar (%2)</source>
        <translation>%1: not writable (%2)</translation>
    </message>
    <message>
        <source>%1: EN 50160 bewertet 10-Minuten-Werte, die Datei hat %2</source>
        <translation>%1: EN 50160 judges 10-minute values, the file holds %2</translation>
    </message>
    <message>
        <source>Ereignisse</source>
        <translation>events</translation>
    </message>
    <message>
        <source>Aufzeichnung</source>
        <translation>recording</translation>
    </message>
    <message>
        <source>Binäreingänge</source>
        <translation>binary inputs</translation>
    </message>
    <message>
        <source>Oszilloskop-Aufzeichnung</source>
        <translation>oscilloscope record</translation>
    </message>
    <message>
        <source>Störschrieb (10 ms)</source>
        <translation>disturbance record (10 ms)</translation>
    </message>
    <message>
        <source>Trigger-Ereignisse</source>
        <translation>trigger events</translation>
    </message>
    <message>
        <source>Art %1</source>
        <translation>kind %1</translation>
    </message>
</context>
<context>
    <name>vanta::TCalibMachine</name>
    <message>
        <source>Kalibrierung: keine Antwort vom Gerät nach %1</source>
        <translation>Calibration: no answer from the device after %1</translation>
    </message>
    <message>
        <source>Kalibrierung: Warten auf das Gerät nach %1 abgebrochen</source>
        <translation>Calibration: waiting for the device cancelled after %1</translation>
    </message>
    <message>
        <source>Das Kalibrierzertifikat kann nicht gespeichert werden (%1). Die Kalibrierung wurde nicht übernommen.</source>
        <translation>Cannot save the calibration certificate (%1). The calibration was not applied.</translation>
    </message>
    <message>
        <source>keine Berichtsbibliothek</source>
        <translation>no report library</translation>
    </message>
</context>
<context>
    <name>vanta::TDevPicture</name>
    <message>
        <source>Links</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>Rechts</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>Auf</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>Ab</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>Enter</source>
        <translation>Enter</translation>
    </message>
    <message>
        <source>Messgerät</source>
        <translation>Measuring device</translation>
    </message>
    <message>
        <source>Gerätetyp ohne eigenes Bild</source>
        <translation>Device type without its own picture</translation>
    </message>
</context>
<context>
    <name>vanta::TFormBasic</name>
    <message>
        <source>Verschlüsselte Verbindung (SSH)</source>
        <translation>Encrypted connection (SSH)</translation>
    </message>
    <message>
        <source>Unverschlüsselte Verbindung</source>
        <translation>Unencrypted connection</translation>
    </message>
    <message>
        <source>Verbunden</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>Verbinde mit %1:%2</source>
        <translation>Connecting to %1:%2</translation>
    </message>
    <message>
        <source>Verbinde über %1</source>
        <translation>Connecting via %1</translation>
    </message>
    <message>
        <source>Keine Verbindung</source>
        <translation>No connection</translation>
    </message>
    <message>
        <source>Wollen sie die Farben wirklich auf die Standardwerte zurücksetzen?</source>
        <translation>Do you really want to reset the colours to their defaults?</translation>
    </message>
    <message>
        <source>Verbindung wird beendet</source>
        <translation>Closing the connection</translation>
    </message>
    <message>
        <source>Keine Verbindung: %1</source>
        <translation>No connection: %1</translation>
    </message>
</context>
<context>
    <name>vanta::TFormComplete</name>
    <message>
        <source>10/12 Perioden</source>
        <translation>10/12 cycles</translation>
    </message>
    <message>
        <source>150 Perioden</source>
        <translation>150 cycles</translation>
    </message>
    <message>
        <source>Standardintervall</source>
        <translation>Standard interval</translation>
    </message>
    <message>
        <source>Extremwerte</source>
        <translation>Extreme values</translation>
    </message>
    <message>
        <source>Sekundenwerte</source>
        <translation>One-second values</translation>
    </message>
    <message>
        <source>Flicker</source>
        <translation>Flicker</translation>
    </message>
    <message>
        <source>Leistung</source>
        <translation>Power</translation>
    </message>
    <message>
        <source>Energie</source>
        <translation>Energy</translation>
    </message>
    <message>
        <source>Oszilloskop</source>
        <translation>Oscilloscope</translation>
    </message>
    <message>
        <source>Alle Messwerte</source>
        <translation>All measured values</translation>
    </message>
</context>
<context>
    <name>vanta::TFormFlash</name>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Nicht mehr auf die Antwort warten; das Gerät installiert weiter.</source>
        <translation>Stop waiting for the answer; the device goes on installing.</translation>
    </message>
    <message>
        <source>Update läuft seit %1</source>
        <translation>Update running for %1</translation>
    </message>
    <message>
        <source>Hochladen %1/%2: %3</source>
        <translation>Uploading %1/%2: %3</translation>
    </message>
    <message>
        <source>Parametersicherung</source>
        <translation>Parameter backup</translation>
    </message>
    <message>
        <source>Firmware-Update</source>
        <translation>Firmware update</translation>
    </message>
    <message>
        <source>Parametersicherung speichern</source>
        <translation>Save parameter backup</translation>
    </message>
    <message>
        <source>Parameter (*.xml)</source>
        <translation>Parameters (*.xml)</translation>
    </message>
    <message>
        <source>Firmware-Update %1</source>
        <translation>Firmware update %1</translation>
    </message>
</context>
<context>
    <name>vanta::TFormLayout</name>
    <message>
        <source>Dateien</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>Skalierung</source>
        <translation>Scaling</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Marker 1</source>
        <translation>Marker 1</translation>
    </message>
    <message>
        <source>Marker 2</source>
        <translation>Marker 2</translation>
    </message>
    <message>
        <source>Marker</source>
        <translation>Markers</translation>
    </message>
    <message>
        <source>Stapeldarstellung</source>
        <translation>Stacked view</translation>
    </message>
    <message>
        <source>Daten Kopieren</source>
        <translation>Copy data</translation>
    </message>
    <message>
        <source>Bild Kopieren</source>
        <translation>Copy image</translation>
    </message>
    <message>
        <source>Bild Drucken</source>
        <translation>Print image</translation>
    </message>
    <message>
        <source>Tabelle</source>
        <translation>Table</translation>
    </message>
    <message>
        <source>Kurven</source>
        <translation>Curves</translation>
    </message>
    <message>
        <source>Kopieren</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>EN-Report</source>
        <translation>EN report</translation>
    </message>
    <message>
        <source>RCM Report</source>
        <translation>RCM report</translation>
    </message>
    <message>
        <source>Statistik Harmonische (Spannung)</source>
        <translation>Harmonics statistics (voltage)</translation>
    </message>
    <message>
        <source>Statistik Harmonische (Strom)</source>
        <translation>Harmonics statistics (current)</translation>
    </message>
    <message>
        <source>Statistik Interharmonische</source>
        <translation>Interharmonics statistics</translation>
    </message>
    <message>
        <source>Statistik Zwischenharmonische</source>
        <translation>Interharmonic subgroup statistics</translation>
    </message>
    <message>
        <source>Statistik 2,0 - 9,0 kHz (Spannung)</source>
        <translation>2.0 - 9.0 kHz statistics (voltage)</translation>
    </message>
    <message>
        <source>Statistik 2,0 - 9,0 kHz (Strom)</source>
        <translation>2.0 - 9.0 kHz statistics (current)</translation>
    </message>
    <message>
        <source>Bericht</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>Bericht nicht erstellt: </source>
        <translation>Report not created: </translation>
    </message>
    <message>
        <source> (Zeiten in %1)</source>
        <translation> (times in %1)</translation>
    </message>
    <message>
        <source>Harmonische Spannung</source>
        <translation>Voltage harmonics</translation>
    </message>
    <message>
        <source>Harmonische Strom</source>
        <translation>Harmonics current</translation>
    </message>
    <message>
        <source>Die angezeigte Datei enthält keine Harmonischen des Stroms.</source>
        <translation>The file shown holds no current harmonics.</translation>
    </message>
    <message>
        <source>Die angezeigte Datei enthält keine Harmonischen der Spannung.</source>
        <translation>The file shown holds no voltage harmonics.</translation>
    </message>
    <message>
        <source>Größe</source>
        <translation>Quantity</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>min</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>Max</translation>
    </message>
    <message>
        <source>Einheit</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>Alles Autoskalieren</source>
        <translation>Autoscale all</translation>
    </message>
    <message>
        <source>Skalieren</source>
        <translation>Scale</translation>
    </message>
    <message>
        <source>Keine Kurven angezeigt: Größen im Auswahlbaum ankreuzen.</source>
        <translation>No curves shown: tick quantities in the selection tree.</translation>
    </message>
    <message>
        <source>Keine Kurven angezeigt: nichts zu skalieren.</source>
        <translation>No curves shown: nothing to scale.</translation>
    </message>
    <message>
        <source>%1: Min "%2" ist keine Zahl.</source>
        <translation>%1: Min "%2" is not a number.</translation>
    </message>
    <message>
        <source>%1: Max "%2" ist keine Zahl.</source>
        <translation>%1: Max "%2" is not a number.</translation>
    </message>
    <message>
        <source>%1: Min (%2) muss kleiner als Max (%3) sein.</source>
        <translation>%1: Min (%2) must be less than Max (%3).</translation>
    </message>
    <message>
        <source>Skalierung nicht übernommen. </source>
        <translation>Scaling not applied. </translation>
    </message>
    <message>
        <source>%1 Ereignis(se): %2</source>
        <translation>%1 event(s): %2</translation>
    </message>
    <message>
        <source>%1: %2 Zeilen</source>
        <translation>%1: %2 rows</translation>
    </message>
    <message>
        <source>%1 Zeilen gespeichert: %2</source>
        <translation>%1 rows saved: %2</translation>
    </message>
    <message>
        <source>CSV nicht gespeichert: </source>
        <translation>CSV not saved: </translation>
    </message>
    <message>
        <source>%1 Zeilen kopiert</source>
        <translation>%1 rows copied</translation>
    </message>
    <message>
        <source>%1 Zeilen sind zu viele für die Zwischenablage (höchstens %2). Als CSV-Datei speichern?</source>
        <translation>%1 rows are too many for the clipboard (at most %2). Save as a CSV file?</translation>
    </message>
    <message>
        <source>Daten als CSV speichern</source>
        <translation>Save data as CSV</translation>
    </message>
    <message>
        <source>Zeit</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Eingang %1</source>
        <translation>Input %1</translation>
    </message>
    <message>
        <source>Eine Datei links anklicken: ein Ereignis erscheint als Tabelle, eine Aufzeichnung als Tabelle und Kurven.</source>
        <translation>Click a file on the left: an event is shown as a table, a recording as a table and curves.</translation>
    </message>
</context>
<context>
    <name>vanta::TFormMassFlash</name>
    <message>
        <source>Firmware-Update mehrerer Geräte</source>
        <translation>Firmware update of several devices</translation>
    </message>
    <message>
        <source>Geräte</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>Updatepaket (.zip)</source>
        <translation>Update package (.zip)</translation>
    </message>
    <message>
        <source>Updatepaket</source>
        <translation>Update package</translation>
    </message>
    <message>
        <source>Updatepaket (*.zip)</source>
        <translation>Update package (*.zip)</translation>
    </message>
    <message>
        <source>Sicherungsordner</source>
        <translation>Backup folder</translation>
    </message>
    <message>
        <source>Ohne Parametersicherung</source>
        <translation>Without parameter backup</translation>
    </message>
    <message>
        <source>Lauf-Kennung</source>
        <translation>Run ID</translation>
    </message>
    <message>
        <source>Gleichzeitig</source>
        <translation>Simultaneously</translation>
    </message>
    <message>
        <source>Nach dem ersten Fehler anhalten</source>
        <translation>Stop after the first failure</translation>
    </message>
    <message>
        <source>Unbekannten SSH-Schlüsseln vertrauen (und merken)</source>
        <translation>Trust unknown SSH keys (and remember them)</translation>
    </message>
    <message>
        <source>Ohne diese Wahl werden nur Geräte erreicht, deren Schlüssel bereits bekannt ist.</source>
        <translation>Without this, only devices whose key is already known are reached.</translation>
    </message>
    <message>
        <source>Update starten</source>
        <translation>Start update</translation>
    </message>
    <message>
        <source>Anhalten</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Fehlgeschlagene wiederholen</source>
        <translation>Retry failed</translation>
    </message>
    <message>
        <source>Gerät</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Fortschritt</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Seriennummer</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>Firmware vorher</source>
        <translation>Firmware before</translation>
    </message>
    <message>
        <source>Firmware nachher</source>
        <translation>Firmware after</translation>
    </message>
    <message>
        <source>Ergebnis</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>Sicherung</source>
        <translation>Backup</translation>
    </message>
    <message>
        <source>Laufende Geräte werden noch fertig, weitere starten nicht.</source>
        <translation>Devices in progress will finish, no further ones start.</translation>
    </message>
    <message>
        <source>Paket %1, Firmware %2</source>
        <translation>Package %1, firmware %2</translation>
    </message>
    <message>
        <source>%1. Bericht: %2 (und .csv)</source>
        <translation>%1. Report: %2 (and .csv)</translation>
    </message>
    <message>
        <source>%1. Bericht nicht geschrieben: %2</source>
        <translation>%1. Report not written: %2</translation>
    </message>
    <message>
        <source>%1 (seit %2)</source>
        <translation>%1 (for %2)</translation>
    </message>
</context>
<context>
    <name>vanta::TFormMessUeberwachung</name>
    <message>
        <source>ID oder Suchtext</source>
        <translation>ID or search text</translation>
    </message>
    <message>
        <source>Suchen</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>Abbruch</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Messwert-Datenbank nicht lesbar: </source>
        <translation>Cannot read the measured value database: </translation>
    </message>
    <message>
        <source>Setup der Überwachungsgrößen</source>
        <translation>Monitored quantities setup</translation>
    </message>
    <message>
        <source>Setup der Modbus Slaves</source>
        <translation>Modbus slave setup</translation>
    </message>
    <message>
        <source>ID %1 ist nicht bekannt</source>
        <translation>ID %1 is not known</translation>
    </message>
</context>
<context>
    <name>vanta::TFormOffline</name>
    <message>
        <source>Messdaten Auswertung Offline</source>
        <translation>Offline measured data analysis</translation>
    </message>
    <message>
        <source>Rekorderdatei Löschen</source>
        <translation>Delete recorder file</translation>
    </message>
    <message>
        <source>Eventdatei Löschen</source>
        <translation>Delete event file</translation>
    </message>
    <message>
        <source>Alle Dateien dieser Klasse löschen</source>
        <translation>Delete all files of this class</translation>
    </message>
    <message>
        <source>Alle Dateien dieser Station löschen</source>
        <translation>Delete all files of this station</translation>
    </message>
    <message>
        <source>Löschen</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Ausgewählte Dateien Löschen</source>
        <translation>Delete selected files</translation>
    </message>
    <message>
        <source>Ausgewählte Dateien Exportieren</source>
        <translation>Export selected files</translation>
    </message>
    <message>
        <source>Bitte wählen Sie den Ordner, in den die ausgewählten Dateien exportiert werden sollen:</source>
        <translation>Please choose the folder to export the selected files to:</translation>
    </message>
    <message>
        <source>Dateien Import</source>
        <translation>Import files</translation>
    </message>
    <message>
        <source>Bitte wählen Sie den zu importierenden Ordner aus:</source>
        <translation>Please choose the folder to import:</translation>
    </message>
    <message>
        <source>Überprüfung</source>
        <translation>Checking</translation>
    </message>
    <message>
        <source>Analysieren</source>
        <translation>Analysing</translation>
    </message>
    <message>
        <source>Exportieren</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Es wurden %1 Dateien nach %2 exportiert.</source>
        <translation>%1 files exported to %2.</translation>
    </message>
    <message>
        <source>%1 Dateien konnten nicht nach %2 geschrieben werden (siehe Protokoll)</source>
        <translation>%1 files could not be written to %2 (see the log)</translation>
    </message>
    <message>
        <source>Importieren</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Es wurden %1 Dateien importiert</source>
        <translation>%1 files imported</translation>
    </message>
    <message>
        <source>%1 Dateien nicht kopiert, %2 Dateien ohne passenden Namen übergangen (siehe Protokoll)</source>
        <translation>%1 files not copied, %2 files without a matching name skipped (see the log)</translation>
    </message>
    <message>
        <source>Keine Stationen in %1</source>
        <translation>No stations in %1</translation>
    </message>
    <message>
        <source>1 Station</source>
        <translation>1 station</translation>
    </message>
    <message>
        <source>%1 Stationen</source>
        <translation>%1 stations</translation>
    </message>
</context>
<context>
    <name>vanta::TFormOnline</name>
    <message>
        <source>%1 wurde nicht gespeichert: %2</source>
        <translation>%1 was not saved: %2</translation>
    </message>
    <message>
        <source>Die ausgewählten Dateien brauchen %1, auf dem Datenträger sind nur %2 frei. Es wurde nichts heruntergeladen.</source>
        <translation>The selected files need %1, only %2 are free on the disk. Nothing was downloaded.</translation>
    </message>
    <message>
        <source>Herunterladen</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Wird nach der laufenden Datei abgebrochen …</source>
        <translation>Cancelling after the current file …</translation>
    </message>
    <message>
        <source>abgebrochen</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>%1 von %2 Dateien wurden nicht gespeichert:
%3</source>
        <translation>%1 of %2 files were not saved:
%3</translation>
    </message>
    <message>
        <source>Löschen</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Alle Ereignisse herunterladen</source>
        <translation>Download all events</translation>
    </message>
    <message>
        <source>Ausgewählte Ereignisse herunterladen</source>
        <translation>Download selected events</translation>
    </message>
    <message>
        <source>Ereignis löschen</source>
        <translation>Delete event</translation>
    </message>
    <message>
        <source>Alle Ereignisse löschen</source>
        <translation>Delete all events</translation>
    </message>
    <message>
        <source>Ausgewählte Ereignisse löschen</source>
        <translation>Delete selected events</translation>
    </message>
    <message>
        <source>Im Explorer Anzeigen</source>
        <translation>Show in file manager</translation>
    </message>
    <message>
        <source>Alle Aufzeichnungen herunterladen</source>
        <translation>Download all recordings</translation>
    </message>
    <message>
        <source>Ausgewählte Aufzeichnungen herunterladen</source>
        <translation>Download selected recordings</translation>
    </message>
    <message>
        <source>Klasse herunterladen</source>
        <translation>Download class</translation>
    </message>
    <message>
        <source>Aufzeichnung löschen</source>
        <translation>Delete recording</translation>
    </message>
    <message>
        <source>Alle Aufzeichnungen löschen</source>
        <translation>Delete all recordings</translation>
    </message>
    <message>
        <source>Ausgewählte Aufzeichnungen löschen</source>
        <translation>Delete selected recordings</translation>
    </message>
    <message>
        <source>Klasse löschen</source>
        <translation>Delete class</translation>
    </message>
    <message>
        <source>Multiselect</source>
        <translation>Multiple selection</translation>
    </message>
    <message>
        <source>Herunterladen abbrechen</source>
        <translation>Cancel download</translation>
    </message>
    <message>
        <source>Datenauslese</source>
        <translation>Data readout</translation>
    </message>
    <message>
        <source>Rekorder Daten</source>
        <translation>Recorder data</translation>
    </message>
    <message>
        <source>PQ-Ereignisse</source>
        <translation>PQ events</translation>
    </message>
    <message>
        <source>Anfordern</source>
        <translation>Requesting</translation>
    </message>
    <message>
        <source>%1 Ereignisse</source>
        <translation>%1 events</translation>
    </message>
    <message>
        <source>%1 Aufzeichnungen</source>
        <translation>%1 recordings</translation>
    </message>
    <message>
        <source>1 Ereignis</source>
        <translation>1 event</translation>
    </message>
</context>
<context>
    <name>vanta::TFormPara</name>
    <message>
        <source>Anfordern</source>
        <translation>Requesting</translation>
    </message>
    <message>
        <source>Ebene </source>
        <translation>Level </translation>
    </message>
    <message>
        <source>Basis</source>
        <translation>Basic</translation>
    </message>
    <message>
        <source>Erweitert</source>
        <translation>Advanced</translation>
    </message>
    <message>
        <source>Senden</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Parametrierung an das Gerät senden</source>
        <translation>Send the parameter set to the device</translation>
    </message>
    <message>
        <source>Neu lesen</source>
        <translation>Read again</translation>
    </message>
    <message>
        <source>Parametrierung erneut vom Gerät lesen</source>
        <translation>Read the parameter set from the device again</translation>
    </message>
    <message>
        <source>Importieren…</source>
        <translation>Import…</translation>
    </message>
    <message>
        <source>Werte aus einer gespeicherten Datei übernehmen</source>
        <translation>Take values from a saved file</translation>
    </message>
    <message>
        <source>Werkseinstellungen</source>
        <translation>Factory settings</translation>
    </message>
    <message>
        <source>Alle Werte auf Werkseinstellung setzen</source>
        <translation>Set all values to factory settings</translation>
    </message>
    <message>
        <source>Exportieren…</source>
        <translation>Export…</translation>
    </message>
    <message>
        <source>Vollständige Parametrierung speichern</source>
        <translation>Save the complete parameter set</translation>
    </message>
    <message>
        <source>Änderungen exportieren…</source>
        <translation>Export changes…</translation>
    </message>
    <message>
        <source>Nur geänderte Werte speichern</source>
        <translation>Save changed values only</translation>
    </message>
    <message>
        <source>Parameterliste als CSV</source>
        <translation>Parameter list as CSV</translation>
    </message>
    <message>
        <source>ICD laden…</source>
        <translation>Load ICD…</translation>
    </message>
    <message>
        <source>IEC 61850 ICD-Datei laden</source>
        <translation>Load IEC 61850 ICD file</translation>
    </message>
    <message>
        <source>ICD speichern…</source>
        <translation>Save ICD…</translation>
    </message>
    <message>
        <source>IEC 61850 ICD-Datei speichern</source>
        <translation>Save IEC 61850 ICD file</translation>
    </message>
    <message>
        <source>Rückgängig</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>Wiederholen</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>Datei öffnen…</source>
        <translation>Open file…</translation>
    </message>
    <message>
        <source>Parametrierung öffnen</source>
        <translation>Open parameter set</translation>
    </message>
    <message>
        <source>Suchen: Name oder ID</source>
        <translation>Search: name or ID</translation>
    </message>
    <message>
        <source>nur geänderte</source>
        <translation>only changed</translation>
    </message>
    <message>
        <source>nur abweichend von Werkseinstellung</source>
        <translation>only those differing from factory settings</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Uhrzeit</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Protokoll</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>Wert für alle folgenden übernehmen</source>
        <translation>Apply value to all following</translation>
    </message>
    <message>
        <source>Aufgezeichnete Werte zählen</source>
        <translation>Count recorded values</translation>
    </message>
    <message>
        <source>Die Parametrierung kann nicht gelesen werden:<byte value="xd" />
</source>
        <translation>Cannot read the parameter set:
</translation>
    </message>
    <message>
        <source>Parametrierung gelesen</source>
        <translation>Parameter set read</translation>
    </message>
    <message>
        <source>%1 Einträge</source>
        <translation>%1 entries</translation>
    </message>
    <message>
        <source>Geräte-Parametrierung</source>
        <translation>Device parameters</translation>
    </message>
    <message>
        <source>Der eingegebene Wert für %1 liegt im ungültigen Bereich.<byte value="xd" />
Bitte die Bereichsgrenzen beachten:<byte value="xd" />
Minimaler Wert: %2<byte value="xd" />
Maximaler Wert: %3<byte value="xd" />
Standard Wert: %4<byte value="xd" />
<byte value="xd" />
Der Parameter wird auf den Wert %5 gesetzt!</source>
        <translation>The value entered for %1 is out of range.
Please keep to the limits:
Minimum value: %2
Maximum value: %3
Default value: %4

The parameter is set to %5!</translation>
    </message>
    <message>
        <source>Der eingegebene Wert liegt im ungültigen Bereich.<byte value="xd" />
Bitte die Bereichsgrenzen beachten:<byte value="xd" />
Minimaler Wert: %1<byte value="xd" />
Maximaler Wert: %2<byte value="xd" />
Standard Wert: %3<byte value="xd" />
<byte value="xd" />
Der Parameter wird auf den Wert %4 gesetzt!</source>
        <translation>The value entered is out of range.
Please keep to the limits:
Minimum value: %1
Maximum value: %2
Default value: %3

The parameter is set to %4!</translation>
    </message>
    <message>
        <source>Die Eingegebenen GPS Koordinaten "%1" sind ungültig. Bitte geben Sie diese im Format "N49.12345678E11.12345678" ein.</source>
        <translation>The GPS coordinates "%1" are invalid. Please enter them in the format "N49.12345678E11.12345678".</translation>
    </message>
    <message>
        <source>Der IED-Name "%1" ist ungültig. Er beginnt mit einem Buchstaben und enthält nur Buchstaben, Ziffern und "_" (höchstens 64 Zeichen).</source>
        <translation>The IED name "%1" is invalid. It starts with a letter and contains only letters, digits and "_" (at most 64 characters).</translation>
    </message>
    <message>
        <source>Achtung: Einstellungen im Servicemodus können u.U. zu Fehlfunktionen im Gerät führen!<byte value="xd" />
<byte value="xd" />
Wollen Sie den Servicemodus wirklich aktivieren?</source>
        <translation>Warning: settings in service mode can make the device malfunction!

Do you really want to switch service mode on?</translation>
    </message>
    <message>
        <source>Die Datei %1 existstiert bereits - soll diese überschrieben werden?</source>
        <translation>The file %1 already exists. Overwrite it?</translation>
    </message>
    <message>
        <source>Netz</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>Netzform</source>
        <translation>Network type</translation>
    </message>
    <message>
        <source>Nennfrequenz [Hz]</source>
        <translation>Nominal frequency [Hz]</translation>
    </message>
    <message>
        <source>Sekundäre Nennspannung [V]</source>
        <translation>Secondary nominal voltage [V]</translation>
    </message>
    <message>
        <source>Nennspannung L-L [%]</source>
        <translation>Nominal voltage L-L [%]</translation>
    </message>
    <message>
        <source>Wandler</source>
        <translation>Transformers</translation>
    </message>
    <message>
        <source>Spannungswandlerfaktor</source>
        <translation>Voltage transformer ratio</translation>
    </message>
    <message>
        <source>Korrektur U%1</source>
        <translation>Correction U%1</translation>
    </message>
    <message>
        <source>Stromwandlerfaktor</source>
        <translation>Current transformer ratio</translation>
    </message>
    <message>
        <source>Korrektur I%1</source>
        <translation>Correction I%1</translation>
    </message>
    <message>
        <source>Sekundärspannung [V]</source>
        <translation>Secondary voltage [V]</translation>
    </message>
    <message>
        <source>Ergebnis</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>Rekorder</source>
        <translation>Recorder</translation>
    </message>
    <message>
        <source>Abtastrate [Hz]</source>
        <translation>Sample rate [Hz]</translation>
    </message>
    <message>
        <source>Oszilloskop Zeit %1 [ms]</source>
        <translation>Oscilloscope time %1 [ms]</translation>
    </message>
    <message>
        <source>Effektivwert Zeit %1 [ms]</source>
        <translation>RMS time %1 [ms]</translation>
    </message>
    <message>
        <source>% des Nennstroms</source>
        <translation>% of nominal current</translation>
    </message>
    <message>
        <source>Einheit</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>für die Anzeige in A</source>
        <translation>for display in A</translation>
    </message>
    <message>
        <source>Nennstrom [A]</source>
        <translation>Nominal current [A]</translation>
    </message>
    <message>
        <source>Stromtrigger %1</source>
        <translation>Current trigger %1</translation>
    </message>
    <message>
        <source>Grenzwerte</source>
        <translation>Limits</translation>
    </message>
    <message>
        <source>Grenzwert %1 [%]</source>
        <translation>Limit %1 [%]</translation>
    </message>
    <message>
        <source>Bemessungsdifferenzstrom [mA]</source>
        <translation>Rated residual current [mA]</translation>
    </message>
    <message>
        <source>Primärwert [A]</source>
        <translation>Primary value [A]</translation>
    </message>
    <message>
        <source>Schwelle %1</source>
        <translation>Threshold %1</translation>
    </message>
    <message>
        <source>Erst den Nennstrom eingeben</source>
        <translation>Enter the nominal current first</translation>
    </message>
    <message>
        <source>Nicht in dieser Parametrierung</source>
        <translation>Not in this parameter set</translation>
    </message>
    <message>
        <source>Nicht eingebbar: die Umrechnung braucht einen Wert, der in dieser Parametrierung fehlt (%1)</source>
        <translation>Cannot be entered: the conversion needs a value missing from this parameter set (%1)</translation>
    </message>
    <message>
        <source>"%1" ist keine Zahl. Der Wert wurde nicht übernommen.</source>
        <translation>"%1" is not a number. The value was not taken.</translation>
    </message>
    <message>
        <source>U: %1 / %2 / %3 / %4   I: %5 / %6 / %7 / %8
Nennspannung L-L %9 V</source>
        <translation>U: %1 / %2 / %3 / %4   I: %5 / %6 / %7 / %8
Nominal voltage L-L %9 V</translation>
    </message>
    <message>
        <source>Wandlerwerte ungültig, es wurde nichts übernommen:<byte value="xd" />
</source>
        <translation>Invalid transformer values, nothing was taken:
</translation>
    </message>
    <message>
        <source>Sommerzeit</source>
        <translation>Daylight saving time</translation>
    </message>
    <message>
        <source>Zeitquelle</source>
        <translation>Time source</translation>
    </message>
    <message>
        <source>Zeitzone</source>
        <translation>Time zone</translation>
    </message>
    <message>
        <source>Gerätezeit auf PC-Zeit setzen</source>
        <translation>Set device time to PC time</translation>
    </message>
    <message>
        <source>Das Gerät übernimmt die Zeit vom Empfänger am Zeiteingang (%1).</source>
        <translation>The device takes its time from the receiver at the time input (%1).</translation>
    </message>
    <message>
        <source>Versatz "%1" (keine Zeitzone)</source>
        <translation>Offset "%1" (no time zone)</translation>
    </message>
    <message>
        <source>(UTC%1%2:%3) eingestellter Versatz, keine Zeitzone dieses Rechners</source>
        <translation>(UTC%1%2:%3) configured offset, not a time zone of this computer</translation>
    </message>
    <message>
        <source>%1 geänderte Werte werden auf dieser Ebene nicht übertragen</source>
        <translation>%1 changed values are not transferred at this level</translation>
    </message>
    <message>
        <source>Ohne diese Werte senden</source>
        <translation>Send without these values</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Die Parametrierung des Geräts liegt nicht vor, es kann keine Sicherung angelegt werden.<byte value="xd" />
Bitte neu lesen. Es wurde nichts gesendet.</source>
        <translation>The device's parameter set is not available, so no backup can be made.
Please read it again. Nothing was sent.</translation>
    </message>
    <message>
        <source><byte value="xd" />
Es wurde nichts gesendet.</source>
        <translation>
Nothing was sent.</translation>
    </message>
    <message>
        <source>Datei kann nicht geschrieben werden: %1</source>
        <translation>Cannot write the file: %1</translation>
    </message>
    <message>
        <source>Hochladen</source>
        <translation>Uploading</translation>
    </message>
    <message>
        <source>Übertragung abgeschlossen</source>
        <translation>Transfer complete</translation>
    </message>
    <message>
        <source>Teilweise übertragen: %1 geänderte Werte wurden nicht gesendet und bleiben in der Änderungsliste.</source>
        <translation>Partly transferred: %1 changed values were not sent and stay in the list of changes.</translation>
    </message>
    <message>
        <source>ACHTUNG: Parametrierung nicht erfolgreich!</source>
        <translation>WARNING: Parameter set not applied!</translation>
    </message>
    <message>
        <source>Ungesendete Änderungen verwerfen?</source>
        <translation>Discard unsent changes?</translation>
    </message>
    <message>
        <source>Verwerfen</source>
        <translation>Discard</translation>
    </message>
    <message>
        <source>Importieren</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>XML (*.xml *.XML);;Alle (*)</source>
        <translation>XML (*.xml *.XML);;All (*)</translation>
    </message>
    <message>
        <source>Datei kann nicht gelesen werden: %1 (%2)</source>
        <translation>Cannot read the file: %1 (%2)</translation>
    </message>
    <message>
        <source>Importdatei ungültig: </source>
        <translation>Invalid import file: </translation>
    </message>
    <message>
        <source>Die folgenden Einstellungen hatten ungültige Werte und wurden auf ihren Defaultwert zurückgesetzt: <byte value="xd" />
<byte value="xd" />
</source>
        <translation>The following settings had invalid values and were reset to their defaults:

</translation>
    </message>
    <message>
        <source>Keine geänderten Daten gefunden</source>
        <translation>No changed data found</translation>
    </message>
    <message>
        <source>Alle Parameter außer den Netzwerkeinstellungen werden auf ihre Werkseinstellung gesetzt.<byte value="xd" />
Die Werte werden erst beim Senden an das Gerät übertragen.<byte value="xd" />
<byte value="xd" />
Fortfahren?</source>
        <translation>All parameters except the network settings will be set to their factory settings.
The values are transferred to the device only when sent.

Continue?</translation>
    </message>
    <message>
        <source>Werkseinstellungen %1 / %2</source>
        <translation>Factory settings %1 / %2</translation>
    </message>
    <message>
        <source>Exportieren</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Keine Änderungen</source>
        <translation>No changes</translation>
    </message>
    <message>
        <source>Änderungen exportieren</source>
        <translation>Export changes</translation>
    </message>
    <message>
        <source>ICD laden</source>
        <translation>Load ICD</translation>
    </message>
    <message>
        <source>Ungülige ICD Datei </source>
        <translation>Invalid ICD file </translation>
    </message>
    <message>
        <source>ICD-Datei kann nicht abgelegt werden: </source>
        <translation>Cannot store the ICD file: </translation>
    </message>
    <message>
        <source>Keine ICD-Datei vorhanden</source>
        <translation>No ICD file available</translation>
    </message>
    <message>
        <source>ICD speichern</source>
        <translation>Save ICD</translation>
    </message>
    <message>
        <source>ICD-Datei kann nicht gespeichert werden: %1</source>
        <translation>Cannot save the ICD file: %1</translation>
    </message>
    <message>
        <source>Frage: %1</source>
        <translation>Question: %1</translation>
    </message>
</context>
<context>
    <name>vanta::TFormStatus</name>
    <message>
        <source>Gerätestatus</source>
        <translation>Device status</translation>
    </message>
    <message>
        <source>Aktualisieren</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Logdatei</source>
        <translation>Log file</translation>
    </message>
    <message>
        <source>Prüfzertifikat</source>
        <translation>Test certificate</translation>
    </message>
    <message>
        <source>Das Gerät liefert keine Statuswerte (%1)</source>
        <translation>The device returns no status values (%1)</translation>
    </message>
    <message>
        <source>Verbinden</source>
        <translation>Connecting</translation>
    </message>
    <message>
        <source>Verbunden</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>PCAP gestartet: %1</source>
        <translation>PCAP started: %1</translation>
    </message>
</context>
<context>
    <name>vanta::TFormVisu</name>
    <message>
        <source>Online Messdaten Vanta</source>
        <translation>Vanta online measured data</translation>
    </message>
    <message>
        <source>Zurück</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>Zur Startseite (die Diagramme bleiben)</source>
        <translation>To the start page (the charts stay)</translation>
    </message>
    <message>
        <source>Messwerte</source>
        <translation>Measured values</translation>
    </message>
    <message>
        <source>Oszilloskop-Bild</source>
        <translation>Oscilloscope picture</translation>
    </message>
    <message>
        <source>Oszilloskop-Spektrum</source>
        <translation>Oscilloscope spectrum</translation>
    </message>
    <message>
        <source>Vektor-Diagramm</source>
        <translation>Vector diagram</translation>
    </message>
    <message>
        <source>Harmonische 2 - 50</source>
        <translation>Harmonics 2 - 50</translation>
    </message>
    <message>
        <source>Zwischenharmonische 2 - 50</source>
        <translation>Interharmonics 2 - 50</translation>
    </message>
    <message>
        <source>Frequenzbänder 2 - 9 kHz</source>
        <translation>Frequency bands 2 - 9 kHz</translation>
    </message>
    <message>
        <source>Spannung L-E</source>
        <translation>Voltage L-E</translation>
    </message>
    <message>
        <source>Spannung L-L</source>
        <translation>Voltage L-L</translation>
    </message>
    <message>
        <source>Strom</source>
        <translation>Current</translation>
    </message>
    <message>
        <source>Gerätepanel</source>
        <translation>Device panel</translation>
    </message>
    <message>
        <source>n.A.</source>
        <translation>n/a</translation>
    </message>
    <message>
        <source>Binäreingänge</source>
        <translation>Binary inputs</translation>
    </message>
    <message>
        <source>Lastfluss</source>
        <translation>Load flow</translation>
    </message>
    <message>
        <source>Autoskalierung</source>
        <translation>Autoscale</translation>
    </message>
    <message>
        <source>Stapel-Darstellung</source>
        <translation>Stacked view</translation>
    </message>
    <message>
        <source>Daten in Zwischenablage</source>
        <translation>Copy data to clipboard</translation>
    </message>
    <message>
        <source>Bild in Zwischenablage</source>
        <translation>Copy image to clipboard</translation>
    </message>
    <message>
        <source>Referenzwerte als Vollausschlag</source>
        <translation>Reference values as full scale</translation>
    </message>
</context>
<context>
    <name>vanta::TFrameCCCI</name>
    <message>
        <source>IP-Adressen</source>
        <translation>IP addresses</translation>
    </message>
</context>
<context>
    <name>vanta::TFrameDrives</name>
    <message>
        <source>Speicher (MB)</source>
        <translation>Storage (MB)</translation>
    </message>
    <message>
        <source>Arbeitsspeicher (MB)</source>
        <translation>RAM (MB)</translation>
    </message>
</context>
<context>
    <name>vanta::TFrameMain</name>
    <message>
        <source>Übersicht</source>
        <translation>Overview</translation>
    </message>
    <message>
        <source>Speicher</source>
        <translation>Storage</translation>
    </message>
    <message>
        <source>frei</source>
        <translation>free</translation>
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
        <source>Gerätezeit</source>
        <translation>Device time</translation>
    </message>
    <message>
        <source>Laufzeit</source>
        <translation>Uptime</translation>
    </message>
</context>
<context>
    <name>vanta::TFrameNTP</name>
    <message>
        <source>Zeit</source>
        <translation>Time</translation>
    </message>
</context>
<context>
    <name>vanta::TFramePCAP</name>
    <message>
        <source>Mitschnitt generieren</source>
        <translation>Create capture</translation>
    </message>
    <message>
        <source>Zeit</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Pakete</source>
        <translation>Packets</translation>
    </message>
    <message>
        <source>Starten</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Schnittstelle</source>
        <translation>Interface</translation>
    </message>
    <message>
        <source>Dateiname</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>Dauer</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>Kommando</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>Mittschnitt herunterladen</source>
        <translation>Download capture</translation>
    </message>
    <message>
        <source>Datei</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Herunterladen</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Löschen</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>vanta::TFrameSystem</name>
    <message>
        <source>Systemlast</source>
        <translation>System load</translation>
    </message>
    <message>
        <source>Aktuelle Aufzeichnungsdateien</source>
        <translation>Current recording files</translation>
    </message>
</context>
<context>
    <name>vanta::TFrmCalib</name>
    <message>
        <source>Kalibrierung</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>Anforderungen</source>
        <translation>Requirements</translation>
    </message>
    <message>
        <source>Für die Kalibrierung werden ein Kalibrator (Spannung, Strom, Frequenz 50/60 Hz) und ein Referenzmessgerät benötigt.</source>
        <translation>The calibration needs a calibrator (voltage, current, frequency 50/60 Hz) and a reference meter.</translation>
    </message>
    <message>
        <source>Alle acht Messkanäle werden nacheinander geprüft.</source>
        <translation>All eight measuring channels are checked one after the other.</translation>
    </message>
    <message>
        <source>Kalibration starten</source>
        <translation>Start calibration</translation>
    </message>
    <message>
        <source>Identifikation und Prüfer</source>
        <translation>Identification and tester</translation>
    </message>
    <message>
        <source>Gerätetyp</source>
        <translation>Device type</translation>
    </message>
    <message>
        <source>Seriennummer</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>Prüfer</source>
        <translation>Tester</translation>
    </message>
    <message>
        <source>Prüfdatum</source>
        <translation>Test date</translation>
    </message>
    <message>
        <source>Prüfzeit</source>
        <translation>Test time</translation>
    </message>
    <message>
        <source>Kalibrierprogramm</source>
        <translation>Calibration program</translation>
    </message>
    <message>
        <source>Prüfvorschrift</source>
        <translation>Test procedure</translation>
    </message>
    <message>
        <source>Umgebungsbedingungen</source>
        <translation>Ambient conditions</translation>
    </message>
    <message>
        <source>Lufttemperatur</source>
        <translation>Air temperature</translation>
    </message>
    <message>
        <source>Rel. Luftfeuchte</source>
        <translation>Rel. humidity</translation>
    </message>
    <message>
        <source>Luftdruck</source>
        <translation>Air pressure</translation>
    </message>
    <message>
        <source>Standardwerte wiederherstellen</source>
        <translation>Restore defaults</translation>
    </message>
    <message>
        <source>Modell</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>Prüfnummer</source>
        <translation>Test number</translation>
    </message>
    <message>
        <source>Kalibriert bis</source>
        <translation>Calibrated until</translation>
    </message>
    <message>
        <source>Zertifikat</source>
        <translation>Certificate</translation>
    </message>
    <message>
        <source>Referenzgerät 1</source>
        <translation>Reference device 1</translation>
    </message>
    <message>
        <source>Referenzgerät 2</source>
        <translation>Reference device 2</translation>
    </message>
    <message>
        <source>Hilfsmittel und Anmerkung</source>
        <translation>Equipment and remark</translation>
    </message>
    <message>
        <source>Anmerkung</source>
        <translation>Remark</translation>
    </message>
    <message>
        <source>Quelle trennen</source>
        <translation>Disconnect source</translation>
    </message>
    <message>
        <source>Frequenz wählen</source>
        <translation>Choose frequency</translation>
    </message>
    <message>
        <source>Nullpunkt messen</source>
        <translation>Measure zero point</translation>
    </message>
    <message>
        <source>Quelle verbinden</source>
        <translation>Connect source</translation>
    </message>
    <message>
        <source>Referenz vergleichen</source>
        <translation>Compare reference</translation>
    </message>
    <message>
        <source>Status prüfen</source>
        <translation>Check status</translation>
    </message>
    <message>
        <source>Kalibration abschließen</source>
        <translation>Finish calibration</translation>
    </message>
    <message>
        <source>Alle Spannungsmesseingänge auf Erdpotential legen und alle Strommesseingänge von der Quelle trennen.</source>
        <translation>Connect all voltage inputs to earth potential and disconnect all current inputs from the source.</translation>
    </message>
    <message>
        <source>Spannung = 0 V</source>
        <translation>Voltage = 0 V</translation>
    </message>
    <message>
        <source>Strom = 0 A</source>
        <translation>Current = 0 A</translation>
    </message>
    <message>
        <source>Bitte wählen Sie die Referenzfrequenz für die Kalibrierung:</source>
        <translation>Please choose the reference frequency for the calibration:</translation>
    </message>
    <message>
        <source>Spannungs- und Strompfade des Kalibrators an alle Messeingänge anschließen (Spannungen parallel, Ströme in Reihe), das Referenzmessgerät dazu.</source>
        <translation>Connect the calibrator's voltage and current paths to all measuring inputs (voltages in parallel, currents in series), and the reference meter as well.</translation>
    </message>
    <message>
        <source>Am Kalibrator folgende Werte einstellen:</source>
        <translation>Set the following values on the calibrator:</translation>
    </message>
    <message>
        <source>Spannung = 100.00 V</source>
        <translation>Voltage = 100.00 V</translation>
    </message>
    <message>
        <source>Strom = 5.000 A</source>
        <translation>Current = 5.000 A</translation>
    </message>
    <message>
        <source>Frequenz = 50.000 Hz</source>
        <translation>Frequency = 50.000 Hz</translation>
    </message>
    <message>
        <source>Spannung (V):</source>
        <translation>Voltage (V):</translation>
    </message>
    <message>
        <source>Strom (A):</source>
        <translation>Current (A):</translation>
    </message>
    <message>
        <source>Werte der Kontrollmessung eingeben:</source>
        <translation>Enter the values of the check measurement:</translation>
    </message>
    <message>
        <source>Ergebnis:</source>
        <translation>Result:</translation>
    </message>
    <message>
        <source>Kalibrationsstatus überprüfen:</source>
        <translation>Check the calibration status:</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Zurück</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>Weiter</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>Kalibration wiederholen</source>
        <translation>Repeat calibration</translation>
    </message>
    <message>
        <source>Speichern und Beenden</source>
        <translation>Save and finish</translation>
    </message>
    <message>
        <source>Warte auf das Gerät seit %1</source>
        <translation>Waiting for the device for %1</translation>
    </message>
    <message>
        <source>Frequenz = 60.000 Hz</source>
        <translation>Frequency = 60.000 Hz</translation>
    </message>
</context>
<context>
    <name>vanta::TFrmChangeComment</name>
    <message>
        <source>Änderungskommentar</source>
        <translation>Change comment</translation>
    </message>
    <message>
        <source>Was wurde geändert und warum?</source>
        <translation>What was changed and why?</translation>
    </message>
    <message>
        <source>Benutzer</source>
        <translation>User</translation>
    </message>
    <message>
        <source>Kommentar</source>
        <translation>Comment</translation>
    </message>
    <message>
        <source>Senden</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>vanta::TFrmChangelog</name>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Update Starten</source>
        <translation>Start update</translation>
    </message>
</context>
<context>
    <name>vanta::TFrmNewPass</name>
    <message>
        <source>Das bisherige Passwort ist abgelaufen, bitte vergeben Sie ein neues Passwort.</source>
        <translation>The current password has expired, please choose a new password.</translation>
    </message>
    <message>
        <source>Neues Passwort</source>
        <translation>New password</translation>
    </message>
    <message>
        <source>Passwort bestätigen</source>
        <translation>Confirm password</translation>
    </message>
    <message>
        <source>Hinweis: Das neue Passwort muss sich in 5 Stellen zum alten Passwort unterscheiden. Zusätzlich ist die parametrierte Passwortrichtlinie zu beachten.</source>
        <translation>Note: the new password must differ from the old one in 5 places. The configured password policy applies as well.</translation>
    </message>
    <message>
        <source>Übernehmen</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Bitte Überprüfen Sie Ihre Eingabe!</source>
        <translation>Please check your input!</translation>
    </message>
</context>
<context>
    <name>vanta::TFrmParaChanged</name>
    <message>
        <source>Parameter</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Gerät</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Datei</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Werkseinstellung</source>
        <translation>Factory setting</translation>
    </message>
    <message>
        <source>Serviceparameter übertragen</source>
        <translation>Transfer service parameters</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Wähle Sie die Parameter aus, die Sie in Ihre Parametrierung vom Gerät [%1] übernehmen wollen. Die Parameterwerte in Klammern entsprechen den aktuellen Werten aus dem Mervix vanta und werden bei Auswahl mit den neuen Werten überschrieben.</source>
        <translation>Choose the parameters you want to take into your parameter set from the device [%1]. The values in brackets are the current values from the Mervix vanta; when chosen, they are overwritten with the new values.</translation>
    </message>
    <message>
        <source>  (ungültig → Standard)</source>
        <translation>  (invalid → default)</translation>
    </message>
</context>
<context>
    <name>vanta::TFrmParaSelect</name>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Wählen Sie die Parameter aus, die an das Mervix vanta [%1] gesendet werden sollen.</source>
        <translation>Choose the parameters to send to the Mervix vanta [%1].</translation>
    </message>
    <message>
        <source>Wählen Sie die Parameter aus, die in die CSV-Datei exportiert werden sollen.</source>
        <translation>Choose the parameters to export to the CSV file.</translation>
    </message>
</context>
<context>
    <name>vanta::TFrmSendPreview</name>
    <message>
        <source>Senden</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Gerät</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Neu</source>
        <translation>New</translation>
    </message>
    <message>
        <source>Modul</source>
        <translation>Module</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source> (wird nicht übertragen)</source>
        <translation> (not transferred)</translation>
    </message>
    <message>
        <source>Keine geänderten Werte: die Parametrierung wird unverändert an das Gerät [%1] gesendet.</source>
        <translation>No changed values: the parameter set is sent unchanged to the device [%1].</translation>
    </message>
    <message>
        <source>%1 geänderte Werte werden an das Gerät [%2] gesendet.</source>
        <translation>%1 changed values will be sent to the device [%2].</translation>
    </message>
    <message>
        <source> %1 geänderte Werte werden nicht übertragen.</source>
        <translation> %1 changed values will not be transferred.</translation>
    </message>
</context>
<context>
    <name>vanta::TMassFlash</name>
    <message>
        <source>%1 von %2 Geräten aktualisiert</source>
        <translation>%1 of %2 devices updated</translation>
    </message>
    <message>
        <source>Ein Massen-Update läuft bereits</source>
        <translation>A mass update is already running</translation>
    </message>
    <message>
        <source>Keine Geräte gewählt</source>
        <translation>No devices selected</translation>
    </message>
    <message>
        <source>Parallelität 1 bis 8</source>
        <translation>Parallelism 1 to 8</translation>
    </message>
    <message>
        <source>Updatedatei nicht gefunden: %1</source>
        <translation>Update file not found: %1</translation>
    </message>
    <message>
        <source>Sicherungsordner nicht anlegbar: %1</source>
        <translation>Cannot create the backup folder: %1</translation>
    </message>
    <message>
        <source>Lauf angehalten</source>
        <translation>Run stopped</translation>
    </message>
    <message>
        <source>"%1" ist keine Adresse (host[:port] [Name])</source>
        <translation>"%1" is not an address (host[:port] [name])</translation>
    </message>
    <message>
        <source>%1: keine Geräte</source>
        <translation>%1: no devices</translation>
    </message>
    <message>
        <source>%1: eine Liste von Geräten erwartet</source>
        <translation>%1: a list of devices expected</translation>
    </message>
    <message>
        <source>%1: Eintrag %2 ohne gültige Adresse</source>
        <translation>%1: entry %2 without a valid address</translation>
    </message>
    <message>
        <source>%1: kein Bericht eines Massen-Updates</source>
        <translation>%1: not a report of a mass update</translation>
    </message>
</context>
<context>
    <name>vanta::TPQPaintBoxCrvFFT</name>
    <message>
        <source>Spektrum   %1 Hz Linienabstand   %2 %</source>
        <translation>Spectrum   %1 Hz line spacing   %2 %</translation>
    </message>
</context>
<context>
    <name>vanta::TPQPaintBoxLoadFlow</name>
    <message>
        <source>Lastfluss</source>
        <translation>Load flow</translation>
    </message>
</context>
<context>
    <name>vanta::TPQPaintBoxVecDiag</name>
    <message>
        <source>Vektor-Diagramm</source>
        <translation>Vector diagram</translation>
    </message>
</context>
<context>
    <name>vanta::TRecTableModel</name>
    <message>
        <source>Zeit</source>
        <translation>Time</translation>
    </message>
</context>
<context>
    <name>vanta::TVantaGridModel</name>
    <message>
        <source>Parametername</source>
        <translation>Parameter name</translation>
    </message>
    <message>
        <source>Wert</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Werkseinstellung</source>
        <translation>Factory setting</translation>
    </message>
    <message>
        <source>Minimum</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>Maximum</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>Gelesen: %1</source>
        <translation>Read: %1</translation>
    </message>
</context>
<context>
    <name>vanta::host::TDeviceDialog</name>
    <message>
        <source>Gerät</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Anlage</source>
        <translation>Plant</translation>
    </message>
    <message>
        <source>Feld</source>
        <translation>Field</translation>
    </message>
    <message>
        <source>Verbindung</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>Serielle / USB-Verbindung</source>
        <translation>Serial / USB connection</translation>
    </message>
    <message>
        <source>leer: ohne Verbindung (gespeicherte Daten)</source>
        <translation>empty: no connection (stored data)</translation>
    </message>
    <message>
        <source>CCCI über SSH</source>
        <translation>CCCI over SSH</translation>
    </message>
    <message>
        <source>Dateien über FTP übertragen</source>
        <translation>Transfer files over FTP</translation>
    </message>
    <message>
        <source>Seriell mit Anmeldung verbinden (Protokoll 5)</source>
        <translation>Connect serially with login (protocol 5)</translation>
    </message>
    <message>
        <source>Aus: Sitzungsstart ohne Anmeldung (Protokoll 4)</source>
        <translation>Off: session start without login (protocol 4)</translation>
    </message>
    <message>
        <source>Adresse</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Port / serielle Schnittstelle</source>
        <translation>Port / serial port</translation>
    </message>
    <message>
        <source>IP-Version</source>
        <translation>IP version</translation>
    </message>
    <message>
        <source>Verbindungsart</source>
        <translation>Connection type</translation>
    </message>
    <message>
        <source>Anmeldung (SSH / serielle Anmeldung)</source>
        <translation>Login (SSH / serial login)</translation>
    </message>
    <message>
        <source>leer: Werkseinstellung des Geräts</source>
        <translation>empty: the device's factory setting</translation>
    </message>
    <message>
        <source>Benutzer</source>
        <translation>User</translation>
    </message>
    <message>
        <source>Passwort</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Sprachdateien beim Verbinden prüfen</source>
        <translation>Check language files when connecting</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Bitte die serielle Schnittstelle angeben (z. B. /dev/ttyUSB0 oder 1).</source>
        <translation>Please enter the serial port (e.g. /dev/ttyUSB0 or 1).</translation>
    </message>
    <message>
        <source>Der Port muss eine Zahl von 1 bis 65535 sein.</source>
        <translation>The port must be a number from 1 to 65535.</translation>
    </message>
    <message>
        <source>Die Adresse darf keine Leerzeichen enthalten.</source>
        <translation>The address must not contain spaces.</translation>
    </message>
    <message>
        <source>Zum Passwort fehlt der Benutzer.</source>
        <translation>A password needs a user.</translation>
    </message>
    <message>
        <source>leer: gespeichertes behalten, sonst beim Verbinden abfragen</source>
        <translation>empty: keep the stored one, else ask when connecting</translation>
    </message>
    <message>
        <source>Wird im Schlüsselbund des Desktops gespeichert, nie in der Einstellungsdatei</source>
        <translation>Kept in the desktop keyring, never in the settings file</translation>
    </message>
    <message>
        <source>Gespeichertes Passwort aus dem Schlüsselbund löschen</source>
        <translation>Delete the stored password from the keyring</translation>
    </message>
    <message>
        <source>Kein Schlüsselbund verfügbar: das Passwort wird beim Verbinden abgefragt</source>
        <translation>No keyring available: the password is asked for when connecting</translation>
    </message>
</context>
<context>
    <name>vanta::host::TFormDevice</name>
    <message>
        <source>Das Fenster "%1" folgt in einer späteren Version.</source>
        <translation>The window "%1" will come in a later version.</translation>
    </message>
    <message>
        <source>Bis dahin zeigt dieses Gerätefenster die Verbindung, das Gerätepanel und die gespeicherten Daten.</source>
        <translation>Until then this device window shows the connection, the device panel and the stored data.</translation>
    </message>
    <message>
        <source>Gerätepanel</source>
        <translation>Device panel</translation>
    </message>
    <message>
        <source>Display abrufen</source>
        <translation>Fetch display</translation>
    </message>
    <message>
        <source>Gespeicherte Daten</source>
        <translation>Stored data</translation>
    </message>
    <message>
        <source>Ereignisse</source>
        <translation>Events</translation>
    </message>
    <message>
        <source>Aufzeichnungen</source>
        <translation>Recordings</translation>
    </message>
    <message>
        <source>Herunterladen</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Parameter lesen</source>
        <translation>Read parameters</translation>
    </message>
    <message>
        <source>Lade %1</source>
        <translation>Loading %1</translation>
    </message>
    <message>
        <source>Gespeichert: %1</source>
        <translation>Saved: %1</translation>
    </message>
    <message>
        <source>Parameter gelesen: %1 (%2 Bytes)</source>
        <translation>Parameters read: %1 (%2 bytes)</translation>
    </message>
    <message>
        <source>1 Ereignis</source>
        <translation>1 event</translation>
    </message>
    <message>
        <source>%1 Ereignisse</source>
        <translation>%1 events</translation>
    </message>
    <message>
        <source>1 Aufzeichnung</source>
        <translation>1 recording</translation>
    </message>
    <message>
        <source>%1 Aufzeichnungen</source>
        <translation>%1 recordings</translation>
    </message>
</context>
<context>
    <name>vanta::host::TMainWindow</name>
    <message>
        <source>Anlage / Feld / Gerät</source>
        <translation>Plant / Field / Device</translation>
    </message>
    <message>
        <source>Protokoll</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>Geräte</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>&amp;Gerät</source>
        <translation>&amp;Device</translation>
    </message>
    <message>
        <source>Hinzufügen…</source>
        <translation>Add…</translation>
    </message>
    <message>
        <source>Bearbeiten…</source>
        <translation>Edit…</translation>
    </message>
    <message>
        <source>Duplizieren</source>
        <translation>Duplicate</translation>
    </message>
    <message>
        <source>Entfernen</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Webseite öffnen</source>
        <translation>Open web page</translation>
    </message>
    <message>
        <source>&amp;Öffnen</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>Alle Messwerte</source>
        <translation>All measured values</translation>
    </message>
    <message>
        <source>&amp;Extras</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>Einstellungen…</source>
        <translation>Settings…</translation>
    </message>
    <message>
        <source>Protokoll leeren</source>
        <translation>Clear log</translation>
    </message>
    <message>
        <source>Updatepaket wählen</source>
        <translation>Choose update package</translation>
    </message>
    <message>
        <source>Updatepaket (*.zip)</source>
        <translation>Update package (*.zip)</translation>
    </message>
    <message>
        <source>Statusdatei lesen</source>
        <translation>Read status file</translation>
    </message>
    <message>
        <source>(ohne Anlage)</source>
        <translation>(no plant)</translation>
    </message>
    <message>
        <source>(ohne Feld)</source>
        <translation>(no field)</translation>
    </message>
    <message>
        <source>Passwort für %1@%2:</source>
        <translation>Password for %1@%2:</translation>
    </message>
    <message>
        <source>Statusdatei – %1</source>
        <translation>Status file – %1</translation>
    </message>
    <message>
        <source>%1 Meldung(en) offen</source>
        <translation>%1 message(s) open</translation>
    </message>
    <message>
        <source>Gerät hinzufügen</source>
        <translation>Add device</translation>
    </message>
    <message>
        <source>Gerät bearbeiten</source>
        <translation>Edit device</translation>
    </message>
    <message>
        <source> (Kopie)</source>
        <translation> (copy)</translation>
    </message>
    <message>
        <source>Gerät "%1" entfernen?</source>
        <translation>Remove device "%1"?</translation>
    </message>
    <message>
        <source>Einstellungen</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>leer: keine Mitschnitte</source>
        <translation>empty: no captures</translation>
    </message>
    <message>
        <source>Datenordner</source>
        <translation>Data folder</translation>
    </message>
    <message>
        <source>Ini-Ordner</source>
        <translation>Ini folder</translation>
    </message>
    <message>
        <source>Vorlagen</source>
        <translation>Templates</translation>
    </message>
    <message>
        <source>Temporäre Dateien</source>
        <translation>Temporary files</translation>
    </message>
    <message>
        <source>Protokoll-Mitschnitte</source>
        <translation>Protocol captures</translation>
    </message>
    <message>
        <source>Benutzername</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>Zugriffsebene</source>
        <translation>Access level</translation>
    </message>
    <message>
        <source>Warten auf das Update</source>
        <translation>Wait for the update</translation>
    </message>
    <message>
        <source>Warten je Kalibrierschritt</source>
        <translation>Wait per calibration step</translation>
    </message>
    <message>
        <source>Warten auf den Neustart nach dem Update</source>
        <translation>Wait for the restart after the update</translation>
    </message>
    <message>
        <source>Gespeicherte Passwörter nicht lesbar: %1; sie werden beim Verbinden abgefragt</source>
        <translation>Stored passwords cannot be read: %1; they are asked for at connect time</translation>
    </message>
    <message>
        <source>%1 ist seriell angeschlossen und hat keine Webseite</source>
        <translation>%1 is connected by serial line and has no web page</translation>
    </message>
    <message>
        <source>Keine gültige Adresse für die Webseite von %1: "%2"</source>
        <translation>No valid address for the web page of %1: "%2"</translation>
    </message>
    <message>
        <source>Webseite %1 geöffnet</source>
        <translation>Web page %1 opened</translation>
    </message>
    <message>
        <source>Webseite %1 konnte nicht geöffnet werden (kein Browser?)</source>
        <translation>Web page %1 could not be opened (no browser?)</translation>
    </message>
    <message>
        <source>%1 geöffnet</source>
        <translation>%1 opened</translation>
    </message>
    <message>
        <source>%1 für %2 geöffnet</source>
        <translation>%1 opened for %2</translation>
    </message>
    <message>
        <source>%1 für %2: %3</source>
        <translation>%1 for %2: %3</translation>
    </message>
    <message>
        <source>Verbindung zu %1 abgebrochen: kein Passwort eingegeben</source>
        <translation>Connection to %1 cancelled: no password entered</translation>
    </message>
    <message>
        <source>Firmware-Update für %1 abgebrochen: kein Updatepaket gewählt</source>
        <translation>Firmware update for %1 cancelled: no update package chosen</translation>
    </message>
    <message>
        <source>Firmware-Update für %1 beendet: %2</source>
        <translation>Firmware update for %1 ended: %2</translation>
    </message>
    <message>
        <source>Das gespeicherte Passwort für %1 wurde abgelehnt; bis zum Neustart wird beim Verbinden gefragt (ändern: Gerät bearbeiten)</source>
        <translation>The stored password for %1 was refused; until a restart it is asked for at connect time (to change it: edit the device)</translation>
    </message>
    <message>
        <source>Verbunden mit %1</source>
        <translation>Connected to %1</translation>
    </message>
    <message>
        <source>Keine Verbindung zu %1%2</source>
        <translation>No connection to %1%2</translation>
    </message>
    <message>
        <source> (Anmeldung abgelehnt)</source>
        <translation> (login refused)</translation>
    </message>
    <message>
        <source>Mitschnitt nicht möglich: %1</source>
        <translation>Trace not possible: %1</translation>
    </message>
    <message>
        <source>Passwort für %1 im Schlüsselbund gespeichert</source>
        <translation>Password for %1 stored in the keyring</translation>
    </message>
    <message>
        <source>Passwort nicht gespeichert (%1); es wird beim Verbinden abgefragt</source>
        <translation>Password not stored (%1); it is asked for at connect time</translation>
    </message>
    <message>
        <source>Gespeichertes Passwort für %1 gelöscht</source>
        <translation>Stored password for %1 deleted</translation>
    </message>
    <message>
        <source>Gespeichertes Passwort für %1 nicht gelöscht: %2</source>
        <translation>Stored password for %1 not deleted: %2</translation>
    </message>
    <message>
        <source>Wie das System</source>
        <translation>As the system</translation>
    </message>
    <message>
        <source>Sprache (ab dem nächsten Start)</source>
        <translation>Language (from the next start)</translation>
    </message>
</context>
</TS>