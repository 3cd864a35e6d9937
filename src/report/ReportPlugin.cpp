// The report plugin: loaded by name at run time (QLibrary "vanta_report"),
// linked by nobody, so another report engine can take its place. Two C entry
// points:
//
//   int VantaReport(void* window, const char* reportFile, const char* tmpDir, char* out, int outSize)
//   int KalibratorReport(void* window, const char* dictJson, const char* pdfFile, const char* tmpDir,
//                        char* error, int errorSize)
//
// `reportFile` names a JSON document {"kind", "files": [...], "pdf", "nominal"}
// with kind one of en50160, rcm, harmonics-u, harmonics-i, interharmonics,
// intermediate, bands-u, bands-i. Both return 0 on success, 1 when the input cannot make the
// report, 2 when the PDF cannot be written where asked; `out`/`error` get the PDF path or the reason.
// The PDF is written under a temporary name and renamed when complete.
#include <QFile>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <numeric>
#include <vector>

#include "DeviceTime.h"
#include "Language.h"
#include "En50160.h"
#include "RecordFile.h"
#include "ReportCharts.h"
#include "ReportPage.h"

namespace {

using namespace vanta;

void Put(char* out, int size, const QString& text) {
  if (!out || size <= 0) return;
  const QByteArray b = text.toUtf8();
  const int n = std::min<int>(int(b.size()), size - 1);
  std::memcpy(out, b.constData(), size_t(n));
  out[n] = '\0';
}

struct TReport {
  QString Kind, Pdf;
  QStringList Files;
  double Nominal = 230;
};

// Percentile of a sorted list (nearest rank).
double Percentile(std::vector<double>& v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t k = size_t(std::ceil(p / 100.0 * double(v.size()))) - 1;
  return v[std::min(k, v.size() - 1)];
}

QString F(double v) { return QString::number(v, 'f', 2); }

QString Verdict(bool pass) { return pass ? TTr::tr("bestanden") : TTr::tr("nicht bestanden"); }

// The week table (the verdict per limit), the percentile table per channel
// and the harmonics against their limits. One walk over the files: the
// evaluation's, which also gathers the curves.
bool En50160(const TReport& r, TPage& page, QString& error) {
  TEnResult en;
  TEnCurveCollector curves;
  if (!EvaluateEn50160(r.Files, r.Nominal, en, error, &curves)) return false;

  page.Title(TTr::tr("EN 50160 Bewertung"));
  page.Text(TTr::tr("Anlage: %1   Gerät: %2   Seriennummer: %3   Nennspannung: %4 V")
                .arg(en.Plant, en.Device)
                .arg(en.Serial)
                .arg(F(en.Nominal)));
  page.Text(TTr::tr("Gesamtergebnis: %1").arg(Verdict(en.Pass())), true);
  QStringList head;
  std::vector<QStringList> rows;
  EnWeekTable(en, head, rows);
  page.Table(head, rows);
  page.Text(TTr::tr("Anteil der 10-Minuten-Werte je Woche innerhalb der Grenze, in %; je Größe die schlechteste Phase."));
  page.Text(TTr::tr("Grenzen: f 49,5-50,5 Hz (99,5 %) und 47-52 Hz (100 %); U ±10 % (95 %), -15/+10 % (100 %);"));
  page.Text(TTr::tr("Plt ≤ 1, Unsymmetrie ≤ 2 %, THD ≤ 8 %, Harmonische nach Ordnung (je 95 %)"));
  for (const QString& w : en.Warnings) page.Text(w);
  // A week judged on part of its values says so beside its verdict.
  constexpr qint64 CWeekRows = 7 * 24 * 6;
  for (const TEnWeek& w : en.Weeks)
    if (w.Rows < CWeekRows)
      page.Text(TTr::tr("Woche ab %1 unvollständig: %2 von %3 10-Minuten-Werten")
                    .arg(QDateTime::fromSecsSinceEpoch(w.MondaySec, Qt::UTC).toString(QStringLiteral("dd.MM.yyyy")))
                    .arg(w.Rows)
                    .arg(CWeekRows));
  if (en.SkippedRows > 0)
    page.Text(CountText(en.SkippedRows, TTr::tr("1 Wert außerhalb der Zeitfolge (überlappende Dateien) übergangen"),
                        TTr::tr("%1 Werte außerhalb der Zeitfolge (überlappende Dateien) übergangen")));
  ComplianceCharts(page, en);
  En50160Curves(page, curves, en.Nominal);

  // Percentiles: the worst week decides.
  page.Title(TTr::tr("Perzentile je Größe"));
  rows.clear();
  for (size_t k = 0; k < en.Criteria.size(); ++k) {
    const TEnCriterion& c = en.Criteria[k];
    double p05 = 1e300, p95 = -1e300, mn = 1e300, mx = -1e300;
    int weeks = 0, passed = 0;
    for (const TEnWeek& w : en.Weeks) {
      if (k >= w.Criteria.size() || w.Criteria[k].InShare < 0) continue;
      const TEnCriterionWeek& cw = w.Criteria[k];
      ++weeks;
      passed += cw.Pass ? 1 : 0;
      p05 = std::min(p05, cw.P05);
      p95 = std::max(p95, cw.P95);
      mn = std::min(mn, cw.Min);
      mx = std::max(mx, cw.Max);
    }
    if (weeks == 0) continue;
    rows.push_back({c.Channel, c.Limit, F(p05), F(p95), F(mn), F(mx), QStringLiteral("%1/%2").arg(passed).arg(weeks),
                    Verdict(passed == weeks)});
  }
  page.Table({TTr::tr("Größe"), TTr::tr("Grenze"), QStringLiteral("5 %"), QStringLiteral("95 %"),
              TTr::tr("Minimum"), TTr::tr("Maximum"), TTr::tr("Wochen"), TTr::tr("Ergebnis")},
             rows);
  En50160HarmonicChart(page, en);
  return true;
}

// All files of one station: a report over two stations would mix their figures.
bool SameStation(const QStringList& files, QString& error) {
  QString first;
  uint32_t serial = 0;
  for (const QString& path : files) {
    TRecordHeader h;
    if (!ReadRecordHeader(path, h, error)) return false;
    if (first.isEmpty()) {
      first = path;
      serial = h.Env.Serial;
    } else if (h.Env.Serial != serial) {
      error = TTr::tr("Dateien verschiedener Stationen: %1 und %2").arg(serial).arg(h.Env.Serial);
      return false;
    }
  }
  return true;
}

struct TStatKind {
  const char* Kind;
  const char* Title;
  const char* Pattern;  // on the channel name; group 1 is the order or band
};
// Channel names: "H<n> U|I…" harmonics, "IH<n> …" interharmonic groups,
// "ZH<n> …" interharmonic subgroups, "B<Hz> U|I…" the 2-9 kHz bands.
constexpr TStatKind CStatKinds[] = {
    {"harmonics-u", QT_TRANSLATE_NOOP("TTr", "Statistik Harmonische Spannung"), "^H(\\d+) U"},
    {"harmonics-i", QT_TRANSLATE_NOOP("TTr", "Statistik Harmonische Strom"), "^H(\\d+) I"},
    {"interharmonics", QT_TRANSLATE_NOOP("TTr", "Statistik Interharmonische"), "^IH(\\d+) "},
    {"intermediate", QT_TRANSLATE_NOOP("TTr", "Statistik Zwischenharmonische"), "^ZH(\\d+) "},
    {"bands-u", QT_TRANSLATE_NOOP("TTr", "Statistik 2,0 - 9,0 kHz Spannung"), "^B(\\d+) U"},
    {"bands-i", QT_TRANSLATE_NOOP("TTr", "Statistik 2,0 - 9,0 kHz Strom"), "^B(\\d+) I"}};

// Per channel of the kind the maximum, the 95 % value and the mean, as a
// table and a bar chart of the 95 % values.
bool Statistics(const TReport& r, TPage& page, QString& error, const TStatKind& kind) {
  if (!SameStation(r.Files, error)) return false;
  const QRegularExpression pattern(QString::fromLatin1(kind.Pattern));
  std::map<QString, std::vector<double>> values;  // by channel name
  QStringList order;  // first seen
  QString unit;
  for (const QString& path : r.Files) {
    QList<int> columns;
    QStringList names;
    const bool ok = StreamRecordFile(
        path,
        [&](const TRecordFile& f) {
          if (f.Header.Kind != TRecordKind::rkRecording) {
            error = TTr::tr("%1: keine Aufzeichnung").arg(path);
            return false;
          }
          if (names.isEmpty())
            for (int c = 0; c < f.Header.Context.Channels.size(); ++c) {
              const TRecordChannel& ch = f.Header.Context.Channels[c];
              names << ch.Name;
              if (!pattern.match(ch.Name).hasMatch()) continue;
              columns << c;
              if (!values.count(ch.Name)) order << ch.Name;
              if (unit.isEmpty()) unit = ch.Unit;
            }
          for (const TRecRow& row : f.Rows)
            for (int c : columns)
              if (c < row.Values.size() && !std::isnan(row.Values[c])) values[names[c]].push_back(row.Values[c]);
          return true;
        },
        error);
    if (!ok || !error.isEmpty()) return false;
  }
  if (order.isEmpty()) {
    error = TTr::tr("keine passenden Kanäle für %1").arg(TTr::tr(kind.Title));
    return false;
  }
  page.Title(TTr::tr(kind.Title));
  std::vector<QStringList> rows;
  std::vector<double> p95s;
  QList<int> indexes;  // the order or band of each channel
  for (const QString& name : order) {
    std::vector<double>& v = values[name];
    const double mean = v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
    const double mx = v.empty() ? 0 : *std::max_element(v.begin(), v.end());
    const double p95 = Percentile(v, 95);
    p95s.push_back(p95);
    indexes << pattern.match(name).captured(1).toInt();
    rows.push_back({name, F(mx), F(p95), F(mean)});
  }
  page.Table({TTr::tr("Größe"), TTr::tr("Maximum"), QStringLiteral("95 %"), TTr::tr("Mittelwert")}, rows);
  StatisticsChart(page, QString::fromLatin1(kind.Kind), TTr::tr(kind.Title), order, indexes, p95s, unit);
  return true;
}

bool Rcm(const TReport& r, TPage& page, QString& error) {
  if (!SameStation(r.Files, error)) return false;
  page.Title(TTr::tr("RCM Report"));
  std::vector<QStringList> over;
  std::vector<double> curve, reference;
  std::vector<int64_t> times;  // device wall clock
  qint64 n = 0;
  double mx = 0;
  for (const QString& path : r.Files) {
    // The header tells the channels; the rows come one at a time, so a long
    // recording costs its curve points, not the file.
    TRecordHeader h;
    if (!ReadRecordHeader(path, h, error)) return false;
    const QList<TRecordChannel>& channels = h.Context.Channels;
    QList<int> ir, irr;
    for (int c = 0; c < channels.size(); ++c) {
      if (channels[c].Unit == QLatin1String("iR")) ir << c;
      if (channels[c].Unit == QLatin1String("iRR")) irr << c;
    }
    if (ir.isEmpty()) {
      error = TTr::tr("%1: keine Differenzstromwerte").arg(path);
      return false;
    }
    // Times as the device shows them: its zone, its daylight saving time
    // (its own rules when the store keeps them beside the file).
    const TDeviceTime time = DeviceTimeForFile(path, h.Env);
    const QString zone = time.ZoneText().isEmpty() ? QString() : QLatin1Char(' ') + time.ZoneText();
    const bool ok = StreamRecordFile(
        path,
        [&](const TRecordFile& f) {
          for (const TRecRow& row : f.Rows) {
            ++n;
            // Several residual-current channels: each against the reference at its position (or the first).
            double rowMax = 0, rowRef = 0;
            for (int k = 0; k < ir.size(); ++k) {
              const double v = row.Values.value(ir[k]);
              const int refCol = irr.isEmpty() ? -1 : irr.value(k, irr.first());
              const double limit = refCol >= 0 ? row.Values.value(refCol) : 0;
              mx = std::max(mx, v);
              rowMax = std::max(rowMax, v);
              rowRef = std::max(rowRef, limit);
              if (refCol >= 0 && v > limit)
                over.push_back({time.SecText(row.Time) + zone, channels[ir[k]].Name, F(v), F(limit)});
            }
            curve.push_back(rowMax);
            times.push_back(time.Linear(row.Time));
            reference.push_back(rowRef);
          }
          return true;
        },
        error);
    if (!ok || !error.isEmpty()) return false;
  }
  page.Text(TTr::tr("Werte: %1   Maximum: %2 mA   Überschreitungen: %3").arg(n).arg(F(mx)).arg(over.size()));
  RcmChart(page, times, curve, reference);
  page.Table({TTr::tr("Zeit"), TTr::tr("Kanal"), TTr::tr("Differenzstrom [mA]"), TTr::tr("Bezug [mA]")}, over);
  return true;
}

// What came of a report: written, refused for its input, or not writable where asked.
enum TPdfResult : int { prWritten = 0, prInput = 1, prNotWritable = 2 };

TPdfResult WritePdf(const QString& pdf, const std::function<bool(TPage&, QString&)>& body, QString& error,
                    QPageLayout::Orientation orientation = QPageLayout::Portrait) {
  if (!qGuiApp) {
    error = TTr::tr("Berichte brauchen eine GUI-Anwendung (auch offscreen)");
    return prInput;
  }
  const QString part = pdf + QStringLiteral(".part");
  {
    // Tried first: the PDF writer would only say so on the terminal.
    QFile probe(part);
    if (!probe.open(QIODevice::WriteOnly)) {
      error = TTr::tr("%1: nicht schreibbar (%2)").arg(pdf, probe.errorString());
      return prNotWritable;
    }
  }
  bool written = false, unwritable = false;
  {
    QPdfWriter w(part);
    w.setPageSize(QPageSize(QPageSize::A4));
    w.setPageOrientation(orientation);
    w.setResolution(300);
    w.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
    w.setTitle(QFileInfo(pdf).completeBaseName());
    TPage page(w);
    unwritable = !page.Ok();
    if (unwritable)
      error = TTr::tr("%1: nicht schreibbar").arg(pdf);
    else
      written = body(page, error);
  }
  if (!written) {
    QFile::remove(part);  // nothing half-written stays behind
    return unwritable ? prNotWritable : prInput;
  }
  QFile::remove(pdf);
  if (!QFile::rename(part, pdf)) {
    QFile::remove(part);
    error = TTr::tr("%1: nicht schreibbar").arg(pdf);
    return prNotWritable;
  }
  return prWritten;
}

}  // namespace

