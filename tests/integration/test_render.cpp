// vanta-render: the time chart drawn off screen from a CSV file and from a
// recording, with the scales it drew; bad input refused with a reason.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <tuple>

#include "RecordFile.h"

namespace {
struct TOut {
  int Exit = -1;
  QByteArray Out, Err;
};
TOut Render(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(VANTA_RENDER_PATH), args);
  p.waitForFinished(30000);
  return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}
}  // namespace

TEST(Render, CsvScalesAndImage) {
  QTemporaryDir dir;
  QFile csv(dir.filePath("t.csv"));
  ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
  csv.write("time,u1 [V],i1 [A]\n0,0,0\n0.001,100,5\n0.002,200,10\n0.003,150,7\n0.004,-50,-3\n0.005,-200,-9\n");
  csv.close();
  const TOut r = Render({QStringLiteral("time"), QStringLiteral("--in"), csv.fileName(), QStringLiteral("--png"), dir.filePath("t.png"),
                         QStringLiteral("--width"), QStringLiteral("800"), QStringLiteral("--height"), QStringLiteral("400"),
                         QStringLiteral("--json")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QJsonObject o = QJsonDocument::fromJson(r.Out).object();
  EXPECT_EQ(o["records"].toInt(), 6);
  const QJsonObject t = o["time"].toObject();
  EXPECT_EQ(t["stepNs"].toString(), QStringLiteral("1000000")) << "5 ms: below ten 1 ms steps";
  const QJsonArray lines = t["lines"].toArray();
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0].toObject()["label"].toString(), QStringLiteral("00:00:00.001"));
  const QJsonArray regions = o["regions"].toArray();
  ASSERT_EQ(regions.size(), 2) << "volts and amperes in regions of their own";
  EXPECT_EQ(regions[0].toObject()["step"].toDouble(), 40.0) << "-200 .. 200 V";
  EXPECT_EQ(regions[1].toObject()["min"].toDouble(), -10.0) << "-9 A rounded outward";
  const QImage image(dir.filePath("t.png"));
  EXPECT_EQ(image.size(), QSize(800, 400));
}

