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
// bands. Both return 0 on success; `out`/`error` get the PDF path or the reason.
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
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <numeric>
#include <vector>

#include "RecordFile.h"

namespace {

using namespace vanta;

void Put(char* out, int size, const QString& text) {
  if (!out || size <= 0) return;
  const QByteArray b = text.toUtf8();
  const int n = std::min<int>(int(b.size()), size - 1);
  std::memcpy(out, b.constData(), size_t(n));
  out[n] = '\0';
}

// A page writer with a cursor: titles, tables and bar charts flow down the page.
class TPage {
 public:
  explicit TPage(QPdfWriter& w) : FWriter(w), FPainter(&w) {
    FWidth = w.width();
    FHeight = w.height();
    FLine = w.resolution() / 5;  // about 5 mm
  }
  bool Ok() const { return FPainter.isActive(); }
  void Title(const QString& text) {
    QFont f(QStringLiteral("DejaVu Sans"), 14, QFont::Bold);
    FPainter.setFont(f);
    Room(2);
    FPainter.drawText(0, FY + FLine, text);
    FY += FLine * 2;
  }
  void Text(const QString& text, bool bold = false) {
    FPainter.setFont(QFont(QStringLiteral("DejaVu Sans"), 9, bold ? QFont::Bold : QFont::Normal));
    Room(1);
    FPainter.drawText(0, FY + FLine, text);
    FY += FLine;
  }
  void Table(const QStringList& head, const std::vector<QStringList>& rows) {
    const int cols = int(head.size());
    const int w = FWidth / std::max(1, cols + 1);  // the first column, the names, gets two shares
    auto x = [w](int c) { return c == 0 ? 0 : (c + 1) * w; };
    auto line = [&](const QStringList& cells, bool bold) {
      FPainter.setFont(QFont(QStringLiteral("DejaVu Sans"), 8, bold ? QFont::Bold : QFont::Normal));
      Room(1);
      for (int c = 0; c < cols; ++c) FPainter.drawText(x(c), FY + FLine, cells.value(c));
      FY += FLine;
    };
    line(head, true);
    for (const QStringList& r : rows) line(r, false);
    FY += FLine / 2;
  }
  void Bars(const QStringList& labels, const std::vector<double>& values, const QString& unit) {
    const int h = FLine * 8;
    Room(10);
    const double top = std::max(1e-9, *std::max_element(values.begin(), values.end()));
    const int n = std::max<int>(1, int(values.size()));
    const int bw = FWidth / n;
    FPainter.setFont(QFont(QStringLiteral("DejaVu Sans"), 6));
    for (int i = 0; i < int(values.size()); ++i) {
      const int bh = int(h * values[size_t(i)] / top);
      FPainter.fillRect(i * bw + bw / 6, FY + h - bh, bw * 2 / 3, bh, QColor(40, 90, 170));
      FPainter.drawText(i * bw, FY + h + FLine, labels.value(i));
    }
    FPainter.drawText(0, FY, QStringLiteral("max %1 %2").arg(top, 0, 'g', 4).arg(unit));
    FY += h + FLine * 2;
  }

