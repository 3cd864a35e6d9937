// The status flow, device logs, captures and the test certificate against
// the simulator, over TCP and SSH; what a device without uti.stat, a failing
// script or a refused upload leaves behind.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "CliSupport.h"

using namespace vanta::test::cli;
using vanta::test::TSimProcess;

namespace {

// One of the status document's name/value pairs.
QJsonObject Pair(const char* name, const QJsonValue& value) {
  return {{"name", QLatin1String(name)}, {"value", value}};
}

QString Scratch(const TSimProcess& sim, const QString& name) {
  return sim.Root() + QStringLiteral("/mnt/flashdrive0/data/ccci/scratchpad/") + name;
}

}  // namespace

TEST_F(CliTest, StatusShowsEveryGroupWithTheDevicesValues) {
  const TRun r = Cli({"--json", "status"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "status", o));
  EXPECT_EQ(o["plant"].toString(), "Umspannwerk Nord");
  EXPECT_EQ(o["device"].toString(), "Vanta Sim");
  EXPECT_EQ(o["firmware"].toString(), "2.10.0");
  EXPECT_EQ(o["serial"].toInteger(), 12345678);
  EXPECT_EQ(o["article"].toInteger(), 1197500);
  // The device's clock with its zone: UTC+01:00 in winter, +02:00 in summer.
  EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\+0[12]:00$")
                  .match(o["deviceTime"].toString())
                  .hasMatch())
      << o["deviceTime"].toString().toStdString();
  EXPECT_TRUE(o["upTime"].isDouble());
  const QJsonObject drives = o["drives"].toObject();
  EXPECT_EQ(drives["flash"].toObject()["totalMiB"].toInt(), 4096);
  EXPECT_EQ(drives["sd"].toObject()["usedMiB"].toInt(), 3072) << "the card is a table: shown";
  EXPECT_EQ(drives["sd"].toObject()["freePercent"].toInt(), 63);
  EXPECT_TRUE(o["ccciWorkers"].toArray().contains(Pair("ccciWorker.active", 1)));
  EXPECT_TRUE(o["addresses"].toArray().contains(Pair("eth0", "127.0.0.1")));
  EXPECT_TRUE(o["modbus"].toArray().contains(Pair("slave1.state", "connected")));
  EXPECT_TRUE(o["modbus"].toArray().contains(Pair("slave1.requests", 4711))) << "a count is a number";
  EXPECT_EQ(o["iec104"].toArray(), QJsonArray{Pair("iec104.Client1", "connected 10.0.0.20:2404")});
  EXPECT_EQ(o["iec850"].toArray().size(), 1);
  EXPECT_EQ(o["sysLoad"].toArray().size(), 2);
  EXPECT_EQ(o["recordings"].toArray().size(), 2);
  const QJsonArray ntp = o["ntp"].toArray();
  ASSERT_EQ(ntp.size(), 4);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(ntp[k].toObject()["entries"].toArray().size(), 4) << k;
  const QJsonObject time = o["timeSync"].toObject();
  EXPECT_EQ(time["utcOffset"].toInt(), 3600);
  EXPECT_TRUE(time["entries"].toArray().contains(Pair("syncSrc", "NTP")));
  // The device's clock in the time group is a time in its zone, not Unix seconds.
  QJsonValue soc;
  for (const QJsonValue& e : time["entries"].toArray())
    if (e.toObject()["name"].toString() == QLatin1String("utc.soc")) soc = e.toObject()["value"];
  EXPECT_TRUE(
      QRegularExpression("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\+0[12]:00$").match(soc.toString()).hasMatch())
      << r.Out.toStdString();
  // The script and its file stay in the scratchpad; a saved file reads the same offline.
  EXPECT_TRUE(QFile::exists(Scratch(Sim, "status.lua")));
  const QByteArray stat = ReadAll(Scratch(Sim, "stat.txt"));
  ASSERT_FALSE(stat.isEmpty());
  EXPECT_TRUE(stat.contains("plant                              Umspannwerk Nord\r\n")) << "key padded to 35, CR LF";
  const TRun parsed = RunCli({"--json", "status", "--parse", Scratch(Sim, "stat.txt")});
  QJsonObject p;
  ASSERT_TRUE(Document(parsed, 0, "status", p));
  EXPECT_TRUE(p["deviceTime"].toString().endsWith("+00:00")) << "a saved file carries no zone: UTC";
  EXPECT_EQ(p["modbus"], o["modbus"]);
  EXPECT_EQ(p["drives"], o["drives"]);
}

