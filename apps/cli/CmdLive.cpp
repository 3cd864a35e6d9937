// vanta-cli live: the live view's figures headless: the value panel with the
// texts the window shows, and oscilloscope records.
#include <QJsonArray>
#include <QJsonObject>

#include "ByteOrder.h"
#include "CliSession.h"
#include "CrvFFTModel.h"
#include "HarmBarModel.h"
#include "PhasorModel.h"
#include "StructTable.h"
#include "LiveRecords.h"

namespace vanta::cli {

namespace {

QString LocalTime(TComUnit& u, tmStamp_t stamp) {
  const tmStamp_t local = TPQTimeProgs::TSNormalizeLocal(stamp, TimeTzFromSet(u.FtmeSet));
  return TPQTimeProgs::VantaTS_to_StrMilSec(TPQTimeProgs::TStoLinear(local));
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
  QString problem;
  bool done = false;
  u.FOnStreamRecord = [&](QObject*, const TStreamRecordView& r) {
    if (r.Kind != TStreamKind::skMeasurement || done) return;
    done = true;
    const QByteArray bytes = r.Record.toByteArray();
    std::array<QList<float>, 4> h, ih;
    const T4Leiter order[] = {T4Leiter::lt1, T4Leiter::lt2, T4Leiter::lt3, T4Leiter::lt0};
    if (k == 2) {
      if (!DecodeBands(bytes, gen, disp, h, problem)) return;
      for (int c = 0; c < 4; ++c) m.SetFrqBVal(order[c], h[size_t(c)]);
    } else {
      if (!DecodeHarmonics(bytes, gen, disp, h, ih)) {
        problem = QStringLiteral("Oberschwingungen: %1 Bytes, erwartet %2").arg(bytes.size()).arg(HarmonicRecordLength(gen));
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
  QStringList lines;
  m.CopyToClip(lines);
  QJsonArray rows;
  for (const QString& l : lines) {
    out.Line(l);
    rows.append(QJsonArray::fromStringList(l.split(QLatin1Char('\t'))));
  }
  out.Result().insert(QStringLiteral("unit"), m.FYUnit);
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
  u.FOnStreamRecord = [&](QObject*, const TStreamRecordView& r) {
    if (r.Kind != TStreamKind::skMeasurement || done) return;
    done = true;
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
    s.Out().Error(QStringLiteral("Oberschwingungen: %1 Bytes, erwartet %2").arg(length).arg(HarmonicRecordLength(gen)));
    return ecRefused;
  }
  static const char* const CNames[] = {"U1E", "U2E", "U3E", "UNE", "U12", "U23", "U31", "I1", "I2", "I3"};
  QJsonObject phasors;
  for (int k = 0; k < 10; ++k) {
    const TMagniAngle m = v.MagAngle(TVecPointer(k));
    phasors.insert(QLatin1String(CNames[k]), QJsonObject{{QStringLiteral("magnitude"), double(m.Magn)}, {QStringLiteral("angle"), double(m.Angle)}});
    s.Out().Line(QStringLiteral("%1  %2  <%3°").arg(QLatin1String(CNames[k]), -4).arg(double(m.Magn), 10, 'f', 3).arg(double(m.Angle), 8, 'f', 2));
  }
  QJsonArray angles;
  for (int k = 0; k < 3; ++k) {
    angles.append(double(lf.BasicAngle()[size_t(k)]));
    s.Out().Line(QStringLiteral("Phi_L%1  %2°").arg(k + 1).arg(double(lf.BasicAngle()[size_t(k)]), 0, 'f', 2));
  }
  s.Out().Result().insert(QStringLiteral("phasors"), phasors);
  s.Out().Result().insert(QStringLiteral("loadFlowAngles"), angles);
  return ecDone;
}

// Every value of one device structure, as the all-values table shows it.
int Values(TCliSession& s, const TCliArgs& a) {
  TComUnit& u = s.Unit();
  const QList<TStructDesc> all = KnownStructs(u.FRev.Gen);
  const TStructDesc* desc = FindStruct(all, a.Value(QStringLiteral("struct")));
  if (!desc) {
    QStringList names;
    for (const TStructDesc& d : all) names << d.Name;
    s.Out().Error(QStringLiteral("--struct takes one of: %1").arg(names.join(QStringLiteral(", "))));
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
    s.Out().Error(QStringLiteral("unknown --kind '%1'").arg(wanted));
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
  QStringList head;
  for (const TTableColumn& c : table.Columns()) head << c.Title;
  s.Out().Line(head.join(QLatin1Char('\t')));
  QJsonArray rows;
  for (int r = 0; r < table.RowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < table.Columns().size(); ++c) cells << table.Cell(record, c, r);
    s.Out().Line(cells.join(QLatin1Char('\t')));
    rows.append(QJsonArray::fromStringList(cells));
  }
  s.Out().Result().insert(QStringLiteral("columns"), QJsonArray::fromStringList(head));
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
  const int count = a.Has(QStringLiteral("count")) ? a.Value(QStringLiteral("count")).toInt() : 1;
  TComUnit& u = s.Unit();
  const int gen = u.FRev.Gen;
  TCliOutput& out = s.Out();
  QJsonArray records;
  QStringList problems;
  int seen = 0;
  u.FOnStreamRecord = [&](QObject*, const TStreamRecordView& r) {
    if (r.Kind != TStreamKind::skMeasurement || seen >= count) return;
    const QByteArray bytes = r.Record.toByteArray();
    const QString time = LocalTime(u, r.Stamp);
    ++seen;
    if (panel) {
      // As the window does: a record of another length is read as if zero-filled.
      if (bytes.size() != PanelRecordLength(gen))
        problems << QStringLiteral("PANEL: %1<>%2").arg(bytes.size()).arg(PanelRecordLength(gen));
      QJsonObject fields;
      out.Line(time);
      for (const TPanelText& t : DecodePanel(bytes, gen)) {
        fields.insert(t.Field, t.Text);
        out.Line(QStringLiteral("  %1 %2").arg(t.Label, -10).arg(t.Text));
      }
      records.append(QJsonObject{{QStringLiteral("time"), time}, {QStringLiteral("fields"), fields}});
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
      problems << QStringLiteral("Kanal %1 hat diese Gerätegeneration nicht").arg(wanted);
      return;
    }
    // The samples go as rows into the output, or into the spectrum's model.
    QJsonArray rows;
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
                                 QJsonArray row{QString::number(t - t0)};
                                 for (float f : v) row.append(double(f));
                                 rows.append(row);
                               });
    if (!ok) {
      problems << QStringLiteral("Oszilloskop: %1 Bytes passen nicht zu %2 Werten").arg(bytes.size()).arg(samples);
      return;
    }
    QJsonArray names;
    for (int c : channels) names.append(QLatin1String(COscChannels[size_t(c)].Symbol));
    if (spectrum) {
      // Every channel in one transform.
      m.DoFFT();
      QJsonArray lines;
      double top = 0;
      for (int j = 0; j < m.GetMessCnt(); ++j)
        for (int c = 0; c < channels.size(); ++c) top = std::max(top, double(m.Store().Value(c, j)));
      out.Line(QStringLiteral("%1  %2 lines, %3 Hz apart").arg(time).arg(m.GetMessCnt()).arg(m.FreqStep()));
      for (int j = 0; j < m.GetMessCnt(); ++j) {
        QJsonArray line{j * m.FreqStep()};
        QStringList text;
        bool shown = false;
        for (int c = 0; c < channels.size(); ++c) {
          const double v = m.Store().Value(c, j);
          line.append(v);
          text << QString::number(v, 'g', 6);
          shown |= v >= top * 1e-4;  // the text lists what stands out of the noise
        }
        lines.append(line);
        if (shown) out.Line(QStringLiteral("  %1 Hz  %2").arg(j * m.FreqStep(), 7, 'f', 1).arg(text.join(QLatin1Char(' '))));
      }
      records.append(QJsonObject{{QStringLiteral("time"), time},
                                 {QStringLiteral("step"), m.FreqStep()},
                                 {QStringLiteral("channels"), names},
                                 {QStringLiteral("lines"), lines}});
      return;
    }
    out.Line(QStringLiteral("%1  %2 samples at %3/s, %4 channels").arg(time).arg(samples).arg(rate).arg(channels.size()));
    records.append(QJsonObject{{QStringLiteral("time"), time},
                               {QStringLiteral("samples"), qint64(samples)},
                               {QStringLiteral("rate"), qint64(rate)},
                               {QStringLiteral("channels"), names},
                               {QStringLiteral("rows"), rows}});
  };
  const uint32_t id = panel ? 0x04FFFFFFu : 0x08FFFFFFu;
  const int since = s.RefusalCount();
  u.SendCommand(ccci::TCcci::STREAM_START, id);
  s.WaitFor([&] { return seen >= count || s.ConnectionLost() || s.RefusalCount() > since; });
  u.FOnStreamRecord = nullptr;
  out.Result().insert(QStringLiteral("generation"), gen);
  out.Result().insert(QStringLiteral("records"), records);
  for (const QString& p : problems) out.Note(p);
  if (seen < count) return s.Fail(since, QStringLiteral("live ") + a.Args[0]);
  return records.isEmpty() ? int(ecRefused) : int(ecDone);
}

}  // namespace

TCliCommand LiveCommand() {
  return {QStringLiteral("live"),
          QStringLiteral("live panel|osc|spectrum [--count N] [--channel SYMBOL] | live harmonics|interharmonics|bands [--group ULE|ULL|IL] | live vectors | "
                         "live values --struct NAME [--kind stSingle|stDouble|stExt_t|stPol_t|stTPhase|stTHrm|stTIHrm|stTFrqBand|stTExtHarm] (default: the first kind the structure holds)"),
          {{{QStringLiteral("count")}, true}, {{QStringLiteral("channel")}, true}, {{QStringLiteral("group")}, true},
           {{QStringLiteral("struct")}, true}, {{QStringLiteral("kind")}, true}},
          [](const TCliArgs& a) {
            static const QStringList CViews{QStringLiteral("panel"), QStringLiteral("osc"), QStringLiteral("spectrum"), QStringLiteral("harmonics"),
                                            QStringLiteral("interharmonics"), QStringLiteral("bands"), QStringLiteral("vectors"), QStringLiteral("values")};
            if (a.Args.isEmpty()) return Missing(QStringLiteral("a view (%1)").arg(CViews.join(QStringLiteral(", "))));
            if (!CViews.contains(a.Args[0])) return TArgProblem::Usage(QStringLiteral("'%1' is not one of %2").arg(a.Args[0], CViews.join(QStringLiteral(", "))));
            if (a.Has(QStringLiteral("group")) &&
                !QStringList{QStringLiteral("ULE"), QStringLiteral("ULL"), QStringLiteral("IL")}.contains(a.Value(QStringLiteral("group")).toUpper()))
              return TArgProblem::Usage(QStringLiteral("--group takes ULE, ULL or IL"));
            if (a.Args.size() > 1) return Unexpected(a.Args[1]);
            bool ok = true;
            if (a.Has(QStringLiteral("count")) && (a.Value(QStringLiteral("count")).toInt(&ok) < 1 || !ok))
              return TArgProblem::Usage(QStringLiteral("--count needs a whole number of at least 1"));
            return TArgProblem::None();
          },
          Live};
}

}  // namespace vanta::cli
