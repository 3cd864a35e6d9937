#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <memory>
#include <time.h>

#include "Sammler.h"
#include "TestSupport.h"

using namespace vanta;

TEST(NanoSecToDuration, Bands) {
  EXPECT_EQ(NanoSecToDuration(0), CMinus);
  EXPECT_EQ(NanoSecToDuration(1), QStringLiteral("1 ns"));
  EXPECT_EQ(NanoSecToDuration(2999), QStringLiteral("2999 ns"));
  EXPECT_EQ(NanoSecToDuration(3000), QStringLiteral("3 μs"));
  EXPECT_EQ(NanoSecToDuration(4560), QStringLiteral("4.6 μs"));
  EXPECT_EQ(NanoSecToDuration(2999999ull), QStringLiteral("3000 μs"));
  EXPECT_EQ(NanoSecToDuration(3000000ull), QStringLiteral("3 ms"));
  EXPECT_EQ(NanoSecToDuration(3000000000ull), QStringLiteral("3 Sek"));
  EXPECT_EQ(NanoSecToDuration(59990000000ull), QStringLiteral("60 Sek")) << "rounded by the pattern, still seconds";
  EXPECT_EQ(NanoSecToDuration(60000000000ull), QStringLiteral("1 Min"));
  EXPECT_EQ(NanoSecToDuration(90000000000ull), QStringLiteral("1.5 Min"));
  EXPECT_EQ(NanoSecToDuration(3600000000000ull), QStringLiteral("1 Std"));
  EXPECT_EQ(NanoSecToDuration(86400000000000ull), QStringLiteral("1 Tage"));
  EXPECT_EQ(NanoSecToDuration(3ull * 86400000000000ull), QStringLiteral("3 Tage"));
}

TEST(AlphaColVerlauf, Corners) {
  EXPECT_EQ(AlphaColVerlauf(600, 0), 0xFFFF0000u);
  EXPECT_EQ(AlphaColVerlauf(600, 102), 0xFFFFFF00u);  // p = 17
  EXPECT_EQ(AlphaColVerlauf(600, 198), 0xFF00FF00u);  // p = 33
  EXPECT_EQ(AlphaColVerlauf(600, 300), 0xFF00FFFFu);
  EXPECT_EQ(AlphaColVerlauf(600, 402), 0xFF0000FFu);  // p = 67
  EXPECT_EQ(AlphaColVerlauf(600, 504), 0xFFFF00FFu);  // p = 84
  EXPECT_EQ(AlphaColVerlauf(600, 600), 0xFFFF0000u);
}

TEST(AlphaColVerlauf, RampsChangeOneChannel) {
  // p = 8 (pos 48): red with green ramping up: 255 / 100 * 48 = 122.4 -> 122.
  EXPECT_EQ(AlphaColVerlauf(600, 48), 0xFFFF7A00u);
  // p = 25 (pos 150): yellow with red ramping down: 255 - 255/100*50 = 127.5 -> 128 (127.5 rounds to 128).
  EXPECT_EQ(AlphaColVerlauf(600, 150) & 0xFF00FFFFu, 0xFF00FF00u);
  EXPECT_NEAR(double((AlphaColVerlauf(600, 150) >> 16) & 0xFF), 128.0, 1.0);
  // p = 75 (pos 450): magenta with red ramping up from blue.
  const TAlphaColor c = AlphaColVerlauf(600, 450);
  EXPECT_EQ(c & 0x0000FFFFu, 0x000000FFu);
  EXPECT_NEAR(double((c >> 16) & 0xFF), 127.5, 1.0);
  // p = 92 (pos 552): magenta with blue ramping down.
  const TAlphaColor d = AlphaColVerlauf(600, 552);
  EXPECT_EQ(d & 0xFFFFFF00u, 0xFFFF0000u);
  EXPECT_LT(d & 0xFF, 255u);
}

TEST(AlphaColVerlauf, OutsideRangeIsAFixedColour) {
  EXPECT_EQ(AlphaColVerlauf(600, 700), 0xFF000000u);
  EXPECT_EQ(AlphaColVerlauf(600, -60), 0xFF000000u);
  EXPECT_EQ(AlphaColVerlauf(0, 0), 0xFF000000u);
}