// A file that holds no status is refused, not shown as a device without
// serial number.
TEST(CliStatus, ParseOfAFileWithoutStatusFails) {
  QTemporaryDir dir;
  const QString path = dir.filePath("garbage.txt");
  WriteAll(path, "this is\nno status file\nat all = 42\n");
  const TRun r = RunCli({"--json", "status", "--parse", path});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 1, "error", o));
  EXPECT_EQ(o["error"].toObject()["code"].toInt(), 1);
  EXPECT_FALSE(MatchesSchema(r.Out, "status"));
}

class CliStatusExtraTest : public CliTest {
 protected:
  QStringList SimArgs() override {
    WriteAll(Extra.filePath("extra.txt"), "# routing cases\n"
                                          "plant = Werk mit  Leerzeichen\n"
                                          "time.syncSrc=DCF77\n"
                                          "time.quality=4000001\n"
                                          "time.a.very.long.key.of.more.than.thirty.five=x\n"
                                          "NTP.1.ip.addr=10.9.9.9\n");
    return {"--status-extra", Extra.filePath("extra.txt")};
  }
  QTemporaryDir Extra;
};

TEST_F(CliStatusExtraTest, DeviceValuesReachTheirPages) {
  const TRun r = Cli({"--json", "status"});
  QJsonObject o;
  ASSERT_TRUE(Document(r, 0, "status", o));
  EXPECT_EQ(o["plant"].toString(), "Werk mit  Leerzeichen");
  const QJsonObject time = o["timeSync"].toObject();
  EXPECT_EQ(time["dcfQuality"].toString(), "Gut");
  EXPECT_TRUE(time["entries"].toArray().contains(Pair("a.very.long.key.of.more.than.thirty.five", "x")));
  EXPECT_TRUE(o["addresses"].toArray().contains(Pair("1.ip.addr", "10.9.9.9"))) << "ip. is tested before NTP.1";
}

class CliNoStatTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--no-stat"}; }
};

TEST_F(CliNoStatTest, OldFirmwareShowsNothingStale) {
  WriteAll(Scratch(Sim, "stat.txt"), "plant                              Stale\r\n");
  const TRun r = Cli({"status"});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(r.Err.contains("keine Statusdatei")) << r.Err.toStdString();
  EXPECT_FALSE(r.Out.contains("Stale"));
  EXPECT_FALSE(QFile::exists(Scratch(Sim, "stat.txt"))) << "the script removed the old file first";
}

TEST_F(CliTest, CaptureStartListFetchRemove) {
  TRun r = Cli({"pcap", "start", "--file", "c1.pcap", "--time", "0:1:30", "--filter", "src@10.0.0.1", "--filter",
                "255.255.255.255", "--json"});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(o["command"].toString(), QStringLiteral("ips.pcapStart(\"emac\", \"/mnt/flashdrive0/data/c1.pcap\", \"1m30s\", "
                                                    "\"src@10.0.0.1\", \"255.255.255.255\")"));
  r = Cli({"pcap", "list"});
  ASSERT_EQ(r.Exit, 0);
  EXPECT_TRUE(r.Out.startsWith("c1.pcap  file")) << "listed right after the start: " << r.Out.toStdString();
  const QString local = Data.filePath("c1.pcap");
  r = Cli({"pcap", "get", "c1.pcap", "--out", local});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_EQ(ReadAll(local), ReadAll(Device("c1.pcap")));
  EXPECT_FALSE(QFile::exists(Scratch(Sim, "c1.pcap"))) << "the scratchpad copy is removed after the fetch";
  if (!QStandardPaths::findExecutable("tcpdump").isEmpty()) {
    QProcess dump;
    dump.start("tcpdump", {"-nr", local});
    ASSERT_TRUE(dump.waitForFinished(10000));
    EXPECT_EQ(dump.exitCode(), 0) << dump.readAllStandardError().toStdString();
    EXPECT_EQ(dump.readAllStandardOutput().count("10.0.0.2.123 > 10.0.0.1.123"), 3);
  }
  r = Cli({"pcap", "rm", "c1.pcap"});
  EXPECT_EQ(r.Exit, 0);
  EXPECT_FALSE(QFile::exists(Device("c1.pcap")));
  // What the device refuses, and names that would leave the data folder.
  r = Cli({"pcap", "start", "--time", "0:0:0"});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(r.Err.contains("bad duration")) << r.Err.toStdString();
  r = Cli({"pcap", "start", "--filter", "up@1.2.3.4"});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_EQ(Cli({"pcap", "get", "../../etc/passwd"}).Exit, 1);
  EXPECT_EQ(Cli({"pcap", "get", "missing.pcap"}).Exit, 3);
}

