// /metrics of `vanta-fleet serve` on a database the test fills: the text
// follows the Prometheus exposition format 0.0.4 (checked by the rules below,
// which are themselves shown to catch broken texts) and its numbers are the
// database's. And the device states the dashboard shows, by their rule.
#include <gtest/gtest.h>

#include <QSqlQuery>

#include <QRegularExpression>
#include <QSet>
#include <cmath>

#include "FleetView.h"
#include "FleetWebSupport.h"

using namespace vanta::fleet;
using namespace vanta::test::fleetweb;

namespace {

struct TSample {
  QString Name;
  QMap<QString, QString> Labels;  // unescaped
  double Value = 0;
};

// The rules of the text format a scraper relies on. Returns what is wrong
// (empty: nothing) and the samples it read.
QStringList CheckExposition(const QByteArray& text, QList<TSample>& samples) {
  QStringList problems;
  samples.clear();
  if (!text.endsWith('\n')) problems << QStringLiteral("the text does not end with a line break");
  static const QRegularExpression metricName(QStringLiteral("^[a-zA-Z_:][a-zA-Z0-9_:]*$"));
  static const QRegularExpression labelName(QStringLiteral("^[a-zA-Z_][a-zA-Z0-9_]*$"));
  QMap<QString, QString> types;  // family -> type
  QSet<QString> helped, closed;  // families with HELP; families whose samples ended
  QString current;               // the family of the samples being read
  QSet<QString> series;
  const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
  for (int n = 0; n < lines.size(); ++n) {
    const QString& line = lines[n];
    const QString at = QStringLiteral("line %1: ").arg(n + 1);
    if (line.isEmpty()) continue;
    if (line.startsWith(QLatin1String("# HELP ")) || line.startsWith(QLatin1String("# TYPE "))) {
      const QStringList parts = line.mid(7).split(QLatin1Char(' '));
      const QString family = parts.value(0);
      if (!metricName.match(family).hasMatch()) problems << at + QStringLiteral("bad metric name '%1'").arg(family);
      if (series.contains(family) || closed.contains(family) || current == family)
        problems << at + QStringLiteral("%1 after samples of %2").arg(line.left(6), family);
      if (line.startsWith(QLatin1String("# HELP "))) {
        if (helped.contains(family)) problems << at + QStringLiteral("second HELP of %1").arg(family);
        helped.insert(family);
      } else {
        if (types.contains(family)) problems << at + QStringLiteral("second TYPE of %1").arg(family);
        const QString type = parts.value(1);
        if (!QStringList{"counter", "gauge", "histogram", "summary", "untyped"}.contains(type) || parts.size() != 2)
          problems << at + QStringLiteral("bad TYPE line");
        types.insert(family, type);
      }
      continue;
    }
    if (line.startsWith(QLatin1Char('#'))) continue;
    // name{labels} value
    TSample s;
    qsizetype i = 0;
    while (i < line.size() && line[i] != QLatin1Char('{') && line[i] != QLatin1Char(' ')) ++i;
    s.Name = line.left(i);
    if (!metricName.match(s.Name).hasMatch()) problems << at + QStringLiteral("bad metric name '%1'").arg(s.Name);
    if (i < line.size() && line[i] == QLatin1Char('{')) {
      ++i;
      while (i < line.size() && line[i] != QLatin1Char('}')) {
        const qsizetype eq = line.indexOf(QLatin1Char('='), i);
        if (eq < 0) {
          problems << at + QStringLiteral("label without '='");
          break;
        }
        const QString name = line.mid(i, eq - i);
        if (!labelName.match(name).hasMatch()) problems << at + QStringLiteral("bad label name '%1'").arg(name);
        i = eq + 1;
        if (i >= line.size() || line[i] != QLatin1Char('"')) {
          problems << at + QStringLiteral("label value not quoted");
          break;
        }
        ++i;
        QString value;
        bool closedQuote = false;
        while (i < line.size()) {
          const QChar c = line[i++];
          if (c == QLatin1Char('"')) {
            closedQuote = true;
            break;
          }
          if (c == QLatin1Char('\\')) {
            const QChar e = i < line.size() ? line[i++] : QChar();
            if (e == QLatin1Char('\\'))
              value += QLatin1Char('\\');
            else if (e == QLatin1Char('"'))
              value += QLatin1Char('"');
            else if (e == QLatin1Char('n'))
              value += QLatin1Char('\n');
            else
              problems << at + QStringLiteral("unknown escape '\\%1'").arg(e);
          } else {
            value += c;
          }
        }
        if (!closedQuote) {
          problems << at + QStringLiteral("label value not closed");
          break;
        }
        if (s.Labels.contains(name)) problems << at + QStringLiteral("label %1 twice").arg(name);
        s.Labels.insert(name, value);
        if (i < line.size() && line[i] == QLatin1Char(','))
          ++i;
        else if (i < line.size() && line[i] != QLatin1Char('}')) {
          problems << at + QStringLiteral("junk after a label value");
          break;
        }
      }
      if (i >= line.size()) {
        problems << at + QStringLiteral("labels not closed");
        continue;
      }
      ++i;  // '}'
    }
    if (i >= line.size() || line[i] != QLatin1Char(' ')) {
      problems << at + QStringLiteral("no value");
      continue;
    }
    const QStringList rest = line.mid(i + 1).split(QLatin1Char(' '));
    bool ok = false;
    const QString v = rest.value(0);
    s.Value = v == QLatin1String("+Inf") ? INFINITY : v == QLatin1String("-Inf") ? -INFINITY : v.toDouble(&ok);
    if (!ok && !v.endsWith(QLatin1String("Inf")) && v != QLatin1String("NaN"))
      problems << at + QStringLiteral("bad value '%1'").arg(v);
    if (rest.size() > 2) problems << at + QStringLiteral("junk after the value");
    // Which family the sample belongs to: a histogram's series carry suffixes.
    QString family = s.Name;
    for (const char* suffix : {"_bucket", "_sum", "_count"}) {
      const QString base = s.Name.chopped(std::min<qsizetype>(s.Name.size(), qstrlen(suffix)));
      if (s.Name.endsWith(QLatin1String(suffix)) && types.value(base) == QLatin1String("histogram")) family = base;
    }
    if (!types.contains(family)) problems << at + QStringLiteral("sample of %1 without TYPE before it").arg(family);
    if (!helped.contains(family)) problems << at + QStringLiteral("sample of %1 without HELP before it").arg(family);
    if (family != current) {
      if (closed.contains(family)) problems << at + QStringLiteral("samples of %1 not together").arg(family);
      if (!current.isEmpty()) closed.insert(current);
      current = family;
    }
    if (types.value(family) == QLatin1String("counter") && s.Value < 0)
      problems << at + QStringLiteral("negative counter");
    QStringList key{s.Name};
    for (auto it = s.Labels.begin(); it != s.Labels.end(); ++it) key << it.key() + QLatin1Char('=') + it.value();
    if (series.contains(key.join(QLatin1Char('\x1f')))) problems << at + QStringLiteral("series twice: %1").arg(line);
    series.insert(key.join(QLatin1Char('\x1f')));
    series.insert(family);
    samples << s;
  }
  // Histograms: buckets cumulative in the order of their bounds, the last +Inf, equal to _count.
  for (auto it = types.begin(); it != types.end(); ++it) {
    if (it.value() != QLatin1String("histogram")) continue;
    double lastLe = -INFINITY, lastCount = 0, count = -1;
    bool sum = false, inf = false;
    for (const TSample& s : samples) {
      if (s.Name == it.key() + QStringLiteral("_bucket")) {
        if (!s.Labels.contains(QStringLiteral("le"))) problems << QStringLiteral("%1: bucket without le").arg(it.key());
        const QString leText = s.Labels.value(QStringLiteral("le"));
        const double le = leText == QLatin1String("+Inf") ? INFINITY : leText.toDouble();
        if (inf) problems << QStringLiteral("%1: bucket after +Inf").arg(it.key());
        if (le <= lastLe) problems << QStringLiteral("%1: bounds not rising at le=%2").arg(it.key(), leText);
        if (s.Value < lastCount)
          problems << QStringLiteral("%1: buckets not cumulative at le=%2").arg(it.key(), leText);
        inf = std::isinf(le);
        lastLe = le;
        lastCount = s.Value;
      } else if (s.Name == it.key() + QStringLiteral("_count")) {
        count = s.Value;
      } else if (s.Name == it.key() + QStringLiteral("_sum")) {
        sum = true;
      }
    }
    if (!inf) problems << QStringLiteral("%1: no le=\"+Inf\" bucket").arg(it.key());
    if (!sum) problems << QStringLiteral("%1: no _sum").arg(it.key());
    if (count < 0)
      problems << QStringLiteral("%1: no _count").arg(it.key());
    else if (inf && count != lastCount)
      problems << QStringLiteral("%1: +Inf bucket %2 but _count %3").arg(it.key()).arg(lastCount).arg(count);
  }
  return problems;
}

double Value(const QList<TSample>& samples, const QString& name, const QMap<QString, QString>& labels = {}) {
  for (const TSample& s : samples)
    if (s.Name == name && s.Labels == labels) return s.Value;
  ADD_FAILURE() << "no sample " << name.toStdString();
  return NAN;
}

class FleetWebDb : public TFilledFleetTest {
 protected:
  void SetUp() override {
    TFilledFleetTest::SetUp();
    QString error;
    ASSERT_TRUE(Db.Open(DbUrl(), error)) << error.toStdString();
  }
  TFleetDb Db;
};

}  // namespace

