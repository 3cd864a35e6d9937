// vanta-render: draws a chart off screen from data, for tests, benchmarks
// and documents.
//
//   vanta-render time --in FILE.csv|RECORDING --png OUT [--width W] [--height H] [--stack 0|1|2] [--json]
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
#include <cstdio>

#include "PaintBox.h"
#include "RecordFile.h"

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
    error = QStringLiteral("%1: no header line").arg(path);
    return false;
  }
  const QStringList head = QString::fromUtf8(lines[0]).trimmed().split(QLatin1Char(','));
  if (head.size() < 2) {
    error = QStringLiteral("%1: a time column and at least one curve are needed").arg(path);
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
      error = QStringLiteral("%1:%2: expected a time and %3 values").arg(path).arg(i + 1).arg(head.size() - 1);
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

bool LoadRecording(const QString& path, TCrvTimeModel& m, QString& error) {
  TRecordFile f;
  if (!ReadRecordFile(path, f, error)) return false;
  if (f.Header.Kind != TRecordKind::rkRecording) {
    error = QStringLiteral("%1: not a recording").arg(path);
    return false;
  }
  const QList<TRecordChannel>& ch = f.Header.Context.Channels;
  m.SetMaxRecs(std::max<int>(1, int(f.Rows.size())));
  m.SetCrvCnt(int(ch.size()));
  for (int c = 0; c < ch.size(); ++c) m.SetBaseRec(c, TYBaseRec::BaseRect(ch[c].Name, ch[c].Unit, ch[c].Unit));
  for (const TRecRow& row : f.Rows) m.NewValues(TPQTimeProgs::TStoLinear(row.Time), row.Values);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vanta-render"));
  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral("Draws a Vanta chart off screen from data."));
  p.addHelpOption();
  p.addPositionalArgument(QStringLiteral("kind"), QStringLiteral("time: the time-curve chart"));
  p.addOptions({{"in", "CSV file or recording.", "file"},
                {"png", "Image to write.", "file"},
                {"width", "Width in pixels.", "w", "1200"},
                {"height", "Height in pixels.", "h", "700"},
                {"stack", "Stack mode 0 (one region), 1 (by group), 2 (per curve).", "mode", "1"},
                {"json", "Print the scales drawn."}});
  p.process(app);
  if (p.positionalArguments() != QStringList{QStringLiteral("time")}) return Fail(QStringLiteral("the only chart kind is 'time'"));
  if (!p.isSet("in") || !p.isSet("png")) return Fail(QStringLiteral("--in and --png are needed"));
  bool okW = false, okH = false, okS = false;
  const int w = p.value("width").toInt(&okW), h = p.value("height").toInt(&okH), stack = p.value("stack").toInt(&okS);
  if (!okW || !okH || w < 200 || h < 120 || w > 10000 || h > 10000) return Fail(QStringLiteral("--width 200..10000 and --height 120..10000"));
  if (!okS || stack < 0 || stack > 2) return Fail(QStringLiteral("--stack takes 0, 1 or 2"));

  TPQPaintBoxCrvTime chart;
  chart.resize(w, h);
  TCrvTimeModel& m = chart.Model();
  QString error;
  const QString in = p.value("in");
  const bool ok = in.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? LoadCsv(in, m, error) : LoadRecording(in, m, error);
  if (!ok) return Fail(error);
  for (int c = 0; c < m.GetCrvCnt(); ++c) m.SetLnColor(c, TCrvTimeModel::DefaultColor(c) | 0xFF000000u);
  m.SetStack(stack);
  m.AutoScaleAll();
  chart.ResetZoom();
  const QImage image = chart.Image();
  if (!image.save(p.value("png"), "PNG")) return Fail(QStringLiteral("%1: cannot write").arg(p.value("png")));
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
      for (int i = 0; i < a.FSclCnt; ++i) labels.append(a.ScaleAt(i));
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
