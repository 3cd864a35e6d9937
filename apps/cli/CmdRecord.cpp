// vanta-cli record: downloaded record files read locally, without a session.
#include <QFileInfo>
#include <QSaveFile>
#include <QtNumeric>
#include <algorithm>
#include <functional>
#include <cmath>
#include <QHash>
#include <QRegularExpression>
#include <QJsonArray>
#include <QJsonObject>

#include "CliSession.h"
#include "Comtrade.h"
#include "DeviceTime.h"
#include "EventTable.h"
#include "JsonOut.h"
#include "RecordFile.h"
#include "RecordPager.h"
#include "SaveWhole.h"
#include "Language.h"

namespace vanta::cli {

namespace {

// A channel's field name in tables: the quantity's symbol where it has one,
// else its name without what a key cannot hold ("Plt L1" -> "PltL1"), made
// unique by a number when two read the same.
// The quantity's symbol where the channel names one the live commands use
// ("U L1" -> "U1E", "U L12" -> "U12", "I N" -> "IN", "H5 U L1" -> "H5U1E",
// "THD U L1" -> "THDU1E", "Frequenz" -> "f"); empty otherwise.
QString QuantitySymbol(const QString& name) {
  static const QRegularExpression phase(QStringLiteral("^(?:(H\\d+|THD)\\s+)?([UI])\\s+(L1|L2|L3|L12|L23|L31|N)$"));
  const QString n = name.simplified();
  if (n == QLatin1String("Frequenz")) return QStringLiteral("f");  // untranslated: a channel name
  if (n == QLatin1String("Unsymmetrie U")) return QStringLiteral("uUnbal");
  const QRegularExpressionMatch m = phase.match(n);
  if (!m.hasMatch()) return {};
  const QString q = m.captured(2), where = m.captured(3);
  QString symbol;
  if (where.size() == 3) symbol = QStringLiteral("U") + where.mid(1);  // line to line
  else if (q == QLatin1String("U")) symbol = QStringLiteral("U") + (where == QLatin1String("N") ? QStringLiteral("N") : where.mid(1)) + QStringLiteral("E");
  else symbol = QStringLiteral("I") + (where == QLatin1String("N") ? QStringLiteral("N") : where.mid(1));
  return m.captured(1) + symbol;
}

QStringList ChannelKeys(const QList<TRecordChannel>& channels) {
  QStringList keys;
  for (const TRecordChannel& c : channels) {
    if (const QString symbol = QuantitySymbol(c.Name); !symbol.isEmpty() && !keys.contains(symbol)) {
      keys << symbol;
      continue;
    }
    QString k;
    // German letters are spelt out ("Spannungsüberhöhung" -> "Spannungsueberhoehung"), never dropped.
    static const QHash<QChar, QString> CSpelt = {{QChar(0xE4), QStringLiteral("ae")}, {QChar(0xF6), QStringLiteral("oe")},
                                                  {QChar(0xFC), QStringLiteral("ue")}, {QChar(0xC4), QStringLiteral("Ae")},
                                                  {QChar(0xD6), QStringLiteral("Oe")}, {QChar(0xDC), QStringLiteral("Ue")},
                                                  {QChar(0xDF), QStringLiteral("ss")}};
    for (const QChar ch : c.Name)
      if ((ch >= QLatin1Char('A') && ch <= QLatin1Char('Z')) || (ch >= QLatin1Char('a') && ch <= QLatin1Char('z')) ||
          (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')))
        k += ch;
      else if (CSpelt.contains(ch))
        k += CSpelt.value(ch);
    if (k.isEmpty() || k[0].isDigit()) k.prepend(QStringLiteral("ch"));
    if (k == QLatin1String("time")) k = QStringLiteral("timeValue");  // the row's own time keeps its name
    const QString base = k;
    for (int n = 2; keys.contains(k); ++n) k = base + QString::number(n);
    keys << k;
  }
  return keys;
}

QJsonObject UnitsOf(const QList<TRecordChannel>& channels, const QStringList& keys) {
  QJsonObject units;
  for (qsizetype i = 0; i < channels.size(); ++i) units.insert(keys[i], channels[i].Unit);
  return units;
}

// A stamp the file leaves empty is no time.
QJsonValue FileTime(tmStamp_t t, const TDeviceTime& rule) {
  if (t.Sec == 0 && t.Frac == 0) return QJsonValue::Null;
  return IsoFileTime(t, rule);
}

int Info(TCliOutput& out, const QString& path, const TRecordHeader& h, qint64 records) {
  // Times by the rule the tables of this file use (the device's own when its settings lie beside it).
  const TDeviceTime rule = DeviceTimeForFile(path, h.Env);
  const QStringList keys = ChannelKeys(h.Context.Channels);
  QJsonArray channels;
  for (qsizetype i = 0; i < h.Context.Channels.size(); ++i) {
    const TRecordChannel& c = h.Context.Channels[i];
    channels.append(QJsonObject{{QStringLiteral("id"), qint64(c.Id)},
                                {QStringLiteral("group"), qint64(c.Group)},
                                {QStringLiteral("key"), keys[i]},
                                {QStringLiteral("unit"), c.Unit},
                                {QStringLiteral("name"), c.Name}});
  }
  out.Result() = QJsonObject{{QStringLiteral("kind"), RecordKindName(h.Kind)},
                             {QStringLiteral("serial"), qint64(h.Env.Serial)},
                             {QStringLiteral("plant"), h.Env.Plant},
                             {QStringLiteral("field"), h.Env.Field},
                             {QStringLiteral("device"), h.Env.Device},
                             {QStringLiteral("utcOffset"), h.Env.TzOffsetSec},
                             {QStringLiteral("dstMode"), h.Env.Dst},
                             {QStringLiteral("zone"), rule.HasSettings() ? QStringLiteral("device") : rule.ZoneText()},
                             {QStringLiteral("class"), h.Context.Class},
                             {QStringLiteral("interval"), double(h.Context.IntervalMs) / 1000.0},
                             {QStringLiteral("start"), FileTime(h.Context.Start, rule)},
                             {QStringLiteral("end"), FileTime(h.Context.End, rule)},
                             {QStringLiteral("sampleRate"), qint64(h.Context.SampleRate)},
                             {QStringLiteral("records"), records},
                             {QStringLiteral("channels"), channels},
                             {QStringLiteral("units"), UnitsOf(h.Context.Channels, keys)}};
  out.Line(TEn::tr("kind\t%1").arg(RecordKindText(h.Kind)));
  out.Line(TEn::tr("device\t%1 (%2) - %3 %4").arg(h.Env.Device).arg(h.Env.Serial).arg(h.Env.Plant, h.Env.Field));
  out.Line(TEn::tr("time zone\t%1 s%2").arg(h.Env.TzOffsetSec).arg(h.Env.Dst ? QStringLiteral(", DST") : QString()));
  out.Line(TEn::tr("class\t%1").arg(h.Context.Class));
  // The span as the tables show times: the device's clock, its zone named when the file alone tells it.
  const QString zone = rule.HasSettings() ? QString() : QStringLiteral(" (%1)").arg(rule.ZoneText());
  out.Line(TEn::tr("span\t%1 - %2%3").arg(rule.MilliText(h.Context.Start), rule.MilliText(h.Context.End), zone));
  out.Line(TEn::tr("records\t%1").arg(records));
  for (const TRecordChannel& c : h.Context.Channels)
    out.Line(TEn::tr("channel\t%1\t%2\t%3").arg(c.Id).arg(c.Unit, c.Name));
  return ecDone;
}

// Times as the device shows them: by its own rules when its settings lie
// beside the file in the store, else by the file's offset, which is then said.
TDeviceTime TimeRule(TCliOutput& out, const QString& path, const TRecordHeader& h) {
  QString problem;
  const TDeviceTime time = DeviceTimeForFile(path, h.Env, &problem);
  if (!problem.isEmpty()) out.Note(problem);
  if (!time.HasSettings())
    out.Note(TTr::tr("%1: Zeiten in %2 (keine Zeiteinstellungen des Geräts bei der Datei)").arg(path, time.ZoneText()));
  out.Result().insert(QStringLiteral("zone"), time.HasSettings() ? QStringLiteral("device") : time.ZoneText());
  return time;
}

// One CSV line of a JSON row: its fields in the header's order, a number
// with "." decimals, nothing for null.
QString CsvRow(const QJsonObject& row, const QStringList& fields) {
  QStringList cells;
  for (const QString& k : fields) {
    const QJsonValue v = row.value(k);
    cells << (v.isString() ? v.toString() : CsvNumber(v));
  }
  return CsvLine(cells);
}

int Events(TCliOutput& out, const TRecordFile& f, const TDeviceTime& time, bool csv) {
  const TMeasLookup lookup = EventLookupFor(f.Header);
  const QStringList headers = EventTableHeaders();
  // The CSV has the document's flat fields; the texts for people are left out.
  static const QStringList fields{QStringLiteral("id"),   QStringLiteral("event"),    QStringLiteral("time"),    QStringLiteral("value"),
                                  QStringLiteral("unit"), QStringLiteral("harmonic"), QStringLiteral("duration")};
  csv = csv && !out.Json();
  QJsonArray rows;
  if (csv)
    out.Text(CsvLine(fields), false);
  else
    out.Line(headers.join(QLatin1Char('\t')));
  for (const TEventRecord& e : f.Events) {
    QStringList cells;
    for (int c = 0; c < 6; ++c) cells << EventCellText(e, c, f.Header, time, lookup);
    // The table's cells are texts for people; the fields are what they say,
    // typed ("--" in a cell: no value).
    auto number = [](const QString& cell) {
      bool ok = false;
      const double v = QString(cell).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
      return ok ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
    };
    QString unit = cells[3];
    if (unit.startsWith(QLatin1Char('[')) && unit.endsWith(QLatin1Char(']'))) unit = unit.mid(1, unit.size() - 2);
    QJsonObject row{{QStringLiteral("id"), qint64(e.Id)},
                    {QStringLiteral("event"), cells[0]},
                    {QStringLiteral("time"), FileTime(e.Start, time)},
                    {QStringLiteral("value"), number(cells[2])},
                    {QStringLiteral("unit"), unit},
                    {QStringLiteral("harmonic"), e.Harmonic == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(int(e.Harmonic))},
                    {QStringLiteral("duration"), e.Duration == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(e.Duration)},
                    {QStringLiteral("texts"), QJsonObject{{QStringLiteral("time"), cells[1]}}}};
    rows.append(row);
    if (csv)
      out.Text(CsvRow(row, fields), false);
    else
      out.Line(cells.join(QLatin1Char('\t')));
  }
  out.Result().insert(QStringLiteral("events"), rows);
  return ecDone;
}

// A value of a row: JSON has no NaN or infinity, so those are null.
QJsonValue RowValue(float v) {
  return std::isfinite(v) ? QJsonValue(double(QString::number(double(v), 'g', 7).toDouble())) : QJsonValue(QJsonValue::Null);
}

// Rows [from, to) of a recording a page at a time: memory stays flat however long the file.
bool ForRows(const TRecordGeometry& g, qint64 from, qint64 to, QString& error, const std::function<void(const TRecRow&)>& each) {
  QList<TRecRow> rows;
  for (qint64 at = from; at < to; at += TRecordPager::CPageRows) {
    if (!ReadRecRows(g, at, std::min<qint64>(TRecordPager::CPageRows, to - at), rows, error)) return false;
    for (const TRecRow& r : rows) each(r);
  }
  return true;
}

// The rows --from and --count choose: --from counts from 0, or back from the end when negative.
bool RowRange(TCliOutput& out, const TCliArgs& a, qint64 count, qint64& from, qint64& to) {
  bool ok = true;
  from = a.Has(QStringLiteral("from")) ? a.Value(QStringLiteral("from")).toLongLong(&ok) : 0;
  if (!ok) {
    out.Error(TEn::tr("--from needs a row number (negative: from the end)"));
    return false;
  }
  const qint64 n = a.Has(QStringLiteral("count")) ? a.Value(QStringLiteral("count")).toLongLong(&ok) : count;
  if (!ok || n < 0) {
    out.Error(TEn::tr("--count needs a number of rows"));
    return false;
  }
  from = std::clamp<qint64>(from < 0 ? count + from : from, 0, count);
  to = from + std::min(n, count - from);
  return true;
}

int Table(TCliOutput& out, const TRecordPager& pager, const TDeviceTime& time, bool csv, qint64 from, qint64 to) {
  const QList<TRecordChannel>& channels = pager.Header().Context.Channels;
  const QStringList keys = ChannelKeys(channels);
  QString error;
  if (csv && !out.Json()) {
    // For a program: the JSON document's field names, "." decimals, RFC 4180.
    out.Text(CsvLine(QStringList{QStringLiteral("time")} + keys), false);
    const bool ok = ForRows(pager.Geometry(), from, to, error, [&](const TRecRow& r) {
      QStringList cells{FileTime(r.Time, time).toString()};
      for (qsizetype i = 0; i < keys.size(); ++i) cells << CsvNumber(RowValue(r.Values.value(i, qQNaN())));
      out.Text(CsvLine(cells), false);
    });
    if (!ok) out.Error(error);
    return ok ? ecDone : ecUsage;
  }
  QStringList head{TTr::tr("Zeit")};
  for (const TRecordChannel& c : channels) head << QStringLiteral("%1 [%2]").arg(c.Name, c.Unit);
  out.Line(head.join(QLatin1Char('\t')));
  QJsonArray rows;
  const bool ok = ForRows(pager.Geometry(), from, to, error, [&](const TRecRow& r) {
    if (out.Json()) {
      QJsonObject row{{QStringLiteral("time"), FileTime(r.Time, time)}};
      for (qsizetype i = 0; i < r.Values.size() && i < keys.size(); ++i) row.insert(keys[i], RowValue(r.Values[i]));
      rows.append(row);
      return;
    }
    QStringList cells{time.MilliText(r.Time)};
    for (float v : r.Values) cells << QString::number(double(v), 'g', 7);
    out.Line(cells.join(QLatin1Char('\t')));
  });
  if (!ok) {
    out.Error(error);
    return ecUsage;
  }
  QJsonArray columns;
  for (qsizetype i = 0; i < channels.size(); ++i)
    columns.append(QJsonObject{{QStringLiteral("key"), keys[i]}, {QStringLiteral("name"), channels[i].Name},
                               {QStringLiteral("unit"), channels[i].Unit}});
  out.Result().insert(QStringLiteral("columns"), columns);
  out.Result().insert(QStringLiteral("units"), UnitsOf(channels, keys));
  out.Result().insert(QStringLiteral("rows"), rows);
  return ecDone;
}

// A recording's CSV written as it is read ("Zeit;NAME [UNIT];...", the times as
// the device shows them): whole under its name, or not at all.
bool SaveRecordingCsv(const TRecordPager& pager, const TDeviceTime& time, const QString& target, QString& error) {
  QByteArray buf = CsvHeading(pager.Header());
  QSaveFile f(target);
  if (!f.open(QIODevice::WriteOnly)) {
    error = QStringLiteral("%1: %2").arg(target, f.errorString());
    return false;
  }
  bool written = true;
  auto flush = [&] {
    written = written && f.write(buf) == buf.size();
    buf.clear();
  };
  QString readError;
  const bool read = ForRows(pager.Geometry(), 0, pager.Count(), readError, [&](const TRecRow& r) {
    AppendCsvRow(buf, r, time);
    if (buf.size() > (1 << 20)) flush();
  });
  flush();
  if (!read || !written || !f.commit()) {
    f.cancelWriting();
    error = read ? QStringLiteral("%1: %2").arg(target, f.errorString()) : readError;
    return false;
  }
  return true;
}

int Export(TCliOutput& out, const TRecordFile& f, const TCliArgs& a, const TRecordPager* pager) {
  const QString path = a.Args[1];
  QString error;
  if (a.Has(QStringLiteral("csv"))) {
    QByteArray csv;
    const QString target = a.Args.value(2);  // "--csv OUT": OUT follows the file
    // Waveforms count seconds from their first sample: no clock time to convert.
    if (pager) {
      if (!SaveRecordingCsv(*pager, TimeRule(out, path, pager->Header()), target, error)) {
        out.Error(error);
        return ecNotStored;
      }
    } else if (!BuildCsv(f, TDeviceTime::FromHeader(f.Header.Env), csv, error)) {
      out.Error(error);
      return ecUsage;
    } else if (!SaveWhole(target, csv, error)) {
      out.Error(error);
      return ecNotStored;
    }
    out.Line(QStringLiteral("csv %1").arg(target));
    out.Result().insert(QStringLiteral("csv"), target);
  }
  if (a.Has(QStringLiteral("comtrade"))) {
    const QString dir = a.Value(QStringLiteral("comtrade"));
    const QString base = QFileInfo(a.Args[1]).completeBaseName();
    TComtradeFiles files;
    if (!BuildComtrade(f, a.Has(QStringLiteral("binary")), files, error)) {
      out.Error(error);
      return ecUsage;  // the record cannot be put in that form
    }
    if (!WriteComtrade(f, dir, base, a.Has(QStringLiteral("binary")), error)) {
      out.Error(error);
      return ecNotStored;  // it can, but not where asked
    }
    out.Line(QStringLiteral("comtrade %1/%2.cfg").arg(dir, base));
    out.Result().insert(QStringLiteral("comtrade"), QStringLiteral("%1/%2.cfg").arg(dir, base));
  }
  return ecDone;
}

int Run(TCliOutput& out, const TCliArgs& a) {
  const QString op = a.Args[0], path = a.Args[1];
  QString error;
  TRecordHeader header;
  if (!ReadRecordHeader(path, header, error)) {
    out.Error(error);
    return ecUsage;
  }
  // A recording can be of gigabytes: its rows are read as they are needed,
  // never all at once (COMTRADE alone takes the whole file).
  if (header.Kind == TRecordKind::rkRecording && !(op == QLatin1String("export") && a.Has(QStringLiteral("comtrade")))) {
    TRecordPager pager;
    if (!pager.Open(path, error)) {
      out.Error(error);
      return ecUsage;
    }
    if (!pager.Warning().isEmpty()) out.Note(QStringLiteral("%1: %2").arg(path, pager.Warning()));
    if (op == QLatin1String("info")) return Info(out, path, pager.Header(), pager.Count());
    if (op == QLatin1String("export")) return Export(out, {}, a, &pager);
    if (op == QLatin1String("events")) {
      out.Error(TEn::tr("%1 holds %2, not events").arg(path, RecordKindText(header.Kind)));
      return ecUsage;
    }
    qint64 from = 0, to = 0;
    if (!RowRange(out, a, pager.Count(), from, to)) return ecUsage;
    return Table(out, pager, TimeRule(out, path, pager.Header()), a.Has(QStringLiteral("csv")), from, to);
  }
  TRecordFile f;
  if (!ReadRecordFile(path, f, error)) {
    out.Error(error);
    return ecUsage;
  }
  if (!f.Warning.isEmpty()) out.Note(QStringLiteral("%1: %2").arg(path, f.Warning));
  if (op == QLatin1String("info")) return Info(out, path, f.Header, f.Records);
  if (op == QLatin1String("export")) return Export(out, f, a, nullptr);
  if (op == QLatin1String("events")) {
    if (f.Header.Kind != TRecordKind::rkEvent && f.Header.Kind != TRecordKind::rkTrigger) {
      out.Error(TEn::tr("%1 holds %2, not events").arg(path, RecordKindText(f.Header.Kind)));
      return ecUsage;
    }
    return Events(out, f, TimeRule(out, path, f.Header), a.Has(QStringLiteral("csv")));
  }
  out.Error(TEn::tr("%1 holds %2, not a recording").arg(path, RecordKindText(f.Header.Kind)));
  return ecUsage;
}

}  // namespace

TCliCommand RecordCommand() {
  TCliCommand c{QStringLiteral("record"),
                QStringLiteral("record info FILE | record events FILE [--csv] | record table FILE [--csv] [--from ROW] [--count N] | "
                               "record export FILE [--csv OUT] [--comtrade DIR [--binary]]"),
                {{{QStringLiteral("csv")}, false},
                 {{QStringLiteral("comtrade")}, true},
                 {{QStringLiteral("binary")}, false},
                 {{QStringLiteral("from")}, true},
                 {{QStringLiteral("count")}, true}},
                [](const TCliArgs& a) {
                  static const QStringList ops{QStringLiteral("info"), QStringLiteral("events"), QStringLiteral("table"),
                                               QStringLiteral("export")};
                  if (a.Args.isEmpty()) return Missing(TEn::tr("info, events or table"));
                  if (!ops.contains(a.Args[0])) return TArgProblem::Usage(TEn::tr("unknown operation '%1'").arg(a.Args[0]));
                  if (a.Args.size() < 2) return Missing(TEn::tr("FILE"));
                  const bool csvOut = a.Args[0] == QLatin1String("export") && a.Has(QStringLiteral("csv"));
                  if (csvOut && a.Args.size() < 3) return Missing(TEn::tr("OUT after --csv"));
                  if (a.Args.size() > (csvOut ? 3 : 2)) return Unexpected(a.Args.last());
                  if (!QFileInfo(a.Args[1]).isFile()) return TArgProblem::Fact(TEn::tr("no such file: %1").arg(a.Args[1]));
                  if (a.Args[0] == QLatin1String("export") && !a.Has(QStringLiteral("csv")) && !a.Has(QStringLiteral("comtrade")))
                    return TArgProblem::Usage(TEn::tr("export needs --csv OUT or --comtrade DIR"));
                  return TArgProblem::None();
                },
                nullptr};
  c.RunOffline = [](TCliOutput& out, const TCliArgs& a, const TCliOptions&) { return Run(out, a); };
  return c;
}

}  // namespace vanta::cli