 private:
  void Room(int lines) {
    if (FY + lines * FLine > FHeight) {
      FWriter.newPage();
      FY = 0;
    }
  }
  QPdfWriter& FWriter;
  QPainter FPainter;
  int FWidth = 0, FHeight = 0, FLine = 1, FY = 0;
};

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

// Files are read one after the other and only the counts kept: the memory
// does not grow with the number of files.
bool En50160(const TReport& r, TPage& page, QString& error) {
  struct TWeek {
    qint64 n = 0, fIn995 = 0, fIn100 = 0, uIn95 = 0, uIn100 = 0, thdIn = 0;
  };
  std::map<qint64, TWeek> weeks;
  QString plant, device;
  for (const QString& path : r.Files) {
    TRecordFile f;
    if (!ReadRecordFile(path, f, error)) return false;
    if (f.Header.Kind != TRecordKind::rkRecording) {
      error = QStringLiteral("%1: keine Aufzeichnung").arg(path);
      return false;
    }
    if (device.isEmpty()) {
      plant = f.Header.Env.Plant;
      device = f.Header.Env.Device;
    } else if (device != f.Header.Env.Device) {
      error = QStringLiteral("Dateien verschiedener Stationen: %1 und %2").arg(device, f.Header.Env.Device);
      return false;
    }
    int freq = -1, thd = -1;
    std::vector<int> volts;
    for (int c = 0; c < f.Header.Context.Channels.size(); ++c) {
      const TRecordChannel& ch = f.Header.Context.Channels[c];
      if (ch.Unit == QLatin1String("Hz")) freq = c;
      if (ch.Unit == QLatin1String("V")) volts.push_back(c);
      if (ch.Name.startsWith(QLatin1String("THD U"))) thd = c;
    }
    for (const TRecRow& row : f.Rows) {
      // Calendar weeks from Monday (the Unix epoch fell on a Thursday).
      TWeek& w = weeks[(qint64(row.Time.Sec) + 3 * 86400) / (7 * 86400)];
      ++w.n;
      if (freq >= 0) {
        const double v = row.Values.value(freq);
        w.fIn995 += (v >= 49.5 && v <= 50.5) ? 1 : 0;
        w.fIn100 += (v >= 47 && v <= 52) ? 1 : 0;
      }
      bool in95 = true, in100 = true;
      for (int c : volts) {
        const double v = row.Values.value(c) / r.Nominal;
        in95 &= v >= 0.9 && v <= 1.1;
        in100 &= v >= 0.85 && v <= 1.1;
      }
      w.uIn95 += in95 ? 1 : 0;
      w.uIn100 += in100 ? 1 : 0;
      if (thd >= 0) w.thdIn += row.Values.value(thd) <= 8.0 ? 1 : 0;
    }
  }
  if (weeks.empty()) {
    error = QStringLiteral("keine 10-Minuten-Werte");
    return false;
  }
  page.Title(QStringLiteral("EN 50160 Bewertung"));
  page.Text(QStringLiteral("Anlage: %1   Gerät: %2   Nennspannung: %3 V").arg(plant, device, F(r.Nominal)));
  std::vector<QStringList> rows;
  bool passAll = true;
  for (const auto& [week, w] : weeks) {
    const double n = double(std::max<qint64>(1, w.n));
    const bool ok = w.fIn995 / n >= 0.995 && w.fIn100 == w.n && w.uIn95 / n >= 0.95 && w.uIn100 == w.n && w.thdIn / n >= 0.95;
    passAll &= ok;
    const qint64 monday = week * 7 * 86400 - 3 * 86400;
    rows.push_back({QStringLiteral("Woche ab %1").arg(QDateTime::fromSecsSinceEpoch(monday, Qt::UTC).toString(QStringLiteral("dd.MM.yyyy"))),
                    QString::number(w.n), F(100.0 * w.fIn995 / n), F(100.0 * w.fIn100 / n), F(100.0 * w.uIn95 / n),
                    F(100.0 * w.uIn100 / n), F(100.0 * w.thdIn / n), ok ? QStringLiteral("bestanden") : QStringLiteral("nicht bestanden")});
  }
  page.Table({QStringLiteral("Woche"), QStringLiteral("Werte"), QStringLiteral("f 99,5%"), QStringLiteral("f 100%"),
              QStringLiteral("U 95%"), QStringLiteral("U 100%"), QStringLiteral("THD 95%"), QStringLiteral("Ergebnis")},
             rows);
  page.Text(QStringLiteral("Grenzen: f 49,5-50,5 Hz (99,5 %) und 47-52 Hz (100 %); U ±10 % (95 %), -15/+10 % (100 %); THD ≤ 8 % (95 %)"));
  page.Text(QStringLiteral("Gesamtergebnis: %1").arg(passAll ? QStringLiteral("bestanden") : QStringLiteral("nicht bestanden")), true);
  return true;
}

// Per channel maximum, 95 % value and mean, as a table and a bar chart.
bool Statistics(const TReport& r, TPage& page, QString& error, const QString& title) {
  std::vector<std::vector<double>> values;
  QStringList names;
  QString unit;
  for (const QString& path : r.Files) {
    TRecordFile f;
    if (!ReadRecordFile(path, f, error)) return false;
    if (names.isEmpty()) {
      for (const TRecordChannel& c : f.Header.Context.Channels) names << c.Name;
      values.resize(size_t(names.size()));
      unit = f.Header.Context.Channels.value(0).Unit;
    }
    for (const TRecRow& row : f.Rows)
      for (int c = 0; c < row.Values.size() && c < int(values.size()); ++c) values[size_t(c)].push_back(row.Values[c]);
  }
  if (names.isEmpty()) {
    error = QStringLiteral("keine Werte");
    return false;
  }
  page.Title(title);
  std::vector<QStringList> rows;
  std::vector<double> p95s;
  for (size_t c = 0; c < values.size(); ++c) {
    std::vector<double>& v = values[c];
    const double mean = v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
    const double mx = v.empty() ? 0 : *std::max_element(v.begin(), v.end());
    const double p95 = Percentile(v, 95);
    p95s.push_back(p95);
    rows.push_back({names[int(c)], F(mx), F(p95), F(mean)});
  }
  page.Table({QStringLiteral("Größe"), QStringLiteral("Maximum"), QStringLiteral("95 %"), QStringLiteral("Mittelwert")}, rows);
  page.Bars(names, p95s, unit);
  return true;
}

bool Rcm(const TReport& r, TPage& page, QString& error) {
  page.Title(QStringLiteral("RCM Report"));
  std::vector<QStringList> over;
  qint64 n = 0;
  double mx = 0;
  for (const QString& path : r.Files) {
    TRecordFile f;
    if (!ReadRecordFile(path, f, error)) return false;
    int ir = -1, irr = -1;
    for (int c = 0; c < f.Header.Context.Channels.size(); ++c) {
      if (f.Header.Context.Channels[c].Unit == QLatin1String("iR")) ir = c;
      if (f.Header.Context.Channels[c].Unit == QLatin1String("iRR")) irr = c;
    }
    if (ir < 0) {
      error = QStringLiteral("%1: keine Differenzstromwerte").arg(path);
      return false;
    }
    for (const TRecRow& row : f.Rows) {
      ++n;
      const double v = row.Values.value(ir), limit = irr >= 0 ? row.Values.value(irr) : 0;
      mx = std::max(mx, v);
      if (irr >= 0 && v > limit)
        over.push_back({TPQTimeProgs::VantaTS_to_StrSec(TPQTimeProgs::TStoLinear(row.Time)), F(v), F(limit)});
    }
  }
  page.Text(QStringLiteral("Werte: %1   Maximum: %2 mA   Überschreitungen: %3").arg(n).arg(F(mx)).arg(over.size()));
  page.Table({QStringLiteral("Zeit (UTC)"), QStringLiteral("Differenzstrom [mA]"), QStringLiteral("Bezug [mA]")}, over);
  return true;
}

bool WritePdf(const QString& pdf, const std::function<bool(TPage&, QString&)>& body, QString& error) {
  if (!qGuiApp) {
    error = QStringLiteral("Berichte brauchen eine GUI-Anwendung (auch offscreen)");
    return false;
  }
  const QString part = pdf + QStringLiteral(".part");
  bool written = false;
  {
    QPdfWriter w(part);
    w.setPageSize(QPageSize(QPageSize::A4));
    w.setResolution(300);
    w.setTitle(QFileInfo(pdf).completeBaseName());
    TPage page(w);
    if (!page.Ok())
      error = QStringLiteral("%1: nicht schreibbar").arg(pdf);
    else
      written = body(page, error);
  }
  if (!written) {
    QFile::remove(part);  // nothing half-written stays behind
    return false;
  }
  QFile::remove(pdf);
  if (!QFile::rename(part, pdf)) {
    QFile::remove(part);
    error = QStringLiteral("%1: nicht schreibbar").arg(pdf);
    return false;
  }
  return true;
}

}  // namespace