extern "C" Q_DECL_EXPORT int VantaReport(void*, const char* reportFile, const char*, char* out, int outSize) {
  QFile f(QString::fromUtf8(reportFile ? reportFile : ""));
  if (!f.open(QIODevice::ReadOnly)) {
    Put(out, outSize, TTr::tr("Berichtsdatei nicht lesbar: %1").arg(f.fileName()));
    return 1;
  }
  const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
  TReport r;
  r.Kind = o.value(QStringLiteral("kind")).toString();
  r.Pdf = o.value(QStringLiteral("pdf")).toString();
  r.Nominal = o.value(QStringLiteral("nominal")).toDouble(230);
  for (const QJsonValue& v : o.value(QStringLiteral("files")).toArray()) r.Files << v.toString();
  QString error;
  if (r.Files.isEmpty() || r.Pdf.isEmpty()) {
    Put(out, outSize, TTr::tr("Bericht ohne Dateien oder Ziel"));
    return 1;
  }
  TPdfResult ok = prInput;
  if (r.Kind == QLatin1String("en50160"))
    // Landscape: one column per limit.
    ok = WritePdf(r.Pdf, [&r](TPage& p, QString& e) { return En50160(r, p, e); }, error, QPageLayout::Landscape);
  else if (r.Kind == QLatin1String("rcm"))
    ok = WritePdf(r.Pdf, [&r](TPage& p, QString& e) { return Rcm(r, p, e); }, error);
  else if (const auto* kind = std::find_if(std::begin(CStatKinds), std::end(CStatKinds),
                                            [&r](const TStatKind& k) { return r.Kind == QLatin1String(k.Kind); });
           kind != std::end(CStatKinds))
    ok = WritePdf(r.Pdf, [&r, kind](TPage& p, QString& e) { return Statistics(r, p, e, *kind); }, error);
  else
    error = TTr::tr("unbekannte Berichtsart '%1'").arg(r.Kind);
  Put(out, outSize, ok == prWritten ? r.Pdf : error);
  return ok;
}

