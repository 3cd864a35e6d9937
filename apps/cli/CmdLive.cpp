// vanta-cli live: the live view's figures headless: the value panel with the
// texts the window shows, and oscilloscope records.
#include <QJsonArray>
#include <QJsonObject>
#include <charconv>
#include <cmath>
#include <cstring>

#include "ByteOrder.h"
#include "CliSession.h"
#include "CrvFFTModel.h"
#include "Download.h"
#include "HarmBarModel.h"
#include "PhasorModel.h"
#include "StructTable.h"
#include "LiveRecords.h"
#include "Language.h"

namespace vanta::cli {

namespace {

QString LocalTime(TComUnit& u, tmStamp_t stamp) {
  const tmStamp_t local = TPQTimeProgs::TSNormalizeLocal(stamp, TimeTzFromSet(u.FtmeSet));
  return TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(local));
}

// A device time stamp in the device's zone with that zone's offset (daylight
// saving included when the stamp carries its flag), for programs.
QString IsoTime(const time_tz_t& zone, tmStamp_t stamp) {
  const int32_t offset = TPQTimeProgs::UTCTimeShiftSoc(zone, (stamp.Frac & CTSDstMask) != 0);
  const tmStamp_t local = TPQTimeProgs::TSNormalizeLocal(stamp, zone);
  const int32_t off = std::abs(offset);
  return TPQTimeProgs::VantaTS_to_DT(TPQTimeProgs::TStoLinear(local)).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
         QStringLiteral("%1%2:%3").arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+')).arg(off / 3600, 2, 10, QLatin1Char('0')).arg((off % 3600) / 60, 2, 10, QLatin1Char('0'));
}

// A float of a record as the shortest decimal that reads back as the same
// float: 230.1 stays 230.1 instead of 230.10000610351562. Not a number: null.
QJsonValue Num(float v) {
  if (!std::isfinite(v)) return QJsonValue(QJsonValue::Null);
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  double d = 0;
  std::from_chars(text, end, d);
  return d;
}

float F32At(const QByteArray& record, qsizetype offset) {
  if (offset < 0 || offset + 4 > record.size()) return 0.0f;
  const uint32_t bits = GetU32At(record, offset);
  float f = 0;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// One CSV cell: numbers with "." whatever the locale, text quoted as RFC 4180
// asks when it holds a comma, a quote or a line break, no value as an empty cell.
QString CsvCell(const QJsonValue& v) {
  switch (v.type()) {
    case QJsonValue::Double: return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::Bool: return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Array: {
      QStringList parts;
      for (const QJsonValue& e : v.toArray()) parts << CsvCell(e);
      return CsvCell(parts.join(QLatin1Char(';')));
    }
    case QJsonValue::String: {
      QString t = v.toString();
      if (!t.contains(QLatin1Char(',')) && !t.contains(QLatin1Char('"')) && !t.contains(QLatin1Char('\n')) && !t.contains(QLatin1Char('\r')))
        return t;
      return QLatin1Char('"') + t.replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
    }
    default: return {};
  }
}

// A table as CSV: the JSON field names as the header, a line per row.
void PrintCsv(TCliOutput& out, const QStringList& fields, const QJsonArray& rows) {
  QStringList head;
  for (const QString& f : fields) head << CsvCell(f);
  out.Line(head.join(QLatin1Char(',')));
  for (const QJsonValue& row : rows) {
    QStringList cells;
    for (const QString& f : fields) cells << CsvCell(row.toObject().value(f));
    out.Line(cells.join(QLatin1Char(',')));
  }
}

// A table goes out either as CSV or as the text/JSON of the command.
bool CsvWanted(TCliSession& s, const TCliArgs& a, int& rc) {
  rc = ecDone;
  if (!a.Has(QStringLiteral("csv"))) return false;
  if (s.Out().Json()) {
    s.Out().Error(TEn::tr("--csv and --json exclude each other"));
    rc = ecUsage;
  }
  return true;
}

// Harmonics, interharmonics or bands of a group, as the bar chart holds them.
int Bars(TCliSession& s, const TCliArgs& a) {
  const QString kind = a.Args[0];
  const QString group = a.Has(QStringLiteral("group")) ? a.Value(QStringLiteral("group")).toUpper() : QStringLiteral("ULE");
  const int g = group == QLatin1String("ULL") ? 1 : group == QLatin1String("IL") ? 2 : 0;
  static const TVantaDisp CViews[3][3] = {{TVantaDisp::sdHrmULE, TVantaDisp::sdHrmULL, TVantaDisp::sdHrmIL},
                                          {TVantaDisp::sdIHrmULE, TVantaDisp::sdIHrmULL, TVantaDisp::sdIHrmIL},
                                          {TVantaDisp::sdFrqBandULE, TVantaDisp::sdFrqBandULL, TVantaDisp::sdFrqBandIL}};
  const int k = kind == QLatin1String("harmonics") ? 0 : kind == QLatin1String("interharmonics") ? 1 : 2;
  const TVantaDisp disp = CViews[k][g];
  TComUnit& u = s.Unit();
  const int gen = u.FRev.Gen;
  TCliOutput& out = s.Out();
  THarmBarModel m;
  m.SetVantaDisp(disp);
  int rc = ecDone;
  const bool csv = CsvWanted(s, a, rc);
  if (rc != ecDone) return rc;
  QString problem;
  bool done = false;
  tmStamp_t stamp;
  u.FOnStreamRecord = [&](QObject*, const TStreamRecordView& r) {
    if (r.Kind != TStreamKind::skMeasurement || done) return;
    done = true;
    stamp = r.Stamp;
    const QByteArray bytes = r.Record.toByteArray();
    std::array<QList<float>, 4> h, ih;
    const T4Leiter order[] = {T4Leiter::lt1, T4Leiter::lt2, T4Leiter::lt3, T4Leiter::lt0};
    if (k == 2) {
      if (!DecodeBands(bytes, gen, disp, h, problem)) return;
      for (int c = 0; c < 4; ++c) m.SetFrqBVal(order[c], h[size_t(c)]);
    } else {
      if (!DecodeHarmonics(bytes, gen, disp, h, ih)) {
        problem = TTr::tr("Oberschwingungen: %1 Bytes, erwartet %2").arg(bytes.size()).arg(HarmonicRecordLength(gen));
        return;
      }
      for (int c = 0; c < 4; ++c) k == 0 ? m.SetHrmVal(order[c], h[size_t(c)]) : m.SetIHrmVal(order[c], ih[size_t(c)]);
    }
    m.HrmRescale();
  };
  const int since = s.RefusalCount();
  u.SendCommand(ccci::TCcci::STREAM_START, k == 2 ? 0x04FFFFFFu : 0x01FFFFFFu);
  s.WaitFor([&] { return done || s.ConnectionLost() || s.RefusalCount() > since; });
  u.FOnStreamRecord = nullptr;
  if (!done) return s.Fail(since, QStringLiteral("live ") + kind);
  if (!problem.isEmpty()) {
    out.Error(problem);
    return ecRefused;
  }
  // A row per order (or band) with a number per conductor, named as the bar
  // chart names its rows; the line-to-line harmonics have no fourth row, the
  // other line-to-line views show the neutral's voltage there.
  static const char* const CConductors[3][4] = {{"U1E", "U2E", "U3E", "UNE"}, {"U12", "U23", "U31", "UNE"}, {"I1", "I2", "I3", "IN"}};
  const int conductors = disp == TVantaDisp::sdHrmULL ? 3 : 4;
  const bool limits = disp == TVantaDisp::sdHrmULE || disp == TVantaDisp::sdHrmULL;
  const QString key = k == 2 ? QStringLiteral("band") : QStringLiteral("order");
  QStringList fields{key};
  QJsonObject units;
  if (k == 2) units.insert(key, QStringLiteral("Hz"));
  for (int c = 0; c < conductors; ++c) {
    fields << QLatin1String(CConductors[g][c]);
    units.insert(fields.last(), m.FYUnit);
  }
  if (limits) {
    fields << QStringLiteral("limit");
    units.insert(fields.last(), m.FYUnit);
  }
  QJsonArray rows;
  for (int i = 0; i <= m.FHrmMaxIdx; ++i) {
    QJsonObject row{{key, k == 0 ? QJsonValue(i) : k == 1 ? QJsonValue(i + 0.5) : QJsonValue(2100 + 200 * i)}};
    for (int c = 0; c < conductors; ++c) row.insert(QLatin1String(CConductors[g][c]), Num(m.Value(T4Leiter(c), i)));
    if (limits) row.insert(QStringLiteral("limit"), Num(m.HarmLim(i)));
    rows.append(row);
  }
  if (csv) {
    PrintCsv(out, fields, rows);
    return ecDone;
  }
  QStringList lines;
  m.CopyToClip(lines);
  for (const QString& l : lines) out.Line(l);
  out.Result().insert(QStringLiteral("group"), group);
  out.Result().insert(QStringLiteral("time"), IsoTime(TimeTzFromSet(u.FtmeSet), stamp));
  out.Result().insert(QStringLiteral("fields"), QJsonArray::fromStringList(fields));
  out.Result().insert(QStringLiteral("units"), units);
  out.Result().insert(QStringLiteral("scaleMax"), double(m.FHrmMaxScl));
  out.Result().insert(QStringLiteral("rows"), rows);
  return ecDone;
}

// The phasors of the vector diagram and the load flow's phase displacements.
int Vectors(TCliSession& s) {
  TComUnit& u = s.Unit();
  const int gen = u.FRev.Gen;
  TVectorModel v;
  TLoadFlowModel lf;
  bool done = false, ok = false;
  qsizetype length = 0;
  tmStamp_t stamp;
  u.FOnStreamRecord = [&](QObject*, const TStreamRecordView& r) {
    if (r.Kind != TStreamKind::skMeasurement || done) return;
    done = true;
    stamp = r.Stamp;
    const QByteArray bytes = r.Record.toByteArray();
    length = bytes.size();
    ok = v.Feed(bytes, gen) && lf.Feed(bytes, gen);
  };
  const int since = s.RefusalCount();
  u.SendCommand(ccci::TCcci::STREAM_START, 0x01FFFFFFu);
  s.WaitFor([&] { return done || s.ConnectionLost() || s.RefusalCount() > since; });
  u.FOnStreamRecord = nullptr;
  if (!done) return s.Fail(since, QStringLiteral("live vectors"));
  if (!ok) {
    s.Out().Error(TTr::tr("Oberschwingungen: %1 Bytes, erwartet %2").arg(length).arg(HarmonicRecordLength(gen)));
    return ecRefused;
  }
  static const char* const CNames[] = {"U1E", "U2E", "U3E", "UNE", "U12", "U23", "U31", "I1", "I2", "I3"};
  QJsonObject phasors, units;
  for (int k = 0; k < 10; ++k) {
    units.insert(QLatin1String(CNames[k]), k < 7 ? QStringLiteral("V") : QStringLiteral("A"));
    const TMagniAngle m = v.MagAngle(TVecPointer(k));
    phasors.insert(QLatin1String(CNames[k]), QJsonObject{{QStringLiteral("magnitude"), Num(m.Magn)}, {QStringLiteral("angle"), Num(m.Angle)}});
    s.Out().Line(QStringLiteral("%1  %2  <%3°").arg(QLatin1String(CNames[k]), -4).arg(double(m.Magn), 10, 'f', 3).arg(double(m.Angle), 8, 'f', 2));
  }
  QJsonArray angles;
  for (int k = 0; k < 3; ++k) {
    angles.append(Num(lf.BasicAngle()[size_t(k)]));
    s.Out().Line(QStringLiteral("Phi_L%1  %2°").arg(k + 1).arg(double(lf.BasicAngle()[size_t(k)]), 0, 'f', 2));
  }
  s.Out().Result().insert(QStringLiteral("time"), IsoTime(TimeTzFromSet(u.FtmeSet), stamp));
  s.Out().Result().insert(QStringLiteral("phasors"), phasors);
  s.Out().Result().insert(QStringLiteral("units"), units);
  s.Out().Result().insert(QStringLiteral("angleUnit"), QStringLiteral("°"));
  s.Out().Result().insert(QStringLiteral("loadFlowAngles"), angles);
  return ecDone;
}

// The JSON key of an oscilloscope channel: the quantity's symbol as the
// panel and the phasors name it ("u1" -> "U1E", "uN" -> "UNE", "i2" -> "I2").
QString OscKey(const char* symbol) {
  QString key = QString::fromLatin1(symbol).toUpper();
  if (key.size() == 2 && key.startsWith(QLatin1Char('U'))) key += QLatin1Char('E');
  return key;
}

// A structure entry's name as a camelCase key ("hrm_u1E" -> "hrmU1E").
QString EntryKey(const QString& name) {
  QString key;
  bool up = false;
  for (const QChar c : name) {
    if (c == QLatin1Char('_')) {
      up = !key.isEmpty();
      continue;
    }
    key += up ? c.toUpper() : c;
    up = false;
  }
  return key;
}

// The unit of a structure's entry, from its name as the device calls it
// ("thd_u1E", "uMax_u12", "qvSum"); empty for a pure number, null where the
// name does not tell.
QString UnitOf(const QString& name) {
  const QString prefix = name.contains(QLatin1Char('_')) ? name.section(QLatin1Char('_'), 0, 0) : QString();
  const QString base = name.section(QLatin1Char('_'), -1);
  const bool volt = base.startsWith(QLatin1Char('u')), amp = base.startsWith(QLatin1Char('i'));
  if (prefix == QLatin1String("thd")) return QStringLiteral("%");
  if (prefix == QLatin1String("hph")) return QStringLiteral("°");
  if (prefix == QLatin1String("pst") || prefix == QLatin1String("plt")) return QStringLiteral("");
  // Voltage harmonics are in % of the fundamental, current harmonics in ampere.
  if (prefix == QLatin1String("hrm") || prefix == QLatin1String("ihrm")) return volt ? QStringLiteral("%") : amp ? QStringLiteral("A") : QString();
  if (base == QLatin1String("uUnbal")) return QStringLiteral("%");
  if (base.startsWith(QLatin1String("phi"))) return QStringLiteral("°");
  if (base.startsWith(QLatin1String("cosPhi")) || base.startsWith(QLatin1String("pf"))) return QStringLiteral("");
  if (base.startsWith(QLatin1Char('f')) && base != QLatin1String("fb")) return QStringLiteral("Hz");
  if (volt) return QStringLiteral("V");
  if (amp) return QStringLiteral("A");
  if (base.startsWith(QLatin1String("qv")) || base.startsWith(QLatin1Char('q')) || base.startsWith(QLatin1Char('d'))) return QStringLiteral("VAR");
  if (base.startsWith(QLatin1Char('p'))) return QStringLiteral("W");
  if (base.startsWith(QLatin1Char('s'))) return QStringLiteral("VA");
  return {};
}

// The all-values table as rows of named numbers: a row per order (or band)
// with a number per entry for the array kinds, else a row per entry with its
// name, number(s), time and unit. `fields` gets the row fields in table order,
// `units` the unit of each number field where the table has one per column.
QJsonArray TypedRows(const TStructTable& table, TVantaStrucTyp kind, const QByteArray& record, const time_tz_t& zone, QStringList& fields,
                     QJsonObject& units) {
  using K = TVantaStrucTyp;
  const QList<TStructField>& entries = table.Entries();
  QJsonArray rows;
  auto time = [&](int at) -> QJsonValue {
    const tmStamp_t stamp{GetU32At(record, at), GetU32At(record, at + 4)};
    if (stamp.Sec == 0 && stamp.Frac == 0) return QJsonValue(QJsonValue::Null);  // never set
    return IsoTime(zone, stamp);
  };
  const QString first = table.Columns().isEmpty() ? QString() : table.Columns().first().Title;
  const bool perOrder = first == QLatin1String("Harmonische") || first == QLatin1String("Phase") || first == QLatin1String("FrqBand");
  if (perOrder) {
    const bool band = kind == K::stTFrqBand;
    fields << (band ? QStringLiteral("band") : QStringLiteral("order"));
    if (band) units.insert(fields.first(), QStringLiteral("Hz"));
    for (const TStructField& f : entries) {
      fields << EntryKey(f.Symb);
      if (const QString unit = UnitOf(f.Symb); !unit.isNull()) units.insert(EntryKey(f.Symb), unit);
    }
    for (int r = 0; r < table.RowCount(); ++r) {
      QJsonObject row{{fields.first(), band ? QJsonValue(2100 + 200 * r) : kind == K::stTIHrm ? QJsonValue(r + 0.5) : QJsonValue(kind == K::stTPhase ? r + 2 : r)}};
      for (const TStructField& f : entries) row.insert(EntryKey(f.Symb), Num(F32At(record, f.Offs + 4 * r)));
      rows.append(row);
    }
    return rows;
  }
  if (kind == K::stTExtHarm) {
    // Seven conductors per order, each with the time of its extreme.
    static const char* const CConductors[] = {"u1E", "u2E", "u3E", "uNE", "u12", "u23", "u31"};
    fields << QStringLiteral("order");
    for (const char* c : CConductors) {
      fields << QLatin1String(c) << QLatin1String(c) + QStringLiteral("Time");
      units.insert(QLatin1String(c), QStringLiteral("%"));  // harmonic voltages in % of the fundamental
    }
    for (int r = 0; r < table.RowCount(); ++r) {
      QJsonObject row{{QStringLiteral("order"), r + 2}};
      for (int c = 0; c < 7; ++c) {
        const int at = entries.first().Offs + (r * 7 + c) * 12;
        row.insert(QLatin1String(CConductors[c]), Num(F32At(record, at)));
        row.insert(QLatin1String(CConductors[c]) + QStringLiteral("Time"), time(at + 4));
      }
      rows.append(row);
    }
    return rows;
  }
  fields << QStringLiteral("name");
  switch (kind) {
    case K::stDouble: fields << QStringLiteral("time"); break;
    case K::stExt_t: fields << QStringLiteral("value") << QStringLiteral("time") << QStringLiteral("unit"); break;
    case K::stPol_t: fields << QStringLiteral("magnitude") << QStringLiteral("angle") << QStringLiteral("unit"); break;
    case K::stCmpx_t: fields << QStringLiteral("real") << QStringLiteral("imaginary") << QStringLiteral("unit"); break;
    case K::stSingle: fields << QStringLiteral("value") << QStringLiteral("unit"); break;
    default: fields << QStringLiteral("values") << QStringLiteral("unit"); break;
  }
  for (const TStructField& f : entries) {
    QJsonObject row{{QStringLiteral("name"), f.Symb}};
    switch (f.Kind) {
      case K::stDouble: row.insert(QStringLiteral("time"), time(f.Offs)); break;
      case K::stExt_t:
        row.insert(QStringLiteral("value"), Num(F32At(record, f.Offs)));
        row.insert(QStringLiteral("time"), time(f.Offs + 4));
        break;
      case K::stPol_t:
        row.insert(QStringLiteral("magnitude"), Num(F32At(record, f.Offs)));
        row.insert(QStringLiteral("angle"), Num(F32At(record, f.Offs + 4)));
        break;
      case K::stCmpx_t:
        row.insert(QStringLiteral("real"), Num(F32At(record, f.Offs)));
        row.insert(QStringLiteral("imaginary"), Num(F32At(record, f.Offs + 4)));
        break;
      case K::stSingle: row.insert(QStringLiteral("value"), Num(F32At(record, f.Offs))); break;
      default: {
        // An array in a one-row layout: its numbers in order.
        QJsonArray values;
        for (int i = 0; i < f.Count; ++i) values.append(Num(F32At(record, f.Offs + 4 * i)));
        row.insert(QStringLiteral("values"), values);
      }
    }
    const QString unit = UnitOf(f.Symb);
    if (f.Kind != K::stDouble && !unit.isNull()) row.insert(QStringLiteral("unit"), unit);
    rows.append(row);
  }
  return rows;
}

// Every value of one device structure, as the all-values table shows it.
int Values(TCliSession& s, const TCliArgs& a) {
  TComUnit& u = s.Unit();
  const QList<TStructDesc> all = KnownStructs(u.FRev.Gen);
  const TStructDesc* desc = FindStruct(all, a.Value(QStringLiteral("struct")));
  if (!desc) {
    QStringList names;
    for (const TStructDesc& d : all) names << d.Name;
    s.Out().Error(TEn::tr("--struct takes one of: %1").arg(names.join(QStringLiteral(", "))));
    return ecUsage;
  }
  // Without --kind: the structure's first kind, as the tree offers it first.
  TVantaStrucTyp kind = desc->Fields.isEmpty() ? TVantaStrucTyp::stSingle : desc->Fields.first().Kind;
  const QString wanted = a.Has(QStringLiteral("kind")) ? a.Value(QStringLiteral("kind")) : StrucTypName(kind);
  bool known = false;
  for (int k = 0; k <= int(TVantaStrucTyp::stTExtHarm); ++k)
    if (StrucTypName(TVantaStrucTyp(k)).compare(wanted, Qt::CaseInsensitive) == 0) {
      kind = TVantaStrucTyp(k);
      known = true;
    }
  if (!known) {
    s.Out().Error(TEn::tr("unknown --kind '%1'").arg(wanted));
    return ecUsage;
  }
  TStructTable table;
  table.Select(*desc, kind);
  table.SetZone(TimeTzFromSet(u.FtmeSet));
  QByteArray record;
  u.FOnStreamRecord = [&](QObject*, const TStreamRecordView& r) {
    if (r.Kind == TStreamKind::skMeasurement && record.isEmpty()) record = r.Record.toByteArray();
  };
  const int since = s.RefusalCount();
  u.SendCommand(ccci::TCcci::STREAM_START, DataObjId(TDataObjKind(desc->DataObj)));
  s.WaitFor([&] { return !record.isEmpty() || s.ConnectionLost() || s.RefusalCount() > since; });
  u.FOnStreamRecord = nullptr;
  if (record.isEmpty()) return s.Fail(since, QStringLiteral("live values"));
  int rc = ecDone;
  const bool csv = CsvWanted(s, a, rc);
  if (rc != ecDone) return rc;
  const time_tz_t zone = TimeTzFromSet(u.FtmeSet);
  QStringList fields;
  QJsonObject units;
  const QJsonArray rows = TypedRows(table, kind, record, zone, fields, units);
  if (csv) {
    PrintCsv(s.Out(), fields, rows);
    return ecDone;
  }
  QStringList head;
  for (const TTableColumn& c : table.Columns()) head << c.Title;
  s.Out().Line(head.join(QLatin1Char('\t')));
  for (int r = 0; r < table.RowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < table.Columns().size(); ++c) cells << table.Cell(record, c, r);
    s.Out().Line(cells.join(QLatin1Char('\t')));
  }
  s.Out().Result().insert(QStringLiteral("struct"), desc->Name);
  s.Out().Result().insert(QStringLiteral("kind"), StrucTypName(kind));
  s.Out().Result().insert(QStringLiteral("time"), IsoTime(zone, {GetU32At(record, 4), GetU32At(record, 8)}));
  s.Out().Result().insert(QStringLiteral("fields"), QJsonArray::fromStringList(fields));
  s.Out().Result().insert(QStringLiteral("units"), units);
  s.Out().Result().insert(QStringLiteral("rows"), rows);
  return ecDone;
}

int Live(TCliSession& s, const TCliArgs& a) {
  if (a.Args[0] == QLatin1String("vectors")) return Vectors(s);
  if (a.Args[0] == QLatin1String("values")) return Values(s, a);
  if (a.Args[0] == QLatin1String("harmonics") || a.Args[0] == QLatin1String("interharmonics") || a.Args[0] == QLatin1String("bands"))
    return Bars(s, a);
  const bool panel = a.Args[0] == QLatin1String("panel");
  const bool spectrum = a.Args[0] == QLatin1String("spectrum");
  const bool follow = a.Has(QStringLiteral("follow"));
  const int count = a.Has(QStringLiteral("count")) ? a.Value(QStringLiteral("count")).toInt() : 1;
  TComUnit& u = s.Unit();
  const int gen = u.FRev.Gen;
  const time_tz_t zone = TimeTzFromSet(u.FtmeSet);
  TCliOutput& out = s.Out();
  QJsonArray records;
  QStringList problems;
  int seen = 0, delivered = 0;
  // A record goes out at once with --follow (a line of its own, the problems
  // so far with it), else into the document at the end.
  auto deliver = [&](QJsonObject record) {
    ++delivered;
    if (!follow) {
      records.append(record);
      return;
    }
    for (const QString& p : problems) out.Note(p);
    problems.clear();
    record.insert(QStringLiteral("generation"), gen);
    out.FollowLine(record);
  };
  u.FOnStreamRecord = [&](QObject*, const TStreamRecordView& r) {
    if (r.Kind != TStreamKind::skMeasurement || seen >= count) return;
    const QByteArray bytes = r.Record.toByteArray();
    const QString time = LocalTime(u, r.Stamp);
    const QString iso = IsoTime(zone, r.Stamp);
    ++seen;
    if (panel) {
      // As the window does: a record of another length is read as if zero-filled.
      if (bytes.size() != PanelRecordLength(gen))
        problems << QStringLiteral("PANEL: %1<>%2").arg(bytes.size()).arg(PanelRecordLength(gen));
      QJsonObject values, units, texts, record{{QStringLiteral("time"), iso}};
      out.Line(time);
      for (const TPanelText& t : DecodePanel(bytes, gen)) {
        values.insert(t.Symbol, t.Given ? Num(t.Value) : QJsonValue(QJsonValue::Null));
        units.insert(t.Symbol, UnitText(t.Unit));
        texts.insert(t.Symbol, t.Text);
        // Inductive or capacitive beside the number, not folded into it.
        if (t.Symbol.startsWith(QLatin1String("cosPhi")))
          record.insert(QStringLiteral("cosPhiKind") + t.Symbol.mid(6),
                        t.Sign > 0 ? QJsonValue(QStringLiteral("ind")) : t.Sign < 0 ? QJsonValue(QStringLiteral("kap"))  // untranslated: JSON values
                 : QJsonValue(QJsonValue::Null));
        out.Line(QStringLiteral("  %1 %2").arg(t.Label, -10).arg(t.Text));
      }
      record.insert(QStringLiteral("values"), values);
      record.insert(QStringLiteral("units"), units);
      record.insert(QStringLiteral("texts"), texts);
      deliver(record);
      return;
    }
    // The oscilloscope header ends with the sample count and the rate.
    const int at = gen == 0 ? 32 : 52;
    const uint32_t samples = bytes.size() >= at + 8 ? GetU32At(bytes, at) : 0;
    const uint32_t rate = bytes.size() >= at + 8 ? GetU32At(bytes, at + 4) : 0;
    QList<int> channels;
    const int carried = OscSampleSize(gen) / 4;
    const QString wanted = a.Value(QStringLiteral("channel"));
    for (const TOscChannel& c : COscChannels)
      if (c.Channel < carried && (wanted.isEmpty() || wanted.compare(QLatin1String(c.Symbol), Qt::CaseInsensitive) == 0)) channels << c.Channel;
    if (channels.isEmpty()) {
      problems << TTr::tr("Kanal %1 hat diese Gerätegeneration nicht").arg(wanted);
      return;
    }
    // The samples go per channel into the output, or into the spectrum's model.
    std::vector<QJsonArray> columns(size_t(channels.size()));
    QJsonArray offsets;
    QList<float> values;
    TCrvFFTModel m;
    m.Transform().SetPlanningFlags(64 /* FFTW_ESTIMATE: a model per record, no time to measure */);
    m.SetSampleRate(rate);
    m.SetCrvCnt(int(channels.size()));
    const int64_t t0 = TPQTimeProgs::TStoLinear(r.Stamp);
    // The model takes its capacity from the count only once the record's
    // length has confirmed it, as in the window.
    QString log;
    const bool ok = spectrum ? FillOscModel(m, bytes, gen, samples, rate, t0, channels, values, log)
                             : DecodeOsc(bytes, gen, samples, rate, t0, channels, values, [&](int64_t t, const QList<float>& v) {
                                 offsets.append(double(t - t0) / 1e9);
                                 for (int c = 0; c < v.size(); ++c) columns[size_t(c)].append(Num(v[c]));
                               });
    if (!ok) {
      problems << TTr::tr("Oszilloskop: %1 Bytes passen nicht zu %2 Werten").arg(bytes.size()).arg(samples);
      return;
    }
    QJsonArray names;
    QJsonObject units;
    for (int c : channels) {
      const TOscChannel& ch = COscChannels[size_t(c)];
      names.append(OscKey(ch.Symbol));
      units.insert(OscKey(ch.Symbol), ch.Volt ? QStringLiteral("V") : QStringLiteral("A"));
    }
    if (spectrum) {
      // Every channel in one transform.
      m.DoFFT();
      QJsonArray frequencies;
      std::vector<QJsonArray> magnitudes(size_t(channels.size()));
      double top = 0;
      for (int j = 0; j < m.GetMessCnt(); ++j)
        for (int c = 0; c < channels.size(); ++c) top = std::max(top, double(m.Store().Value(c, j)));
      out.Line(TEn::tr("%1  %2 lines, %3 Hz apart").arg(time).arg(m.GetMessCnt()).arg(m.FreqStep()));
      for (int j = 0; j < m.GetMessCnt(); ++j) {
        frequencies.append(j * m.FreqStep());
        QStringList text;
        bool shown = false;
        for (int c = 0; c < channels.size(); ++c) {
          const double v = m.Store().Value(c, j);
          magnitudes[size_t(c)].append(std::isfinite(v) ? QJsonValue(v) : QJsonValue(QJsonValue::Null));
          text << QString::number(v, 'g', 6);
          shown |= v >= top * 1e-4;  // the text lists what stands out of the noise
        }
        if (shown) out.Line(QStringLiteral("  %1 Hz  %2").arg(j * m.FreqStep(), 7, 'f', 1).arg(text.join(QLatin1Char(' '))));
      }
      QJsonObject byChannel;
      for (int c = 0; c < channels.size(); ++c) byChannel.insert(names[c].toString(), magnitudes[size_t(c)]);
      deliver(QJsonObject{{QStringLiteral("time"), iso},
                       {QStringLiteral("frequencyStep"), m.FreqStep()},
                       {QStringLiteral("channels"), names},
                       {QStringLiteral("units"), units},
                       {QStringLiteral("frequencies"), frequencies},
                       {QStringLiteral("magnitudes"), byChannel}});
      return;
    }
    out.Line(TEn::tr("%1  %2 samples at %3/s, %4 channels").arg(time).arg(samples).arg(rate).arg(channels.size()));
    QJsonObject byChannel;
    for (int c = 0; c < channels.size(); ++c) byChannel.insert(names[c].toString(), columns[size_t(c)]);
    deliver(QJsonObject{{QStringLiteral("time"), iso},
                     {QStringLiteral("sampleCount"), qint64(samples)},
                     {QStringLiteral("sampleRate"), qint64(rate)},
                     {QStringLiteral("channels"), names},
                     {QStringLiteral("units"), units},
                     {QStringLiteral("sampleOffsets"), offsets},
                     {QStringLiteral("samples"), byChannel}});
  };
  const uint32_t id = panel ? 0x04FFFFFFu : 0x08FFFFFFu;
  const int since = s.RefusalCount();
  u.SendCommand(ccci::TCcci::STREAM_START, id);
  s.WaitFor([&] { return seen >= count || s.ConnectionLost() || s.RefusalCount() > since; });
  u.FOnStreamRecord = nullptr;
  if (!follow) {
    out.Result().insert(QStringLiteral("generation"), gen);
    out.Result().insert(QStringLiteral("records"), records);
  }
  // Ctrl-C is how a follower stops: a clean end after the last whole record.
  if (seen < count && !(follow && Interrupted())) {
    for (const QString& p : problems) out.Note(p);
    return s.Fail(since, QStringLiteral("live ") + a.Args[0]);
  }
  if (delivered == 0 && !problems.isEmpty()) {
    // Not one record could be read: why is the error.
    out.Error(problems.join(QStringLiteral("; ")));
    return ecRefused;
  }
  for (const QString& p : problems) out.Note(p);
  return ecDone;
}

}  // namespace