TEST(GenerateAlphaColor, WheelSegments) {
  EXPECT_EQ(GenerateAlphaColor(0), 0xFFFF0000u);
  EXPECT_EQ(GenerateAlphaColor(255), 0xFFFFFF00u);
  EXPECT_EQ(GenerateAlphaColor(256), 0xFFFEFF00u);   // 254 - 0
  EXPECT_EQ(GenerateAlphaColor(510), 0xFF00FF00u);   // 254 - 254
  EXPECT_EQ(GenerateAlphaColor(511), 0xFF00FF01u);   // m = 255 -> 257 mod 256
  EXPECT_EQ(GenerateAlphaColor(512), 0xFF00FF02u);   // m = 0 -> 2
  EXPECT_EQ(GenerateAlphaColor(766), 0xFF00FEFFu);   // m = 254 -> 252 - 254 = -2 -> 254
  EXPECT_EQ(GenerateAlphaColor(1021), 0xFF0000FFu);  // m = 253 -> 256 -> 0
  EXPECT_EQ(GenerateAlphaColor(1275), 0xFFFE00FFu);  // m = 251 -> red 254
  EXPECT_EQ(GenerateAlphaColor(1276), 0xFFFF0000u);  // m = 252 -> blue 252 - 252 = 0
  EXPECT_EQ(GenerateAlphaColor(1530), 0xFFFF0002u);  // m = 250 -> blue 2
  EXPECT_EQ(GenerateAlphaColor(1531), 0xFF000000u);
  EXPECT_EQ(GenerateAlphaColor(-1), 0xFF000000u);
}

TEST(GetDirectKind, NamesCaseInsensitive) {
  EXPECT_EQ(GetDirectKind(QStringLiteral("Flash")), TDirectKind::dkflash);
  EXPECT_EQ(GetDirectKind(QStringLiteral("MASSFLASH")), TDirectKind::dkmassflash);
  EXPECT_EQ(GetDirectKind(QStringLiteral("initssh")), TDirectKind::dkInitSSH);
  EXPECT_EQ(GetDirectKind(QStringLiteral("usersetup")), TDirectKind::dkUserSetup);
  EXPECT_EQ(GetDirectKind(QStringLiteral("nothing")), TDirectKind::dkpara);
  EXPECT_EQ(GetDirectKind(QString()), TDirectKind::dkpara);
  EXPECT_EQ(GetDirectKind(QStringLiteral("dkflash")), TDirectKind::dkpara) << "the prefix is added, not expected";
}

TEST(LocalExtractToChar, FirstFieldUntrimmedRestTrimmed) {
  QString t = QStringLiteral("  a ; b ");
  EXPECT_EQ(LocalExtractToChar(t, QLatin1Char(';')), QStringLiteral("  a "));
  EXPECT_EQ(t, QStringLiteral("b"));
  QString u = QStringLiteral("  no delimiter here ");
  EXPECT_EQ(LocalExtractToChar(u, QLatin1Char(';')), QStringLiteral("no delimiter here"));
  EXPECT_TRUE(u.isEmpty());
  QString v = QStringLiteral(";x");
  EXPECT_EQ(LocalExtractToChar(v, QLatin1Char(';')), QString());
  EXPECT_EQ(v, QStringLiteral("x"));
}

TEST(TXMLRec, AddListeSplitsAtCommas) {
  TXMLRec r;
  r.Lst << QStringLiteral("old");
  r.AddListe(QStringLiteral("a,b,,c"));
  EXPECT_EQ(r.Lst, (QStringList{"old", "a", "b", "", "c"}));
  TXMLRec e;
  e.AddListe(QString());
  EXPECT_TRUE(e.Lst.isEmpty());
}

TEST(Constants, DataObjectIdsAndColours) {
  EXPECT_EQ(CDataObj.size(), 10u);
  EXPECT_EQ(DataObjId(TDataObjKind::dokFast), 0x00FFFFFFu);
  EXPECT_EQ(DataObjId(TDataObjKind::dokOszi), 0x08FFFFFFu);
  EXPECT_EQ(DataObjId(TDataObjKind::dokBinary), 10000000u);
  EXPECT_EQ(TColArr[6], 0xFF2B8B41u);
  EXPECT_EQ(DevTypeName(TDevType::devtypVantaDE), QStringLiteral("devtypVantaDE"));
  EXPECT_EQ(ScratchpadName(TCCCISratchpad::spPCAP), QStringLiteral("spPCAP"));
}

TEST(UTCToSystemTime, FollowsTheSystemZoneWithDaylightSaving) {
  qputenv("TZ", "Europe/Berlin");
  tzset();
  const QDateTime winter(QDate(2024, 1, 15), QTime(12, 0), Qt::UTC);
  const QDateTime summer(QDate(2024, 7, 15), QTime(12, 0), Qt::UTC);
  EXPECT_EQ(UTCToSystemTime(winter).time(), QTime(13, 0));
  EXPECT_EQ(UTCToSystemTime(summer).time(), QTime(14, 0));
  EXPECT_EQ(UTCToSystemTime(uint32_t(summer.toSecsSinceEpoch())).time(), QTime(14, 0));
  EXPECT_FALSE(UTCToSystemTime(QDateTime()).isValid()) << "an invalid input comes back unchanged";
}

