// vanta-render: draws a chart off screen from data, for tests, benchmarks
// and documents.
//
//   vanta-render time --in FILE.csv|RECORDING --png OUT [--width W] [--height H] [--stack 0|1|2] [--json]
//   vanta-render fft  --in FILE.csv|RECORDING --png OUT ...   the spectrum of the same curves
//   vanta-render bars --in FILE.csv --png OUT [--view harmonics|interharmonics|bands] [--group ULE|ULL|IL] ...
//   vanta-render vectors --in FILE.csv --png OUT ...
//
// Bars: one line per order, "order,L1,L2,L3,N" (the first line names the
// columns). Vectors: "name,magnitude,angle" lines for U1E, U2E, U3E, UNE,
// U12, U23, U31, I1, I2, I3 in that order.
//
// A CSV file: the first line names the columns, "time" (seconds) and then
// "symbol [unit]" per curve; each further line a time and one value per
// curve. A recording file (.log) gives its channels as curves. With --json
// the scales the chart drew are printed: the time grid (lines, labels) and
// each region's value grid.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>

#include "BuildInfo.h"
#include "Language.h"
#include "FreqCharts.h"
#include "PaintBox.h"
#include "Plugins.h"
#include "RecordFile.h"
#include "RecordPager.h"

using namespace vanta;

namespace {

int Fail(const QString& text) {
  std::fprintf(stderr, "vanta-render: %s\n", text.toUtf8().constData());
  return 1;
}

bool LoadCsv(const QString& path, TCrvTimeModel& m, QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return false;
  }
  const QList<QByteArray> lines = f.readAll().split('\n');
  if (lines.isEmpty() || lines[0].trimmed().isEmpty()) {
    error = TEn::tr("%1: no header line").arg(path);
    return false;
  }
  const QStringList head = QString::fromUtf8(lines[0]).trimmed().split(QLatin1Char(','));
  if (head.size() < 2) {
    error = TEn::tr("%1: a time column and at least one curve are needed").arg(path);
    return false;
  }
  int rows = 0;
  for (int i = 1; i < lines.size(); ++i) rows += lines[i].trimmed().isEmpty() ? 0 : 1;
  m.SetMaxRecs(std::max(1, rows));
  m.SetCrvCnt(int(head.size()) - 1);
  for (int c = 1; c < head.size(); ++c) {
    const QString h = head[c].trimmed();
    const QString sym = h.section(QLatin1Char('['), 0, 0).trimmed();
    const QString unit = h.contains(QLatin1Char('[')) ? h.section(QLatin1Char('['), 1).section(QLatin1Char(']'), 0, 0) : QString();
    m.SetBaseRec(c - 1, TYBaseRec::BaseRect(sym, unit, unit));
  }
  for (int i = 1; i < lines.size(); ++i) {
    const QString line = QString::fromUtf8(lines[i]).trimmed();
    if (line.isEmpty()) continue;
    const QStringList cells = line.split(QLatin1Char(','));
    bool ok = false;
    const double t = cells[0].toDouble(&ok);
    if (!ok || cells.size() != head.size()) {
      error = TEn::tr("%1:%2: expected a time and %3 values").arg(path).arg(i + 1).arg(head.size() - 1);
      return false;
    }
    QList<float> values;
    for (int c = 1; c < cells.size(); ++c) {
      bool good = false;
      const float v = cells[c].toFloat(&good);
      values << (good ? v : std::nanf(""));
    }
    m.NewValues(int64_t(std::llround(t * 1e9)), values);
  }
  return true;
}

// A recording's rows, read a page at a time; with `columns`, reduced to the
// minimum and maximum per pixel column as the analysis window draws them, so
// a file of gigabytes costs what a screen of curves costs.
bool LoadRecording(const QString& path, TCrvTimeModel& m, QString& error, int columns = 0) {
  TRecordPager pager;
  if (!pager.Open(path, error)) return false;
  QList<TRecRow> rows;
  const bool ok = columns > 0 ? DecimateRecRows(pager.Geometry(), 0, pager.Count(), columns, rows, error)
                              : ReadRecRows(pager.Geometry(), 0, pager.Count(), rows, error);
  if (!ok) return false;
  const QList<TRecordChannel>& ch = pager.Header().Context.Channels;
  m.SetMaxRecs(std::max<int>(1, int(rows.size())));
  m.SetCrvCnt(int(ch.size()));
  for (int c = 0; c < ch.size(); ++c) m.SetBaseRec(c, TYBaseRec::BaseRect(ch[c].Name, ch[c].Unit, ch[c].Unit));
  for (const TRecRow& row : rows) m.NewValues(TPQTimeProgs::TStoLinear(row.Time), row.Values);
  return true;
}