TEST(FleetMetricsChecker, CatchesWhatAScraperWouldRefuse) {
  QList<TSample> s;
  const QByteArray good =
      "# HELP a_total A.\n# TYPE a_total counter\na_total 3\n"
      "# HELP h H.\n# TYPE h histogram\nh_bucket{le=\"1\"} 1\nh_bucket{le=\"+Inf\"} 2\nh_sum 4\nh_count 2\n";
  EXPECT_EQ(CheckExposition(good, s), QStringList());
  EXPECT_EQ(s.size(), 5);
  const struct {
    const char* Text;
    const char* Problem;
  } bad[] = {
      {"a 1\n# HELP a A.\n# TYPE a gauge\n", "without TYPE"},
      {"# HELP a A.\n# TYPE a gauge\na{x=\"q\"q\"} 1\n", "junk after a label value"},
      {"# HELP a A.\n# TYPE a gauge\na{x=\"a\\tb\"} 1\n", "unknown escape"},
      {"# HELP 1a A.\n# TYPE 1a gauge\n1a 1\n", "bad metric name"},
      {"# HELP a A.\n# TYPE a gauge\na{x=\"1\"} 1\na{x=\"1\"} 2\n", "series twice"},
      {"# HELP h H.\n# TYPE h histogram\nh_bucket{le=\"1\"} 3\nh_bucket{le=\"+Inf\"} 2\nh_sum 4\nh_count 2\n",
       "not cumulative"},
      {"# HELP h H.\n# TYPE h histogram\nh_bucket{le=\"1\"} 1\nh_bucket{le=\"+Inf\"} 2\nh_sum 4\nh_count 3\n",
       "but _count"},
      {"# HELP h H.\n# TYPE h histogram\nh_bucket{le=\"1\"} 1\nh_sum 4\nh_count 1\n", "no le=\"+Inf\""},
      {"# HELP a A.\n# TYPE a counter\na -1\n", "negative counter"},
      {"# HELP a A.\n# TYPE a gauge\na 1\n# HELP b B.\n# TYPE b gauge\nb 1\na{x=\"2\"} 1\n", "not together"},
      {"# HELP a A.\n# TYPE a gauge\na 1", "line break"},
  };
  for (const auto& b : bad) {
    const QStringList problems = CheckExposition(QByteArray(b.Text), s);
    EXPECT_TRUE(problems.join(QLatin1Char('|')).contains(QLatin1String(b.Problem)))
        << b.Text << "\n -> " << problems.join(QLatin1Char('|')).toStdString();
  }
}