TCliCommand LiveCommand() {
  return {QStringLiteral("live"),
          QStringLiteral("live panel|osc|spectrum [--count N] [--follow] [--channel SYMBOL] | live harmonics|interharmonics|bands [--group ULE|ULL|IL] [--csv] | live vectors | "
                         "live values --struct NAME [--kind stSingle|stDouble|stExt_t|stPol_t|stTPhase|stTHrm|stTIHrm|stTFrqBand|stTExtHarm] [--csv] (default: the first kind the structure holds)"),
          {{{QStringLiteral("count")}, true}, {{QStringLiteral("channel")}, true}, {{QStringLiteral("group")}, true},
           {{QStringLiteral("struct")}, true}, {{QStringLiteral("kind")}, true}, {{QStringLiteral("follow")}, false}, {{QStringLiteral("csv")}, false}},
          [](const TCliArgs& a) {
            static const QStringList CViews{QStringLiteral("panel"), QStringLiteral("osc"), QStringLiteral("spectrum"), QStringLiteral("harmonics"),
                                            QStringLiteral("interharmonics"), QStringLiteral("bands"), QStringLiteral("vectors"), QStringLiteral("values")};
            if (a.Args.isEmpty()) return Missing(TEn::tr("a view (%1)").arg(CViews.join(QStringLiteral(", "))));
            if (!CViews.contains(a.Args[0])) return TArgProblem::Usage(TEn::tr("'%1' is not one of %2").arg(a.Args[0], CViews.join(QStringLiteral(", "))));
            if (a.Has(QStringLiteral("group")) &&
                !QStringList{QStringLiteral("ULE"), QStringLiteral("ULL"), QStringLiteral("IL")}.contains(a.Value(QStringLiteral("group")).toUpper()))
              return TArgProblem::Usage(TEn::tr("--group takes ULE, ULL or IL"));
            if (a.Args.size() > 1) return Unexpected(a.Args[1]);
            const bool stream = QStringList{QStringLiteral("panel"), QStringLiteral("osc"), QStringLiteral("spectrum")}.contains(a.Args[0]);
            if (a.Has(QStringLiteral("follow")) && !stream) return TArgProblem::Usage(TEn::tr("--follow is for live panel, osc and spectrum"));
            if (a.Has(QStringLiteral("csv")) && (stream || a.Args[0] == QLatin1String("vectors")))
              return TArgProblem::Usage(TEn::tr("--csv is for the tables: live harmonics, interharmonics, bands and values"));
            bool ok = true;
            if (a.Has(QStringLiteral("count")) && (a.Value(QStringLiteral("count")).toInt(&ok) < 1 || !ok))
              return TArgProblem::Usage(TEn::tr("--count needs a whole number of at least 1"));
            return TArgProblem::None();
          },
          Live};
}

}  // namespace vanta::cli