// Numbers of a CSV file after its header line; false with the line that is not.
bool CsvRows(const QString& path, int columns, QList<QList<double>>& rows, QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return false;
  }
  const QList<QByteArray> lines = f.readAll().split('\n');
  for (int i = 1; i < lines.size(); ++i) {
    const QString line = QString::fromUtf8(lines[i]).trimmed();
    if (line.isEmpty()) continue;
    const QStringList cells = line.split(QLatin1Char(','));
    QList<double> row;
    for (int c = 0; c < cells.size() && c < columns; ++c) {
      bool ok = false;
      row << cells[c].toDouble(&ok);
      if (!ok && c > 0) {
        error = TEn::tr("%1:%2: not a number: %3").arg(path).arg(i + 1).arg(cells[c]);
        return false;
      }
    }
    if (row.size() < columns) {
      error = TEn::tr("%1:%2: %3 columns expected").arg(path).arg(i + 1).arg(columns);
      return false;
    }
    rows << row;
  }
  return true;
}

QJsonObject Bars(const QString& in, const QString& view, const QString& group, TPQPaintBoxHarm& chart, QString& error) {
  const int g = group == QLatin1String("ULL") ? 1 : group == QLatin1String("IL") ? 2 : 0;
  static const TVantaDisp CViews[3][3] = {{TVantaDisp::sdHrmULE, TVantaDisp::sdHrmULL, TVantaDisp::sdHrmIL},
                                          {TVantaDisp::sdIHrmULE, TVantaDisp::sdIHrmULL, TVantaDisp::sdIHrmIL},
                                          {TVantaDisp::sdFrqBandULE, TVantaDisp::sdFrqBandULL, TVantaDisp::sdFrqBandIL}};
  const int k = view == QLatin1String("interharmonics") ? 1 : view == QLatin1String("bands") ? 2 : 0;
  THarmBarModel& m = chart.Model();
  m.SetVantaDisp(CViews[k][g]);
  QList<QList<double>> rows;
  if (!CsvRows(in, 5, rows, error)) return {};
  const int need = k == 0 ? 51 : k == 1 ? 50 : 35;
  if (rows.size() != need) {
    error = TEn::tr("%1: %2 rows expected, %3 found").arg(in).arg(need).arg(rows.size());
    return {};
  }
  for (int c = 0; c < 4; ++c) {
    QList<float> v;
    for (const QList<double>& r : rows) v << float(r[c + 1]);
    const T4Leiter l = T4Leiter(c);
    k == 0 ? m.SetHrmVal(l, v) : k == 1 ? m.SetIHrmVal(l, v) : m.SetFrqBVal(l, v);
  }
  m.HrmRescale();
  return {{QStringLiteral("unit"), m.FYUnit}, {QStringLiteral("first"), m.FHrmStartIdx}, {QStringLiteral("last"), m.FHrmMaxIdx},
          {QStringLiteral("scaleMax"), double(m.FHrmMaxScl)}};
}