extern "C" Q_DECL_EXPORT int KalibratorReport(void*, const char* dictJson, const char* pdfFile, const char*, char* error,
                                              int errorSize) {
  const QJsonObject dict = QJsonDocument::fromJson(QByteArray(dictJson ? dictJson : "")).object();
  if (dict.isEmpty()) {
    Put(error, errorSize, TTr::tr("Kalibrierdaten leer oder kein JSON"));
    return 1;
  }
  QString e;
  // The certificate in the order a reader checks it: the device, who and
  // when, the conditions, the reference instruments, the channel results.
  // Fields this layout does not know still appear at the end.
  auto v = [&dict](const char* k) { return dict.value(QLatin1String(k)).toVariant().toString(); };
  const TPdfResult ok = WritePdf(QString::fromUtf8(pdfFile ? pdfFile : ""),
                           [&](TPage& p, QString&) {
                             QStringList used;
                             auto rows = [&](std::initializer_list<std::pair<const char*, const char*>> fields) {
                               std::vector<QStringList> out;
                               for (const auto& [label, key] : fields) {
                                 used << QLatin1String(key);
                                 out.push_back({TTr::tr(label), v(key)});
                               }
                               return out;
                             };
                             const QStringList head{TTr::tr("Merkmal"), TTr::tr("Wert")};
                             p.Title(TTr::tr("Kalibrierzertifikat"));
                             p.Text(TTr::tr("Gerät"), true);
                             p.Table(head, rows({{QT_TRANSLATE_NOOP("TTr", "Gerätetyp"), "DeviceType"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Seriennummer"), "DeviceNumber"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Prüfer"), "UserName"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Prüfdatum"), "CheckDate"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Prüfzeit"), "CheckTime"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Prüfvorschrift"), "Prescription"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Kalibrierprogramm"), "Programm"}}));
                             p.Text(TTr::tr("Umgebungsbedingungen"), true);
                             p.Table(head, rows({{QT_TRANSLATE_NOOP("TTr", "Lufttemperatur"), "AirTemp"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Rel. Luftfeuchte"), "AitHum"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Luftdruck"), "Pressure"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Anmerkung"), "Annotation"}}));
                             p.Text(TTr::tr("Kalibrierwerte"), true);
                             p.Table(head, rows({{QT_TRANSLATE_NOOP("TTr", "Spannung [V]"), "RefVoltage"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Strom [A]"), "RefCurrent"},
                                                 {QT_TRANSLATE_NOOP("TTr", "Frequenz [Hz]"), "RefFrequency"}}));
                             p.Text(TTr::tr("Referenzgeräte"), true);
                             std::vector<QStringList> inst;
                             for (const auto& [label, k] : {std::pair{QT_TRANSLATE_NOOP("TTr", "Modell"), "Model"},
                                                            std::pair{QT_TRANSLATE_NOOP("TTr", "Seriennummer"), "Serial"},
                                                            std::pair{QT_TRANSLATE_NOOP("TTr", "Prüfnummer"), "CheckNr"},
                                                            std::pair{QT_TRANSLATE_NOOP("TTr", "Kalibriert bis"), "CalTo"},
                                                            std::pair{QT_TRANSLATE_NOOP("TTr", "Zertifikat"), "CertNr"}}) {
                               const QString k1 = QLatin1String(k) + QLatin1Char('1'), k2 = QLatin1String(k) + QLatin1Char('2');
                               used << k1 << k2;
                               inst.push_back({TTr::tr(label), dict.value(k1).toString(), dict.value(k2).toString()});
                             }
                             inst.push_back({v("Frei1"), v("Frei1Val"), QString()});  // untranslated: dictionary keys
                             inst.push_back({v("Frei2"), v("Frei2Val"), QString()});  // untranslated
                             used << QStringLiteral("Frei1") << QStringLiteral("Frei1Val") << QStringLiteral("Frei2") << QStringLiteral("Frei2Val");  // untranslated
                             p.Table({QString(), TTr::tr("Gerät 1"), TTr::tr("Gerät 2")}, inst);
                             std::vector<QStringList> results, rest;
                             for (auto it = dict.begin(); it != dict.end(); ++it) {
                               if (it.key().startsWith(QLatin1String("Result")))
                                 results.push_back({it.key().mid(6).section(QLatin1Char(' '), 1), it.key().mid(6, 2).toInt() <= 8
                                                                                                       ? QStringLiteral("1")
                                                                                                       : QStringLiteral("2"),
                                                    it.value().toString()});
                               else if (!used.contains(it.key()))
                                 rest.push_back({it.key(), it.value().toVariant().toString()});
                             }
                             if (!results.empty()) {
                               p.Text(TTr::tr("Kalibrationsstatus"), true);
                               p.Table({TTr::tr("Kanal"), TTr::tr("Durchgang"), TTr::tr("Status")}, results);
                             }
                             if (!rest.empty()) p.Table(head, rest);
                             return true;
                           },
                           e);
  Put(error, errorSize, e);
  return ok;
}