TEST_F(CliTest, TestCertificateIsFetchedAndStaysOnTheDevice) {
  const QString out = Data.filePath("cert.pdf");
  const TRun r = Cli({"cert", "get", "--out", out});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(ReadAll(out).startsWith("%PDF-"));
  EXPECT_TRUE(QFile::exists(Scratch(Sim, "Testcertificate/12345678-119.7500.pdf")));
  if (!QStandardPaths::findExecutable("pdftotext").isEmpty()) {
    QProcess p;
    p.start("pdftotext", {out, "-"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_TRUE(p.readAllStandardOutput().contains("12345678"));
  }
}

class CliProtocol3Test : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--protocol", "3"}; }
};

TEST_F(CliProtocol3Test, DeviceLogIsFlushedAndFetchedThroughTheScratchpad) {
  const QString out = Data.filePath("dlog.txt");
  const TRun r = Cli({"devlog", out});
  ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
  EXPECT_TRUE(ReadAll(out).contains("log flushed")) << "uti.flushLog ran before the copy";
}

TEST_F(CliTest, SecureLogIsTheOtherVariant) {
  const QString plain = Data.filePath("plain.txt"), secure = Data.filePath("secure.txt");
  ASSERT_EQ(Cli({"devlog", plain}).Exit, 0);
  ASSERT_EQ(Cli({"devlog", secure, "--secure"}).Exit, 0);
  EXPECT_FALSE(ReadAll(plain).startsWith("secure log"));
  EXPECT_TRUE(ReadAll(secure).startsWith("secure log"));
}

class CliStatusSshTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--ssh-port", "0"}; }
};

TEST_F(CliStatusSshTest, StatusThroughSsh) {
  const TRun r = Cli(QStringList{"--json"} + Ssh("operator", "operator") + QStringList{"status"});
  QJsonObject o;
  ASSERT_TRUE(OneDocument(r, o)) << r.Err.toStdString();
  EXPECT_EQ(o["serial"].toInteger(), 12345678);
  EXPECT_EQ(o["ntp"].toArray()[3].toObject()["entries"].toArray().size(), 4);
}

class CliNakScratchpadTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--fault", "nak-scratchpad"}; }
};

TEST_F(CliNakScratchpadTest, RefusedScriptUploadEndsTheRefresh) {
  const TRun r = Cli({"status"});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(r.Err.contains("NAK: Datei kann nicht gespeichert werden")) << r.Err.toStdString();
  EXPECT_TRUE(r.Out.isEmpty());
  EXPECT_FALSE(QFile::exists(Scratch(Sim, "stat.txt")));
}

class CliOldFirmwareTest : public CliTest {
 protected:
  QStringList SimArgs() override { return {"--firmware", "2.9.4", "--article", "357000101"}; }
};

TEST_F(CliOldFirmwareTest, NoSecureLogBefore2_10AndNoScriptForThisDeviceType) {
  TRun r = Cli({"devlog", Data.filePath("s.txt"), "--secure"});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_TRUE(r.Err.contains("2.10.0")) << r.Err.toStdString();
  EXPECT_FALSE(QFile::exists(Data.filePath("s.txt")));
  r = Cli({"status"});
  EXPECT_EQ(r.Exit, 3);
  EXPECT_FALSE(QFile::exists(Scratch(Sim, "status.lua"))) << "the script never reaches the device";
}

