<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
  <context>
    <name>TEn</name>
    <message>
      <source>no version entry</source>
      <translation>kein Versionseintrag</translation>
    </message>
    <message>
      <source>time settings: %1 bytes from offset %2, 180 needed</source>
      <translation>Zeiteinstellungen: %1 Bytes ab Offset %2, 180 nötig</translation>
    </message>
    <message>
      <source>libcurl not usable</source>
      <translation>libcurl nicht nutzbar</translation>
    </message>
    <message>
      <source>size check failed: %1 of %2 bytes</source>
      <translation>Größenprüfung fehlgeschlagen: %1 von %2 Bytes</translation>
    </message>
    <message>
      <source>password file</source>
      <translation>Passwortdatei</translation>
    </message>
    <message>
      <source>%1 %2: no such file</source>
      <translation>%1 %2: Datei nicht vorhanden</translation>
    </message>
    <message>
      <source>%1 %2 may be read by group or others (mode %3, needs 600 or stricter): chmod 600 %2</source>
      <translation>%1 %2 ist für Gruppe oder andere lesbar (Modus %3, nötig ist 600 oder strenger): chmod 600 %2</translation>
    </message>
    <message>
      <source>%1 %2 is empty</source>
      <translation>%1 %2 ist leer</translation>
    </message>
    <message>
      <source>SSH Auth error: %1 %2</source>
      <translation>SSH-Anmeldefehler: %1 %2</translation>
    </message>
    <message>
      <source>libssh not usable</source>
      <translation>libssh nicht nutzbar</translation>
    </message>
    <message>
      <source>COMTRADE only for oscilloscope and 10 ms TRMS records</source>
      <translation>COMTRADE nur für Oszilloskop- und 10-ms-TRMS-Aufzeichnungen</translation>
    </message>
    <message>
      <source>the record carries no sample rate</source>
      <translation>die Aufzeichnung hat keine Abtastrate</translation>
    </message>
    <message>
      <source>%1: cannot create the folder</source>
      <translation>%1: der Ordner kann nicht angelegt werden</translation>
    </message>
    <message>
      <source>CSV only for recordings and waveform records</source>
      <translation>CSV nur für Aufzeichnungen und Kurvenaufzeichnungen</translation>
    </message>
    <message>
      <source>gzip: zlib init failed</source>
      <translation>gzip: zlib-Start fehlgeschlagen</translation>
    </message>
    <message>
      <source>gunzip: zlib init failed</source>
      <translation>gunzip: zlib-Start fehlgeschlagen</translation>
    </message>
    <message>
      <source>gunzip: data larger than %1 bytes</source>
      <translation>gunzip: Daten größer als %1 Bytes</translation>
    </message>
    <message>
      <source>gunzip: damaged or truncated data (%1)</source>
      <translation>gunzip: beschädigte oder abgeschnittene Daten (%1)</translation>
    </message>
    <message>
      <source>--lang needs a value: de or en</source>
      <translation>--lang braucht einen Wert: de oder en</translation>
    </message>
    <message>
      <source>--lang %1: expected de or en</source>
      <translation>--lang %1: erwartet de oder en</translation>
    </message>
    <message>
      <source>the English catalogue is missing from the program</source>
      <translation>der englische Katalog fehlt im Programm</translation>
    </message>
    <message>
      <source>Qt's German catalogue is not installed (Debian qt6-translations-l10n)</source>
      <translation>Qts deutscher Katalog ist nicht installiert (Debian qt6-translations-l10n)</translation>
    </message>
    <message>
      <source>trace: not a little-endian pcapng file</source>
      <translation>Mitschnitt: keine Little-Endian-pcapng-Datei</translation>
    </message>
    <message>
      <source>trace: damaged block at offset %1</source>
      <translation>Mitschnitt: beschädigter Block bei Offset %1</translation>
    </message>
    <message>
      <source>trace: block at offset %1 does not close</source>
      <translation>Mitschnitt: Block bei Offset %1 schließt nicht ab</translation>
    </message>
    <message>
      <source>trace: short packet block at offset %1</source>
      <translation>Mitschnitt: zu kurzer Paketblock bei Offset %1</translation>
    </message>
    <message>
      <source>trace: packet longer than its block at offset %1</source>
      <translation>Mitschnitt: Paket länger als sein Block bei Offset %1</translation>
    </message>
    <message>
      <source>trace: damaged option at offset %1</source>
      <translation>Mitschnitt: beschädigte Option bei Offset %1</translation>
    </message>
    <message>
      <source>tar: refused entry name "%1"</source>
      <translation>tar: Eintragsname "%1" abgelehnt</translation>
    </message>
    <message>
      <source>tar: entry %1 is longer than its header says</source>
      <translation>tar: Eintrag %1 ist länger als sein Kopf angibt</translation>
    </message>
    <message>
      <source>--db %1: no file after "sqlite:"</source>
      <translation>--db %1: keine Datei nach "sqlite:"</translation>
    </message>
    <message>
      <source>--db %1: expected postgresql://USER@HOST:PORT/DB</source>
      <translation>--db %1: erwartet postgresql://USER@HOST:PORT/DB</translation>
    </message>
    <message>
      <source>--db: no password in the address; use --db-password-file or PGPASSFILE</source>
      <translation>--db: kein Passwort in der Adresse; --db-password-file oder PGPASSFILE verwenden</translation>
    </message>
    <message>
      <source>--db %1: expected sqlite:FILE or postgresql://USER@HOST:PORT/DB</source>
      <translation>--db %1: erwartet sqlite:FILE oder postgresql://USER@HOST:PORT/DB</translation>
    </message>
    <message>
      <source>the Qt SQL driver %1 is not installed</source>
      <translation>der Qt-SQL-Treiber %1 ist nicht installiert</translation>
    </message>
    <message>
      <source>%1: folder cannot be made</source>
      <translation>%1: Ordner kann nicht angelegt werden</translation>
    </message>
    <message>
      <source>database %1: WAL mode not available (%2)</source>
      <translation>Datenbank %1: WAL-Modus nicht verfügbar (%2)</translation>
    </message>
    <message>
      <source>%1: cannot be removed</source>
      <translation>%1: kann nicht entfernt werden</translation>
    </message>
    <message>
      <source>token file</source>
      <translation>Token-Datei</translation>
    </message>
    <message>
      <source>"%1" is not a duration (30s, 15m, 2h or 1d)</source>
      <translation>"%1" ist keine Dauer (30s, 15m, 2h oder 1d)</translation>
    </message>
    <message>
      <source>"%1": a duration of at least 1s is needed</source>
      <translation>"%1": eine Dauer von mindestens 1s ist nötig</translation>
    </message>
    <message>
      <source>"%1" is longer than a year</source>
      <translation>"%1" ist länger als ein Jahr</translation>
    </message>
    <message>
      <source>%1: no header line</source>
      <translation>%1: keine Kopfzeile</translation>
    </message>
    <message>
      <source>%1: a time column and at least one curve are needed</source>
      <translation>%1: eine Zeitspalte und mindestens eine Kurve werden gebraucht</translation>
    </message>
    <message>
      <source>%1:%2: expected a time and %3 values</source>
      <translation>%1:%2: erwartet: eine Zeit und %3 Werte</translation>
    </message>
    <message>
      <source>%1: not a recording</source>
      <translation>%1: keine Aufzeichnung</translation>
    </message>
    <message>
      <source>%1:%2: not a number: %3</source>
      <translation>%1:%2: keine Zahl: %3</translation>
    </message>
    <message>
      <source>%1:%2: %3 columns expected</source>
      <translation>%1:%2: %3 Spalten erwartet</translation>
    </message>
    <message>
      <source>%1: %2 rows expected, %3 found</source>
      <translation>%1: %2 Zeilen erwartet, %3 gefunden</translation>
    </message>
    <message>
      <source>%1: ten phasors expected (U1E .. I3), %2 found</source>
      <translation>%1: zehn Zeiger erwartet (U1E .. I3), %2 gefunden</translation>
    </message>
    <message>
      <source>the chart kinds are time, fft, bars and vectors</source>
      <translation>die Diagrammarten sind time, fft, bars und vectors</translation>
    </message>
    <message>
      <source>--in and --png are needed</source>
      <translation>--in und --png werden gebraucht</translation>
    </message>
    <message>
      <source>--width 200..10000 and --height 120..10000</source>
      <translation>--width 200..10000 und --height 120..10000</translation>
    </message>
    <message>
      <source>--stack takes 0, 1 or 2</source>
      <translation>--stack nimmt 0, 1 oder 2</translation>
    </message>
    <message>
      <source>--view takes harmonics, interharmonics or bands</source>
      <translation>--view nimmt harmonics, interharmonics oder bands</translation>
    </message>
    <message>
      <source>--group takes ULE, ULL or IL</source>
      <translation>--group nimmt ULE, ULL oder IL</translation>
    </message>
    <message>
      <source>%1: cannot write</source>
      <translation>%1: kann nicht geschrieben werden</translation>
    </message>
    <message>
      <source>host key %1 not trusted (%2)</source>
      <translation>Hostschlüssel %1 nicht vertraut (%2)</translation>
    </message>
    <message>
      <source>unexpected argument '%1'</source>
      <translation>unerwartetes Argument '%1'</translation>
    </message>
    <message>
      <source>missing %1</source>
      <translation>es fehlt: %1</translation>
    </message>
    <message>
      <source>--freq takes 50 or 60</source>
      <translation>--freq nimmt 50 oder 60</translation>
    </message>
    <message>
      <source>no terminal to confirm the wiring steps: give --assume-wired once the device is wired</source>
      <translation>kein Terminal zum Bestätigen der Verdrahtungsschritte: --assume-wired angeben, sobald das Gerät verdrahtet ist</translation>
    </message>
    <message>
      <source>--u VOLT and --i AMP together</source>
      <translation>--u VOLT und --i AMP zusammen</translation>
    </message>
    <message>
      <source>--u VOLT and --i AMP (with --assume-wired nobody is asked for them)</source>
      <translation>--u VOLT und --i AMP (mit --assume-wired fragt niemand danach)</translation>
    </message>
    <message>
      <source>--step-timeout needs seconds, at least 1</source>
      <translation>--step-timeout braucht Sekunden, mindestens 1</translation>
    </message>
    <message>
      <source>--wait-scale takes a number &gt;= 0</source>
      <translation>--wait-scale nimmt eine Zahl &gt;= 0</translation>
    </message>
    <message>
      <source>--env takes KEY=VALUE</source>
      <translation>--env nimmt KEY=VALUE</translation>
    </message>
    <message>
      <source>list, get or rm</source>
      <translation>list, get oder rm</translation>
    </message>
    <message>
      <source>--all goes with get or rm</source>
      <translation>--all gehört zu get oder rm</translation>
    </message>
    <message>
      <source>'%1' is none of list, get, rm</source>
      <translation>'%1' ist keins von list, get, rm</translation>
    </message>
    <message>
      <source>--csv goes with list</source>
      <translation>--csv gehört zu list</translation>
    </message>
    <message>
      <source>either NAME... or --all</source>
      <translation>entweder NAME... oder --all</translation>
    </message>
    <message>
      <source>NAME or --all</source>
      <translation>NAME oder --all</translation>
    </message>
    <message>
      <source>removed all %1</source>
      <translation>alle %1 gelöscht</translation>
    </message>
    <message>
      <source>%1: not on the device</source>
      <translation>%1: nicht auf dem Gerät</translation>
    </message>
    <message>
      <source>%1 (already complete)</source>
      <translation>%1 (schon vollständig)</translation>
    </message>
    <message>
      <source>%1: empty on the device, not fetched</source>
      <translation>%1: auf dem Gerät leer, nicht geholt</translation>
    </message>
    <message>
      <source>no such file: %1</source>
      <translation>Datei nicht vorhanden: %1</translation>
    </message>
    <message>
      <source>cannot write %1</source>
      <translation>%1 kann nicht geschrieben werden</translation>
    </message>
    <message>
      <source>get or put</source>
      <translation>get oder put</translation>
    </message>
    <message>
      <source>'%1' is neither get nor put</source>
      <translation>'%1' ist weder get noch put</translation>
    </message>
    <message>
      <source>setup put: NAK %1 %2</source>
      <translation>setup put: NAK %1 %2</translation>
    </message>
    <message>
      <source>setup written</source>
      <translation>Setup geschrieben</translation>
    </message>
    <message>
      <source>scratchpad put: NAK %1 %2</source>
      <translation>scratchpad put: NAK %1 %2</translation>
    </message>
    <message>
      <source>stored as %1</source>
      <translation>gespeichert als %1</translation>
    </message>
    <message>
      <source>PKG</source>
      <translation>PKG</translation>
    </message>
    <message>
      <source>--backup and --no-backup exclude each other</source>
      <translation>--backup und --no-backup schließen einander aus</translation>
    </message>
    <message>
      <source>--changelog takes show or accept</source>
      <translation>--changelog nimmt show oder accept</translation>
    </message>
    <message>
      <source>--comeback-timeout needs seconds, at least 1</source>
      <translation>--comeback-timeout braucht Sekunden, mindestens 1</translation>
    </message>
    <message>
      <source>--hosts, --hosts-json and --retry-from exclude each other</source>
      <translation>--hosts, --hosts-json und --retry-from schließen einander aus</translation>
    </message>
    <message>
      <source>--backup-dir DIR (or --no-backup)</source>
      <translation>--backup-dir DIR (oder --no-backup)</translation>
    </message>
    <message>
      <source>--run-id ID</source>
      <translation>--run-id ID</translation>
    </message>
    <message>
      <source>--report OUT.json</source>
      <translation>--report OUT.json</translation>
    </message>
    <message>
      <source>--parallel takes 1 to 8</source>
      <translation>--parallel nimmt 1 bis 8</translation>
    </message>
    <message>
      <source>unknown command '%1'</source>
      <translation>unbekannter Befehl '%1'</translation>
    </message>
    <message>
      <source>unknown option '%1' (put -- before an argument that starts with '-')</source>
      <translation>unbekannte Option '%1' (-- vor ein Argument setzen, das mit '-' beginnt)</translation>
    </message>
    <message>
      <source>unknown option '%1'</source>
      <translation>unbekannte Option '%1'</translation>
    </message>
    <message>
      <source>option '%1' needs a value</source>
      <translation>Option '%1' braucht einen Wert</translation>
    </message>
    <message>
      <source>option '%1' takes no value</source>
      <translation>Option '%1' nimmt keinen Wert</translation>
    </message>
    <message>
      <source>no command given</source>
      <translation>kein Befehl angegeben</translation>
    </message>
    <message>
      <source>--csv and --json exclude each other</source>
      <translation>--csv und --json schließen einander aus</translation>
    </message>
    <message>
      <source>--struct takes one of: %1</source>
      <translation>--struct nimmt eins von: %1</translation>
    </message>
    <message>
      <source>unknown --kind '%1'</source>
      <translation>unbekanntes --kind '%1'</translation>
    </message>
    <message>
      <source>%1  %2 lines, %3 Hz apart</source>
      <translation>%1  %2 Linien im Abstand von %3 Hz</translation>
    </message>
    <message>
      <source>%1  %2 samples at %3/s, %4 channels</source>
      <translation>%1  %2 Abtastwerte mit %3/s, %4 Kanäle</translation>
    </message>
    <message>
      <source>a view (%1)</source>
      <translation>eine Ansicht (%1)</translation>
    </message>
    <message>
      <source>'%1' is not one of %2</source>
      <translation>'%1' ist keins von %2</translation>
    </message>
    <message>
      <source>--follow is for live panel, osc and spectrum</source>
      <translation>--follow gilt für live panel, osc und spectrum</translation>
    </message>
    <message>
      <source>--csv is for the tables: live harmonics, interharmonics, bands and values</source>
      <translation>--csv gilt für die Tabellen: live harmonics, interharmonics, bands und values</translation>
    </message>
    <message>
      <source>--count needs a whole number of at least 1</source>
      <translation>--count braucht eine ganze Zahl von mindestens 1</translation>
    </message>
    <message>
      <source>STATEMENT</source>
      <translation>STATEMENT</translation>
    </message>
    <message>
      <source>classes, values, tree or search</source>
      <translation>classes, values, tree oder search</translation>
    </message>
    <message>
      <source>unknown operation '%1'</source>
      <translation>unbekannte Operation '%1'</translation>
    </message>
    <message>
      <source>values needs --class N or --modbus</source>
      <translation>values braucht --class N oder --modbus</translation>
    </message>
    <message>
      <source>TEXT or ID</source>
      <translation>TEXT oder ID</translation>
    </message>
    <message>
      <source>%1	%2	%3 recordings	%4 events	newest %5</source>
      <translation>%1	%2	%3 Aufzeichnungen	%4 Ereignisse	neueste %5</translation>
    </message>
    <message>
      <source>no stations in %1</source>
      <translation>keine Stationen in %1</translation>
    </message>
    <message>
      <source>no station %1 in %2</source>
      <translation>keine Station %1 in %2</translation>
    </message>
    <message>
      <source>%1: not imported, the name is no record file's name</source>
      <translation>%1: nicht importiert, der Name ist kein Name einer Messdatei</translation>
    </message>
    <message>
      <source>DEST and FILE</source>
      <translation>DEST und FILE</translation>
    </message>
    <message>
      <source>CLASS</source>
      <translation>CLASS</translation>
    </message>
    <message>
      <source>FILE</source>
      <translation>FILE</translation>
    </message>
    <message>
      <source>scan, tree, import, export or rm</source>
      <translation>scan, tree, import, export oder rm</translation>
    </message>
    <message>
      <source>editable</source>
      <translation>änderbar</translation>
    </message>
    <message>
      <source>read-only</source>
      <translation>nur lesbar</translation>
    </message>
    <message>
      <source>--untick: no module %1; the set's modules: %2</source>
      <translation>--untick: kein Modul %1; die Module des Satzes: %2</translation>
    </message>
    <message>
      <source>--set needs now or "dd.mm.yyyy hh:nn:ss"</source>
      <translation>--set braucht now oder "dd.mm.yyyy hh:nn:ss"</translation>
    </message>
    <message>
      <source>rows, set or check</source>
      <translation>rows, set oder check</translation>
    </message>
    <message>
      <source>icd needs show, apply or rename</source>
      <translation>icd braucht show, apply oder rename</translation>
    </message>
    <message>
      <source>--format needs full, changes or csv</source>
      <translation>--format braucht full, changes oder csv</translation>
    </message>
    <message>
      <source>--level needs a whole number</source>
      <translation>--level braucht eine ganze Zahl</translation>
    </message>
    <message>
      <source>IMPORT</source>
      <translation>IMPORT</translation>
    </message>
    <message>
      <source>import needs --all or --tick, and --out</source>
      <translation>import braucht --all oder --tick, und --out</translation>
    </message>
    <message>
      <source>reset needs --out</source>
      <translation>reset braucht --out</translation>
    </message>
    <message>
      <source>ID=TEXT</source>
      <translation>ID=TEXT</translation>
    </message>
    <message>
      <source>'%1' is not ID[@PARENT]=TEXT</source>
      <translation>'%1' ist nicht ID[@PARENT]=TEXT</translation>
    </message>
    <message>
      <source>no recording class '%1'</source>
      <translation>keine Aufzeichnungsklasse '%1'</translation>
    </message>
    <message>
      <source>re-listed: %1 of %2 files on disk</source>
      <translation>neu gelistet: %1 von %2 Dateien auf der Platte</translation>
    </message>
    <message>
      <source>tree, download or rm</source>
      <translation>tree, download oder rm</translation>
    </message>
    <message>
      <source>tree takes events or recordings</source>
      <translation>tree nimmt events oder recordings</translation>
    </message>
    <message>
      <source>all, class CLASS or PATH</source>
      <translation>all, class CLASS oder PATH</translation>
    </message>
    <message>
      <source>rm takes PATH... or --class CLASS</source>
      <translation>rm nimmt PATH... oder --class CLASS</translation>
    </message>
    <message>
      <source>kind	%1</source>
      <translation>Art	%1</translation>
    </message>
    <message>
      <source>device	%1 (%2) - %3 %4</source>
      <translation>Gerät	%1 (%2) - %3 %4</translation>
    </message>
    <message>
      <source>time zone	%1 s%2</source>
      <translation>Zeitzone	%1 s%2</translation>
    </message>
    <message>
      <source>class	%1</source>
      <translation>Klasse	%1</translation>
    </message>
    <message>
      <source>span	%1 - %2%3</source>
      <translation>Zeitraum	%1 - %2%3</translation>
    </message>
    <message>
      <source>records	%1</source>
      <translation>Datensätze	%1</translation>
    </message>
    <message>
      <source>channel	%1	%2	%3</source>
      <translation>Kanal	%1	%2	%3</translation>
    </message>
    <message>
      <source>--from needs a row number (negative: from the end)</source>
      <translation>--from braucht eine Zeilennummer (negativ: vom Ende)</translation>
    </message>
    <message>
      <source>--count needs a number of rows</source>
      <translation>--count braucht eine Zeilenzahl</translation>
    </message>
    <message>
      <source>%1 holds %2, not events</source>
      <translation>%1 enthält %2, keine Ereignisse</translation>
    </message>
    <message>
      <source>%1 holds %2, not a recording</source>
      <translation>%1 enthält %2, keine Aufzeichnung</translation>
    </message>
    <message>
      <source>info, events or table</source>
      <translation>info, events oder table</translation>
    </message>
    <message>
      <source>OUT after --csv</source>
      <translation>OUT nach --csv</translation>
    </message>
    <message>
      <source>export needs --csv OUT or --comtrade DIR</source>
      <translation>export braucht --csv OUT oder --comtrade DIR</translation>
    </message>
    <message>
      <source>a report kind</source>
      <translation>eine Berichtsart</translation>
    </message>
    <message>
      <source>unknown report '%1'</source>
      <translation>unbekannter Bericht '%1'</translation>
    </message>
    <message>
      <source>--pdf OUT</source>
      <translation>--pdf OUT</translation>
    </message>
    <message>
      <source>--dict DICT.json</source>
      <translation>--dict DICT.json</translation>
    </message>
    <message>
      <source>--nominal needs a voltage in V, above 0</source>
      <translation>--nominal braucht eine Spannung in V, über 0</translation>
    </message>
    <message>
      <source>%1 s: %2 MiB, %3 files, %4 threads, %5 records, %6 cycles</source>
      <translation>%1 s: %2 MiB, %3 Dateien, %4 Threads, %5 Datensätze, %6 Zyklen</translation>
    </message>
    <message>
      <source>%1 cycles, %2 records, %3 failures; RSS %4 → %5 MiB, files %6 → %7, threads %8 → %9: %10</source>
      <translation>%1 Zyklen, %2 Datensätze, %3 Fehler; RSS %4 → %5 MiB, Dateien %6 → %7, Threads %8 → %9: %10</translation>
    </message>
    <message>
      <source>--seconds needs at least 10</source>
      <translation>--seconds braucht mindestens 10</translation>
    </message>
    <message>
      <source>--samples FILE.csv</source>
      <translation>--samples FILE.csv</translation>
    </message>
    <message>
      <source>--sample-every needs seconds, at least 1</source>
      <translation>--sample-every braucht Sekunden, mindestens 1</translation>
    </message>
    <message>
      <source>File not found: %1</source>
      <translation>Datei nicht gefunden: %1</translation>
    </message>
    <message>
      <source>list, start, get or rm</source>
      <translation>list, start, get oder rm</translation>
    </message>
    <message>
      <source>'%1' is not a capture name</source>
      <translation>'%1' ist kein Mitschnittname</translation>
    </message>
    <message>
      <source>'%1' is not list, start, get or rm</source>
      <translation>'%1' ist nicht list, start, get oder rm</translation>
    </message>
    <message>
      <source>--time and --packets exclude each other</source>
      <translation>--time und --packets schließen einander aus</translation>
    </message>
    <message>
      <source>--packets takes a count of at least 1</source>
      <translation>--packets nimmt eine Anzahl von mindestens 1</translation>
    </message>
    <message>
      <source>--time takes H:M:S (hours 0-23, minutes and seconds 0-59)</source>
      <translation>--time nimmt H:M:S (Stunden 0-23, Minuten und Sekunden 0-59)</translation>
    </message>
    <message>
      <source>cert takes 'get'</source>
      <translation>cert nimmt 'get'</translation>
    </message>
    <message>
      <source>OBJECT</source>
      <translation>OBJECT</translation>
    </message>
    <message>
      <source>binary inputs (%1): %2</source>
      <translation>Binäreingänge (%1): %2</translation>
    </message>
    <message>
      <source>--seconds needs a whole number of at least 1</source>
      <translation>--seconds braucht eine ganze Zahl von mindestens 1</translation>
    </message>
    <message>
      <source>%1  answered a time request of the device</source>
      <translation>%1  eine Zeitanfrage des Geräts beantwortet</translation>
    </message>
    <message>
      <source>%1 time requests answered in %2 s</source>
      <translation>%1 Zeitanfragen in %2 s beantwortet</translation>
    </message>
    <message>
      <source>%1  %2 from byte %3
