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
}