TEST_F(FleetWebDb, MetricsFollowTheFormatAndCountWhatTheDatabaseHolds) {
  QString error;
  const QByteArray text = MetricsText(Db, Now, error);
  ASSERT_FALSE(text.isEmpty()) << error.toStdString();
  QList<TSample> samples;
  EXPECT_EQ(CheckExposition(text, samples), QStringList()) << text.toStdString();

  EXPECT_EQ(Value(samples, QStringLiteral("vanta_fleet_devices")), 6);
  for (auto it = Filled.States.begin(); it != Filled.States.end(); ++it) {
    double up = NAN;
    for (const TSample& s : samples)
      if (s.Name == QLatin1String("vanta_fleet_device_up") &&
          s.Labels.value(QStringLiteral("serial")) == QString::number(it.key()))
        up = s.Value;
    EXPECT_EQ(up, it.value() == QLatin1String("up") ? 1 : 0) << it.key();
  }
  // The device never reached has no serial number yet and counts as not up.
  EXPECT_EQ(Value(samples, QStringLiteral("vanta_fleet_device_up"),
                  {{QStringLiteral("serial"), QString()}, {QStringLiteral("name"), Filled.MarkupName}}),
            0);
  // A quote, a backslash and a line break in a name arrive unchanged once unescaped.
  EXPECT_EQ(Value(samples, QStringLiteral("vanta_fleet_device_up"),
                  {{QStringLiteral("serial"), QStringLiteral("30005")}, {QStringLiteral("name"), Filled.OddName}}),
            0);
  EXPECT_TRUE(text.contains("name=\"Feld \\\"Nord\\\"\\\\Süd\\nReihe 2\"")) << text.toStdString();

  EXPECT_EQ(Value(samples, QStringLiteral("vanta_fleet_readout_bytes_total")), double(Filled.BytesTotal));
  EXPECT_EQ(Value(samples, QStringLiteral("vanta_fleet_readout_failures_total")), double(Filled.FailedRuns));
  EXPECT_EQ(Filled.FailedRuns, 3);
  EXPECT_DOUBLE_EQ(Value(samples, QStringLiteral("vanta_fleet_last_success_timestamp_seconds"),
                         {{QStringLiteral("serial"), QStringLiteral("30001")}}),
                   double(Filled.LastSuccess30001.toMSecsSinceEpoch()) / 1000.0);

  // Every bucket holds the runs no longer than its bound, counted here from the durations the test wrote.
  for (const double le : RunDurationBuckets()) {
    const qsizetype want =
        std::count_if(Filled.Durations.begin(), Filled.Durations.end(), [le](double d) { return d <= le; });
    EXPECT_EQ(Value(samples, QStringLiteral("vanta_fleet_run_duration_seconds_bucket"),
                    {{QStringLiteral("le"), QString::number(le)}}),
              double(want))
        << "le=" << le;
  }
  EXPECT_EQ(Value(samples, QStringLiteral("vanta_fleet_run_duration_seconds_count")), double(Filled.Durations.size()));
  double sum = 0;
  for (const double d : Filled.Durations) sum += d;
  EXPECT_NEAR(Value(samples, QStringLiteral("vanta_fleet_run_duration_seconds_sum")), sum, 0.01);
  // The run still under way is in no bucket; the one of 4000 s only in +Inf.
  EXPECT_EQ(Value(samples, QStringLiteral("vanta_fleet_run_duration_seconds_bucket"),
                  {{QStringLiteral("le"), QStringLiteral("3600")}}),
            double(Filled.Durations.size() - 1));
}