extern "C" Q_DECL_EXPORT int VantaReport(void*, const char* reportFile, const char*, char* out, int outSize) {
  QFile f(QString::fromUtf8(reportFile ? reportFile : ""));
  if (!f.open(QIODevice::ReadOnly)) {
    Put(out, outSize, QStringLiteral("Berichtsdatei nicht lesbar: %1").arg(f.fileName()));
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
    Put(out, outSize, QStringLiteral("Bericht ohne Dateien oder Ziel"));
    return 1;
  }
  const std::map<QString, QString> stats{{QStringLiteral("harmonics-u"), QStringLiteral("Statistik Harmonische Spannung")},
                                         {QStringLiteral("harmonics-i"), QStringLiteral("Statistik Harmonische Strom")},
                                         {QStringLiteral("interharmonics"), QStringLiteral("Statistik Interharmonische")},
                                         {QStringLiteral("bands"), QStringLiteral("Statistik 2,0 - 9,0 kHz")}};
  bool ok = false;
  if (r.Kind == QLatin1String("en50160"))
    ok = WritePdf(r.Pdf, [&r](TPage& p, QString& e) { return En50160(r, p, e); }, error);
  else if (r.Kind == QLatin1String("rcm"))
    ok = WritePdf(r.Pdf, [&r](TPage& p, QString& e) { return Rcm(r, p, e); }, error);
  else if (stats.count(r.Kind))
    ok = WritePdf(r.Pdf, [&r, t = stats.at(r.Kind)](TPage& p, QString& e) { return Statistics(r, p, e, t); }, error);
  else
    error = QStringLiteral("unbekannte Berichtsart '%1'").arg(r.Kind);
  Put(out, outSize, ok ? r.Pdf : error);
  return ok ? 0 : 1;
}

extern "C" Q_DECL_EXPORT int KalibratorReport(void*, const char* dictJson, const char* pdfFile, const char*, char* error,
                                              int errorSize) {
  const QJsonObject dict = QJsonDocument::fromJson(QByteArray(dictJson ? dictJson : "")).object();
  if (dict.isEmpty()) {
    Put(error, errorSize, QStringLiteral("Kalibrierdaten leer oder kein JSON"));
    return 1;
  }
  QString e;
  const bool ok = WritePdf(QString::fromUtf8(pdfFile ? pdfFile : ""),
                           [&dict](TPage& p, QString&) {
                             p.Title(QStringLiteral("Kalibrierzertifikat"));
                             std::vector<QStringList> rows;
                             for (auto it = dict.begin(); it != dict.end(); ++it)
                               rows.push_back({it.key(), it.value().toVariant().toString()});
                             p.Table({QStringLiteral("Merkmal"), QStringLiteral("Wert")}, rows);
                             return true;
                           },
                           e);
  Put(error, errorSize, e);
  return ok ? 0 : 1;
}