QJsonObject Vectors(const QString& in, TPQPaintBoxVecDiag& chart, QString& error) {
  QList<QList<double>> rows;
  if (!CsvRows(in, 3, rows, error)) return {};
  if (rows.size() != 10) {
    error = TEn::tr("%1: ten phasors expected (U1E .. I3), %2 found").arg(in).arg(rows.size());
    return {};
  }
  for (int k = 0; k < 10; ++k) chart.Model().SetMagAngle(TVecPointer(k), {float(rows[k][1]), float(rows[k][2])});
  QJsonArray ends;
  for (int k = 0; k < 10; ++k) {
    const QPointF e = TVectorModel::PhasorEnd(QPointF(0, 0), 1.0, 1.0, rows[k][2]);
    ends.append(QJsonArray{e.x(), e.y()});
  }
  return {{QStringLiteral("unitEnds"), ends}};
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  vanta::PrepareRuntimeFolder();
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vanta-render"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(vanta::build::CVersion));
  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral("Draws a Vanta chart off screen from data."));
  p.addHelpOption();
  p.addVersionOption();
  p.addPositionalArgument(QStringLiteral("kind"), QStringLiteral("time: the time-curve chart"));
  p.addOptions({{"in", "CSV file or recording.", "file"},
                {"png", "Image to write.", "file"},
                {"width", "Width in pixels.", "w", "1200"},
                {"height", "Height in pixels.", "h", "700"},
                {"stack", "Stack mode 0 (one region), 1 (by group), 2 (per curve).", "mode", "1"},
                {"view", "bars: harmonics, interharmonics or bands.", "view", "harmonics"},
                {"group", "bars: ULE, ULL or IL.", "group", "ULE"},
                {"json", "Print the scales drawn."},
                {"lang", "Language of the texts drawn: de or en (default: the system locale).", "L"}});
  p.process(app);
  if (QString langError; !vanta::SetupLanguage(app.arguments(), QString(), langError)) return Fail(langError);
  const QString kind = p.positionalArguments().value(0);
  if (p.positionalArguments().size() != 1 || !QStringList{QStringLiteral("time"), QStringLiteral("fft"), QStringLiteral("bars"), QStringLiteral("vectors")}.contains(kind))
    return Fail(TEn::tr("the chart kinds are time, fft, bars and vectors"));
  if (!p.isSet("in") || !p.isSet("png")) return Fail(TEn::tr("--in and --png are needed"));
  bool okW = false, okH = false, okS = false;
  const int w = p.value("width").toInt(&okW), h = p.value("height").toInt(&okH), stack = p.value("stack").toInt(&okS);
  if (!okW || !okH || w < 200 || h < 120 || w > 10000 || h > 10000) return Fail(TEn::tr("--width 200..10000 and --height 120..10000"));
  if (!okS || stack < 0 || stack > 2) return Fail(TEn::tr("--stack takes 0, 1 or 2"));
  // A mistyped view or group would draw the default one without a word.
  if (!QStringList{QStringLiteral("harmonics"), QStringLiteral("interharmonics"), QStringLiteral("bands")}.contains(p.value("view")))
    return Fail(TEn::tr("--view takes harmonics, interharmonics or bands"));
  if (!QStringList{QStringLiteral("ULE"), QStringLiteral("ULL"), QStringLiteral("IL")}.contains(p.value("group").toUpper()))
    return Fail(TEn::tr("--group takes ULE, ULL or IL"));

  QString error;
  if (kind == QLatin1String("bars") || kind == QLatin1String("vectors")) {
    TPQPaintBoxHarm bars;
    TPQPaintBoxVecDiag vectors;
    TPQPaintBox& box = kind == QLatin1String("bars") ? static_cast<TPQPaintBox&>(bars) : static_cast<TPQPaintBox&>(vectors);
    box.resize(w, h);
    const QJsonObject o = kind == QLatin1String("bars") ? Bars(p.value("in"), p.value("view"), p.value("group").toUpper(), bars, error)
                                                        : Vectors(p.value("in"), vectors, error);
    if (!error.isEmpty()) return Fail(error);
    if (!box.Image().save(p.value("png"), "PNG")) return Fail(TEn::tr("%1: cannot write").arg(p.value("png")));
    if (p.isSet("json")) std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    return 0;
  }
  if (kind == QLatin1String("fft")) {
    TPQPaintBoxCrvFFT spectrum;
    spectrum.resize(w, h);
    TCrvFFTModel& f = spectrum.Model();
    const QString in = p.value("in");
    const bool ok = in.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? LoadCsv(in, f, error) : LoadRecording(in, f, error);
    if (!ok) return Fail(error);
    // The sample rate over the whole block: single steps carry the nanosecond rounding.
    const int n = f.GetMessCnt();
    const double dt = n > 1 ? double(f.Store().Time(n - 1) - f.Store().Time(0)) / 1e9 / (n - 1) : 0;
    f.SetSampleRate(dt > 0 ? 1.0 / dt : 40960);
    f.Transform().SetPlanningFlags(64 /* estimate: a single transform */);
    for (int c = 0; c < f.GetCrvCnt(); ++c) f.SetLnColor(c, TCrvTimeModel::DefaultColor(c) | 0xFF000000u);
    f.DoFFT();
    f.AutoScaleAllFFT();
    if (!spectrum.Image().save(p.value("png"), "PNG")) return Fail(TEn::tr("%1: cannot write").arg(p.value("png")));
    if (p.isSet("json")) {
      QJsonArray curves;
      for (int c = 0; c < f.GetCrvCnt(); ++c) {
        // The ten largest lines of each curve.
        QList<QPair<double, int>> lines;
        for (int j = 0; j < f.GetMessCnt(); ++j) lines.append({f.Store().Value(c, j), j});
        std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        QJsonArray top;
        for (int j = 0; j < std::min<qsizetype>(10, lines.size()); ++j) top.append(QJsonArray{lines[j].second * f.FreqStep(), lines[j].first});
        curves.append(QJsonObject{{QStringLiteral("symbol"), f.Curve(c).FSym}, {QStringLiteral("max"), f.Curve(c).FSclMax}, {QStringLiteral("top"), top}});
      }
      std::printf("%s\n", QJsonDocument(QJsonObject{{QStringLiteral("step"), f.FreqStep()}, {QStringLiteral("lines"), f.GetMessCnt()},
                                                      {QStringLiteral("curves"), curves}})
                               .toJson(QJsonDocument::Compact)
                               .constData());
    }
    return 0;
  }
  TPQPaintBoxCrvTime chart;
  chart.resize(w, h);
  TCrvTimeModel& m = chart.Model();
  const QString in = p.value("in");
  const bool ok =
      in.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? LoadCsv(in, m, error) : LoadRecording(in, m, error, w);
  if (!ok) return Fail(error);
  for (int c = 0; c < m.GetCrvCnt(); ++c) m.SetLnColor(c, TCrvTimeModel::DefaultColor(c) | 0xFF000000u);
  m.SetStack(stack);
  m.AutoScaleAll();
  chart.ResetZoom();
  const QImage image = chart.Image();
  if (!image.save(p.value("png"), "PNG")) return Fail(TEn::tr("%1: cannot write").arg(p.value("png")));
  if (p.isSet("json")) {
    const TTimeNorm& t = chart.TimeAxis();
    QJsonArray lines;
    for (int i = 0; i < t.FSclCount && t.ScaleAt(i) <= t.FTS_SclMax; ++i)
      lines.append(QJsonObject{{QStringLiteral("t"), QString::number(t.ScaleAt(i))},
                               {QStringLiteral("x"), t.TmNorm(t.ScaleAt(i))},
                               {QStringLiteral("label"), t.TextAt(t.ScaleAt(i))}});
    QJsonArray regions;
    for (const TYLinNorm& a : chart.RegionAxes()) {
      QJsonArray labels;
      for (const double v : a.Ticks()) labels.append(v);
      regions.append(QJsonObject{{QStringLiteral("symbol"), a.FBaseRec.FSym},
                                 {QStringLiteral("unit"), a.FBaseRec.FUnt},
                                 {QStringLiteral("min"), a.FSclMin},
                                 {QStringLiteral("max"), a.FSclMax},
                                 {QStringLiteral("step"), a.FSclDiff},
                                 {QStringLiteral("lines"), labels}});
    }
    const QJsonObject o{{QStringLiteral("records"), m.GetMessCnt()},
                        {QStringLiteral("curves"), m.GetCrvCnt()},
                        {QStringLiteral("time"),
                         QJsonObject{{QStringLiteral("min"), QString::number(t.FTS_SclMin)},
                                     {QStringLiteral("max"), QString::number(t.FTS_SclMax)},
                                     {QStringLiteral("stepNs"), QString::number(TimeGridStep(t.FTimeGrid))},
                                     {QStringLiteral("lines"), lines}}},
                        {QStringLiteral("regions"), regions}};
    std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
  }
  return 0;
}