// The state of every filled device, read back through ReadHealth, is
// FleetWebTest.DevicesListEveryDeviceWithItsHealth's; here the rule at its
// edges, on one row.
TEST(FleetDeviceState, FollowsTheLastRunAndTwiceTheInterval) {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  TDeviceRow d;
  d.EverySeconds = 600;
  d.LastContact = now.addSecs(-1200);
  const TRunView ok{1, QStringLiteral("ok"), now, now, QString()};
  const TRunView failed{2, QStringLiteral("failed"), now, now, QString()};
  EXPECT_EQ(StateOf(d, ok, now), TDeviceState::dsUp) << "exactly twice the interval is still up";
  d.LastContact = now.addSecs(-1201);
  EXPECT_EQ(StateOf(d, ok, now), TDeviceState::dsDown);
  d.LastContact = now;
  EXPECT_EQ(StateOf(d, failed, now), TDeviceState::dsDown);
  EXPECT_EQ(StateOf(d, std::nullopt, now), TDeviceState::dsNever);
  d.Paused = true;
  EXPECT_EQ(StateOf(d, ok, now), TDeviceState::dsPaused);
}

TEST_F(FleetWebDb, DevicesEnteredTwiceOrNamedAlikeGiveOneSeriesEach) {
  {
    TFleetFiller more(DbFile(), Now);
    // Two devices never reached, with one name.
    more.Device(QStringLiteral("Reserve"), QStringLiteral("10.9.0.1"), 900);
    more.Device(QStringLiteral("Reserve"), QStringLiteral("10.9.0.2"), 900);
    // One device entered under two addresses: one serial number, one name.
    TDeviceRow a = more.Device(QStringLiteral("Doppelt"), QStringLiteral("10.9.0.3"), 900);
    TDeviceRow b = more.Device(QStringLiteral("Doppelt"), QStringLiteral("doppelt.example"), 900);
    more.Contact(a, 40001, 60);
    more.Contact(b, 40001, 30);
    more.Run(a, 100, 1.0, TRunResult::rrFailed, 0);
    more.Run(b, 50, 1.0, TRunResult::rrOk, 10);
  }
  QSqlQuery q(Db.Db());
  ASSERT_TRUE(q.exec(QStringLiteral("UPDATE devices SET last_success = '%1' WHERE serial = 40001")
                         .arg(IsoUtc(Now.addSecs(-30), true))));
  QString error;
  const QByteArray text = MetricsText(Db, Now, error);
  ASSERT_FALSE(text.isEmpty()) << error.toStdString();
  QList<TSample> samples;
  EXPECT_EQ(CheckExposition(text, samples), QStringList()) << text.toStdString();
  int reserve = 0, twice = 0;
  for (const TSample& s : samples) {
    if (s.Name != QLatin1String("vanta_fleet_device_up")) continue;
    reserve += s.Labels.value(QStringLiteral("name")).startsWith(QLatin1String("Reserve (10.9.0.")) ? 1 : 0;
    if (s.Labels.value(QStringLiteral("serial")) == QLatin1String("40001")) {
      ++twice;
      EXPECT_EQ(s.Value, 1) << "up when either of its rows is";
    }
  }
  EXPECT_EQ(reserve, 2) << "told apart by their addresses";
  EXPECT_EQ(twice, 1);
}