// The language follows the locale; --lang overrides it; no locale or C is German.
TEST_F(CliTest, StatusAndErrorsSpeakTheLocalesLanguage) {
  struct TCase {
    const char* Lang;
    QStringList Extra;
    bool English;
  };
  const QList<TCase> cases{{"en_US.UTF-8", {}, true},
                           {"de_DE.UTF-8", {}, false},
                           {"C.UTF-8", {}, false},
                           {"de_DE.UTF-8", {"--lang", "en"}, true},
                           {"en_US.UTF-8", {"--lang=de"}, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Lang) + " " + c.Extra.join(QLatin1Char(' ')).toStdString());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LC_ALL");
    env.remove("LC_MESSAGES");
    env.insert("LANG", QLatin1String(c.Lang));
    const TRun status = RunCli(
        QStringList{"--port", QString::number(Sim.Port), "--data-dir", Data.path()} + c.Extra + QStringList{"status"},
        30000, env);
    ASSERT_EQ(status.Exit, 0) << status.Err.toStdString();
    EXPECT_EQ(status.Out.contains(QStringLiteral("Device time          : ")), c.English) << status.Out.toStdString();
    EXPECT_EQ(status.Out.contains(QStringLiteral("Gerätezeit           : ")), !c.English) << status.Out.toStdString();
    // What the device sends stays as it sends it.
    EXPECT_TRUE(status.Out.contains("Umspannwerk Nord"));
    const TRun refused = RunCli(c.Extra + QStringList{"--port", "1", "status"}, 30000, env);
    EXPECT_EQ(refused.Exit, 2);
    EXPECT_TRUE(refused.Err.contains(c.English ? "no connection to 127.0.0.1:1" : "keine Verbindung zu 127.0.0.1:1"))
        << refused.Err.toStdString();
    // What the command line says in English (a typo, an option's range) is
    // German only where German was chosen: without a choice scripts read it as before.
    const bool germanChosen = !c.English && std::string(c.Lang) != "C.UTF-8";
    const TRun typo = RunCli(c.Extra + QStringList{"bogus"}, 30000, env);
    EXPECT_EQ(typo.Exit, 1);
    EXPECT_TRUE(typo.Err.contains(germanChosen ? "unbekannter Befehl 'bogus'" : "unknown command 'bogus'")) << typo.Err.toStdString();
  }
  // JSON keys are never translated.
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("LC_ALL", "en_US.UTF-8");
  const TRun json = RunCli({"--port", QString::number(Sim.Port), "--json", "status"}, 30000, env);
  EXPECT_TRUE(json.Out.contains("\"deviceTime\"")) << json.Out.toStdString();
  EXPECT_TRUE(MatchesSchema(json.Out, "status"));
  const TRun bad = RunCli({"--lang", "fr", "status"});
  EXPECT_EQ(bad.Exit, 1);
  EXPECT_TRUE(bad.Err.contains("--lang fr: expected de or en")) << bad.Err.toStdString();
}

// Messages for people follow --lang; what the JSON document calls a file's
// reason stays German in both, since scripts compare it.
TEST_F(CliTest, DownloadAndParameterMessagesFollowTheLanguageButNotTheDocument) {
  for (const bool english : {false, true}) {
    SCOPED_TRACE(english ? "en" : "de");
    const QStringList lang{"--lang", english ? "en" : "de"};
    const TRun missing = Cli(lang + QStringList{"events", "get", "nowhere"});
    EXPECT_EQ(missing.Exit, 3) << "a file the device does not have";
    EXPECT_TRUE(missing.Err.contains(
        english ? "not everything saved locally: 1 of 1 files missing: nowhere (not on the device)"
                : "nicht alles lokal gespeichert: 1 von 1 Dateien fehlen: nowhere (nicht auf dem Gerät)"))
        << missing.Err.toStdString();
    const TRun json = Cli(lang + QStringList{"--json", "events", "get", "nowhere"});
    QJsonObject doc;
    ASSERT_TRUE(OneDocument(json, doc));
    const QJsonArray failed = doc.value("failed").toArray();
    ASSERT_EQ(failed.size(), 1) << json.Out.toStdString();
    EXPECT_EQ(failed[0].toObject().value("reason").toString(), "nicht auf dem Gerät");
    const TRun para = RunCli(lang + QStringList{"para", "rows", Data.filePath("none.xml")});
    EXPECT_EQ(para.Exit, 1);
    EXPECT_TRUE(para.Err.contains(english ? "none.xml: file missing" : "none.xml: Datei fehlt"))
        << para.Err.toStdString();
  }
}