TEST(Postpone, NeverRunsAtOnceEvenOnTheGuiThread) {
  bool ran = false;
  Postpone([&] { ran = true; });
  EXPECT_FALSE(ran);
  EXPECT_TRUE(test::SpinUntil([&] { return ran; }));
}

TEST(Postpone, KeepsOrderAndWaitsItsDelay) {
  QStringList order;
  QElapsedTimer t;
  t.start();
  qint64 delayedAt = -1;
  Postpone([&] { order << "delayed"; delayedAt = t.elapsed(); }, 150);
  Postpone([&] { order << "first"; });
  Postpone([&] { order << "second"; });
  ASSERT_TRUE(test::SpinUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (QStringList{"first", "second", "delayed"}));
  EXPECT_GE(delayedAt, 150);
}

TEST(Postpone, DroppedWhenItsContextDies) {
  bool ran = false;
  auto ctx = std::make_unique<QObject>();
  Postpone(ctx.get(), [&] { ran = true; });
  ctx.reset();
  test::SpinFor(50);
  EXPECT_FALSE(ran);
}

TEST(Postpone, FromAWorkerThreadRunsOnTheGuiThread) {
  std::atomic<QThread*> ranOn{nullptr};
  QThread* worker = QThread::create([&] { Postpone([&] { ranOn = QThread::currentThread(); }); });
  worker->start();
  worker->wait();
  delete worker;
  ASSERT_TRUE(test::SpinUntil([&] { return ranOn.load() != nullptr; }));
  EXPECT_EQ(ranOn.load(), QCoreApplication::instance()->thread());
}

TEST(Postpone, WithAContextRunsOnTheContextsThread) {
  // A client living on a worker thread (the fleet service) gets its own
  // calls back on that thread, not on the GUI thread.
  std::atomic<QThread*> ranOn{nullptr};
  QThread* seen = nullptr;
  QThread* worker = QThread::create([&] {
    seen = QThread::currentThread();
    QObject ctx;
    Postpone(&ctx, [&] { ranOn = QThread::currentThread(); });
    QElapsedTimer t;
    t.start();
    while (!ranOn.load() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  });
  worker->start();
  worker->wait();
  delete worker;
  ASSERT_NE(ranOn.load(), nullptr);
  EXPECT_EQ(ranOn.load(), seen);
  EXPECT_NE(ranOn.load(), QCoreApplication::instance()->thread());
}

TEST(SpecialFolders, FollowTheXdgFolders) {
  QTemporaryDir home;
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME"), oldData = qgetenv("XDG_DATA_HOME"),
                   oldDirs = qgetenv("XDG_DATA_DIRS");
  qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/cfg")).toLocal8Bit());
  qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
  qputenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
  QDir().mkpath(home.path() + QStringLiteral("/cfg"));
  QFile dirs(home.path() + QStringLiteral("/cfg/user-dirs.dirs"));
  ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
  dirs.write(QStringLiteral("XDG_DOCUMENTS_DIR=\"%1/Dokumente\"\nXDG_DESKTOP_DIR=\"%1/Schreibtisch\"\n")
                 .arg(home.path())
                 .toLocal8Bit());
  dirs.close();
  EXPECT_EQ(GetSpecialFolder(26), home.path() + QStringLiteral("/cfg"));
  EXPECT_EQ(GetSpecialFolder(28), home.path() + QStringLiteral("/data"));
  EXPECT_EQ(GetSpecialFolder(35), QStringLiteral("/usr/share"));
  EXPECT_EQ(GetSpecialFolder(5), home.path() + QStringLiteral("/Dokumente"));
  EXPECT_EQ(GetSpecialFolder(16), home.path() + QStringLiteral("/Schreibtisch"));
  EXPECT_EQ(GetSpecialFolder(40), QDir::homePath());
  EXPECT_EQ(GetSpecialFolder(12345), QString()) << "unknown ids name no folder";
  for (const auto& [name, old] : {std::pair{"XDG_CONFIG_HOME", oldConfig}, std::pair{"XDG_DATA_HOME", oldData},
                                   std::pair{"XDG_DATA_DIRS", oldDirs}}) {
    if (old.isEmpty())
      qunsetenv(name);
    else
      qputenv(name, old);
  }
}