TEST(Render, RecordingAndBadInput) {
  QTemporaryDir dir;
  vanta::TContextHeader ctx;
  ctx.Class = QStringLiteral("10min");
  ctx.Channels = {{1, 0, QStringLiteral("V"), QStringLiteral("U L1")}};
  vanta::TRecordWriter w(vanta::TRecordKind::rkRecording, {1, 0, false, {}, {}, {}}, ctx);
  for (int i = 0; i < 144; ++i) w.Add(vanta::TRecRow{{1764547200u + uint32_t(i) * 600, 0}, {230.0f + float(i % 7)}});
  QString error;
  ASSERT_TRUE(w.Save(dir.filePath("day.log"), error));
  TOut r = Render({QStringLiteral("time"), QStringLiteral("--in"), dir.filePath("day.log"), QStringLiteral("--png"), dir.filePath("d.png"),
                   QStringLiteral("--json")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  const QJsonObject o = QJsonDocument::fromJson(r.Out).object();
  EXPECT_EQ(o["time"].toObject()["stepNs"].toString(), QStringLiteral("21600000000000")) << "a day of 10-minute rows: a 6 h grid";
  EXPECT_EQ(o["time"].toObject()["lines"].toArray()[0].toObject()["label"].toString(), QStringLiteral("01.12. 06:00"));
  QFile bad(dir.filePath("bad.csv"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("time,u1 [V]\n0,1\nx\n");
  bad.close();
  r = Render({QStringLiteral("time"), QStringLiteral("--in"), bad.fileName(), QStringLiteral("--png"), dir.filePath("b.png")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(r.Err.contains("bad.csv:3")) << r.Err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath("b.png")));
  r = Render({QStringLiteral("time"), QStringLiteral("--in"), dir.filePath("none.csv"), QStringLiteral("--png"), dir.filePath("n.png")});
  EXPECT_EQ(r.Exit, 1);
  r = Render({QStringLiteral("spectrum"), QStringLiteral("--in"), bad.fileName(), QStringLiteral("--png"), dir.filePath("n.png")});
  EXPECT_EQ(r.Exit, 1);
  // A mistyped view or group is refused, not drawn as the default one.
  for (const auto& [option, value, told] : {std::tuple{"--view", "harmonic", "--view takes"}, {"--group", "UL", "--group takes"}}) {
    r = Render({QStringLiteral("bars"), QStringLiteral("--in"), bad.fileName(), QStringLiteral("--png"), dir.filePath("v.png"),
                QLatin1String(option), QLatin1String(value)});
    EXPECT_EQ(r.Exit, 1) << option;
    EXPECT_TRUE(r.Err.contains(told)) << r.Err.toStdString();
  }
  EXPECT_FALSE(QFile::exists(dir.filePath("v.png")));
}

TEST(Render, SpectrumBarsAndVectors) {
  QTemporaryDir dir;
  {
    QFile csv(dir.filePath("wave.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    QByteArray text = "time,u1 [V]\n";
    for (int i = 0; i < 4096; ++i) {
      const double t = i / 40960.0;
      text += QByteArray::number(t, 'g', 12) + ',' +
              QByteArray::number(230 * std::sqrt(2.0) * std::sin(2 * M_PI * 50 * t) + 5 * std::sqrt(2.0) * std::sin(2 * M_PI * 150 * t), 'g', 12) + '\n';
    }
    csv.write(text);
  }
  TOut r = Render({QStringLiteral("fft"), QStringLiteral("--in"), dir.filePath("wave.csv"), QStringLiteral("--png"), dir.filePath("f.png"), QStringLiteral("--json")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  QJsonObject o = QJsonDocument::fromJson(r.Out).object();
  EXPECT_NEAR(o["step"].toDouble(), 10.0, 1e-6);
  const QJsonArray top = o["curves"].toArray()[0].toObject()["top"].toArray();
  EXPECT_NEAR(top[0].toArray()[0].toDouble(), 50.0, 1e-6);
  EXPECT_NEAR(top[0].toArray()[1].toDouble(), 230.0, 0.01);
  EXPECT_NEAR(top[1].toArray()[0].toDouble(), 150.0, 1e-6);
  EXPECT_NEAR(top[1].toArray()[1].toDouble(), 5.0, 0.01);
  {
    QFile csv(dir.filePath("h.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    QByteArray text = "order,L1,L2,L3,N\n";
    for (int h = 0; h <= 50; ++h) text += QByteArray::number(h) + (h == 1 ? ",100,100,100,0\n" : h == 5 ? ",3,3.1,2.9,0\n" : ",0.1,0.1,0.1,0\n");
    csv.write(text);
  }
  r = Render({QStringLiteral("bars"), QStringLiteral("--in"), dir.filePath("h.csv"), QStringLiteral("--png"), dir.filePath("b.png"), QStringLiteral("--json")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  o = QJsonDocument::fromJson(r.Out).object();
  EXPECT_EQ(o["scaleMax"].toDouble(), 10.0) << "voltage harmonics from order 2, never below 10";
  EXPECT_EQ(o["first"].toInt(), 2);
  r = Render({QStringLiteral("bars"), QStringLiteral("--view"), QStringLiteral("bands"), QStringLiteral("--in"), dir.filePath("h.csv"),
              QStringLiteral("--png"), dir.filePath("x.png")});
  EXPECT_EQ(r.Exit, 1) << "51 rows are no 35 bands";
  EXPECT_TRUE(r.Err.contains("35 rows expected"));
  {
    QFile csv(dir.filePath("v.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("name,magnitude,angle\nU1E,230,0\nU2E,231,-120\nU3E,229,120\nUNE,0.5,0\nU12,399,30\nU23,398,-90\nU31,397,150\nI1,10,-30\nI2,11,-150\nI3,12,90\n");
  }
  r = Render({QStringLiteral("vectors"), QStringLiteral("--in"), dir.filePath("v.csv"), QStringLiteral("--png"), dir.filePath("v.png"), QStringLiteral("--json")});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  o = QJsonDocument::fromJson(r.Out).object();
  const QJsonArray ends = o["unitEnds"].toArray();
  EXPECT_NEAR(ends[0].toArray()[0].toDouble(), 1.0, 1e-9) << "0 degrees points right";
  EXPECT_NEAR(ends[9].toArray()[1].toDouble(), -1.0, 1e-9) << "90 degrees points up (screen y down)";
  EXPECT_FALSE(QImage(dir.filePath("v.png")).isNull());
}