</source>
      <translation>%1  %2 ab Byte %3
</translation>
    </message>
    <message>
      <source>%1 (resumed at %2)</source>
      <translation>%1 (fortgesetzt bei %2)</translation>
    </message>
    <message>
      <source>Try 'vanta-cli --help' for more information.</source>
      <translation>Mehr mit 'vanta-cli --help'.</translation>
    </message>
    <message>
      <source>%1: %2 (usage: vanta-cli %3)</source>
      <translation>%1: %2 (Aufruf: vanta-cli %3)</translation>
    </message>
    <message>
      <source>--port needs a port number from 1 to 65535</source>
      <translation>--port braucht eine Portnummer von 1 bis 65535</translation>
    </message>
    <message>
      <source>--visibility needs a whole number</source>
      <translation>--visibility braucht eine ganze Zahl</translation>
    </message>
    <message>
      <source>--timeout needs a whole number of seconds, at least 1</source>
      <translation>--timeout braucht eine ganze Zahl von Sekunden, mindestens 1</translation>
    </message>
    <message>
      <source>--password and --password-file exclude each other</source>
      <translation>--password und --password-file schließen einander aus</translation>
    </message>
    <message>
      <source>--ftp-port needs a port number from 1 to 65535</source>
      <translation>--ftp-port braucht eine Portnummer von 1 bis 65535</translation>
    </message>
    <message>
      <source>--gz, --tgz and --plain exclude each other</source>
      <translation>--gz, --tgz und --plain schließen einander aus</translation>
    </message>
    <message>
      <source>--data-dir needs a folder</source>
      <translation>--data-dir braucht einen Ordner</translation>
    </message>
    <message>
      <source>--ssh-port needs a port number from 1 to 65535</source>
      <translation>--ssh-port braucht eine Portnummer von 1 bis 65535</translation>
    </message>
    <message>
      <source>--ccci-port needs a port number from 1 to 65535 (0: the default)</source>
      <translation>--ccci-port braucht eine Portnummer von 1 bis 65535 (0: die Voreinstellung)</translation>
    </message>
    <message>
      <source>--ssh needs --user and --password</source>
      <translation>--ssh braucht --user und --password</translation>
    </message>
    <message>
      <source>--password needs --user</source>
      <translation>--password braucht --user</translation>
    </message>
    <message>
      <source>unknown option '--%1'</source>
      <translation>unbekannte Option '--%1'</translation>
    </message>
    <message>
      <source>--%1 needs a value</source>
      <translation>--%1 braucht einen Wert</translation>
    </message>
    <message>
      <source>the name '%1' holds a control character (tab, line break)</source>
      <translation>der Name '%1' enthält ein Steuerzeichen (Tabulator, Zeilenumbruch)</translation>
    </message>
    <message>
      <source>no device %1 in the inventory</source>
      <translation>kein Gerät %1 im Bestand</translation>
    </message>
    <message>
      <source>devices import takes one FILE</source>
      <translation>devices import nimmt eine FILE</translation>
    </message>
    <message>
      <source>added</source>
      <translation>hinzugefügt</translation>
    </message>
    <message>
      <source>renamed</source>
      <translation>umbenannt</translation>
    </message>
    <message>
      <source>exists</source>
      <translation>vorhanden</translation>
    </message>
    <message>
      <source>%1 devices added, %2 already known</source>
      <translation>%1 Geräte hinzugefügt, %2 schon bekannt</translation>
    </message>
    <message>
      <source>devices add takes one HOST[:PORT]</source>
      <translation>devices add nimmt einen HOST[:PORT]</translation>
    </message>
    <message>
      <source>the name goes with --name</source>
      <translation>der Name gehört zu --name</translation>
    </message>
    <message>
      <source>--ssh goes with --user U --password-file F</source>
      <translation>--ssh gehört zu --user U --password-file F</translation>
    </message>
    <message>
      <source>%1 is in the inventory already</source>
      <translation>%1 ist schon im Bestand</translation>
    </message>
    <message>
      <source>added %1 (id %2)</source>
      <translation>%1 hinzugefügt (id %2)</translation>
    </message>
    <message>
      <source>%1	%2	%3	%4	every %5%6%7</source>
      <translation>%1	%2	%3	%4	alle %5%6%7</translation>
    </message>
    <message>
      <source>	paused</source>
      <translation>	pausiert</translation>
    </message>
    <message>
      <source>	replaced by %1</source>
      <translation>	ersetzt durch %1</translation>
    </message>
    <message>
      <source>no devices yet (vanta-fleet devices add HOST[:PORT])</source>
      <translation>noch keine Geräte (vanta-fleet devices add HOST[:PORT])</translation>
    </message>
    <message>
      <source>devices trust takes one HOST[:PORT]</source>
      <translation>devices trust nimmt einen HOST[:PORT]</translation>
    </message>
    <message>
      <source>%1 is not reached through SSH</source>
      <translation>%1 wird nicht über SSH erreicht</translation>
    </message>
    <message>
      <source>%1: a new host key is taken at the next run</source>
      <translation>%1: ein neuer Hostschlüssel wird beim nächsten Lauf übernommen</translation>
    </message>
    <message>
      <source>devices %1 takes one HOST[:PORT]</source>
      <translation>devices %1 nimmt einen HOST[:PORT]</translation>
    </message>
    <message>
      <source>removed %1</source>
      <translation>%1 entfernt</translation>
    </message>
    <message>
      <source>paused %1</source>
      <translation>%1 pausiert</translation>
    </message>
    <message>
      <source>resumed %1</source>
      <translation>%1 fortgesetzt</translation>
    </message>
    <message>
      <source>devices: missing import, add, list, rm, pause, resume or trust</source>
      <translation>devices: es fehlt import, add, list, rm, pause, resume oder trust</translation>
    </message>
    <message>
      <source>devices: unknown operation '%1'</source>
      <translation>devices: unbekannte Operation '%1'</translation>
    </message>
    <message>
      <source>address	name	serial	last contact	last success	files	bytes	failures	clock offset	next due</source>
      <translation>Adresse	Name	Seriennummer	letzter Kontakt	letzter Erfolg	Dateien	Bytes	Fehlschläge	Uhrabweichung	nächste Auslesung</translation>
    </message>
    <message>
      <source>paused</source>
      <translation>pausiert</translation>
    </message>
    <message>
      <source>now</source>
      <translation>jetzt</translation>
    </message>
    <message>
      <source>--parallel takes a number from 1</source>
      <translation>--parallel nimmt eine Zahl ab 1</translation>
    </message>
    <message>
      <source>--timeout takes seconds from 1</source>
      <translation>--timeout nimmt Sekunden ab 1</translation>
    </message>
    <message>
      <source>--keep-days takes a number of days from 1</source>
      <translation>--keep-days nimmt eine Zahl von Tagen ab 1</translation>
    </message>
    <message>
      <source>--lease-seconds takes seconds from 2</source>
      <translation>--lease-seconds nimmt Sekunden ab 2</translation>
    </message>
    <message>
      <source>%1 read, %2 failed%3%4</source>
      <translation>%1 gelesen, %2 fehlgeschlagen%3%4</translation>
    </message>
    <message>
      <source>1 device</source>
      <translation>1 Gerät</translation>
    </message>
    <message>
      <source>%1 devices</source>
      <translation>%1 Geräte</translation>
    </message>
    <message>
      <source>, %1 interrupted</source>
      <translation>, %1 unterbrochen</translation>
    </message>
    <message>
      <source>, stopped</source>
      <translation>, angehalten</translation>
    </message>
    <message>
      <source>listening on %1</source>
      <translation>wartet auf %1</translation>
    </message>
    <message>
      <source>Try 'vanta-fleet --help' for more information.</source>
      <translation>Mehr mit 'vanta-fleet --help'.</translation>
    </message>
    <message>
      <source>missing command</source>
      <translation>es fehlt ein Befehl</translation>
    </message>
    <message>
      <source>no fleet database at %1 ('devices add' or 'devices import' makes it)</source>
      <translation>keine Flottendatenbank unter %1 ('devices add' oder 'devices import' legt sie an)</translation>
    </message>
    <message>
      <source>the folder cannot be made</source>
      <translation>der Ordner kann nicht angelegt werden</translation>
    </message>
    <message>
      <source>the store %1 cannot take files: %2</source>
      <translation>der Speicher %1 kann keine Dateien aufnehmen: %2</translation>
    </message>
  </context>
</TS>