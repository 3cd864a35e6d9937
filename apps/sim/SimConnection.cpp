#include "SimConnection.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <pugixml.hpp>
#include <unistd.h>

#include "ByteOrder.h"
#include "GZip.h"
#include "Png.h"
#include "Tar.h"
#include "SimRecords.h"
#include "SaveWhole.h"

namespace vanta::sim {

using namespace vanta::ccci;

namespace {
constexpr uint32_t CMaxRequestSize = 128u * 1024 * 1024;
constexpr int CLuaChunk = 1024;
constexpr uint64_t CNtpEpochOffset = 2208988800ull;  // 1900 -> 1970

// NAK codes the device uses (the client's catalogue names them).
constexpr uint32_t CNakNoFile = nakNoFile;
constexpr uint32_t CNakCannotStore = nakCannotStore;
constexpr uint32_t CNakUnknown = nakUnknownRequest;
constexpr uint32_t CNakAccess = nakNoAccess;
constexpr uint32_t CNakBadSetup = nakBadSetup;
constexpr uint32_t CNakBadStream = nakBadStream;
constexpr uint32_t CNakNoSession = nakNoSession;
constexpr uint32_t CNakTooMany = nakTooManyConnections;
constexpr uint32_t CNakNoV5 = nakNoProtocol5;

QByteArray ReadFile(const QString& path, bool* ok) {
  QFile f(path);
  *ok = f.open(QIODevice::ReadOnly);
  return *ok ? f.readAll() : QByteArray();
}

bool WriteFileAtomic(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QString error;
  return SaveWhole(path, bytes, error);
}

// End time of a stored file as the device lists it: from the start time in
// its name (events last a second here, recordings one interval of their
// class); files without such a name use their modification time.
int64_t EndTimeOf(const QFileInfo& fi) {
  // A record file knows the span it covers.
  if (const int64_t end = RecordEndTime(fi.filePath()); end >= 0) return end;
  const QStringList parts = fi.completeBaseName().split(QLatin1Char('-'));
  bool ok = false;
  if (parts.size() >= 3 && parts[0] == QLatin1String("EVT")) {
    const int64_t start = parts[1].toLongLong(&ok);
    if (ok) return start + 1;
  }
  if (parts.size() >= 4) {
    const int64_t start = parts[2].toLongLong(&ok);
    if (ok) {
      const QString cls = parts[0];
      const int64_t len = cls == QLatin1String("10min") ? 600
                          : cls == QLatin1String("2h")  ? 7200
                          : cls == QLatin1String("10s") ? 10
                                                        : 1;
      return start + len;
    }
  }
  return fi.lastModified().toSecsSinceEpoch();
}

QByteArray NtpTimestamp(int64_t unixMs) {
  const uint64_t secs = uint64_t(unixMs / 1000) + CNtpEpochOffset;
  const uint64_t frac = (uint64_t(unixMs % 1000) << 32) / 1000;
  QByteArray out;
  for (int i = 3; i >= 0; --i) out.append(char((secs >> (8 * i)) & 0xFF));
  for (int i = 3; i >= 0; --i) out.append(char((frac >> (8 * i)) & 0xFF));
  return out;
}

uint64_t NtpSeconds(const QByteArray& ts) {
  uint64_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | uint8_t(ts[i]);
  return v;
}
}  // namespace

TSimConnection::TSimConnection(TSimDevice& device, QTcpSocket* socket, int id, QObject* parent)
    : QObject(parent), FDevice(device), FSocket(socket), FId(id), FVer(uint16_t(device.Config.Protocol)) {
  socket->setParent(this);
  socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  connect(socket, &QTcpSocket::readyRead, this, &TSimConnection::OnReadyRead);
  connect(socket, &QTcpSocket::disconnected, this, [this] { emit Finished(this); });
  Setup();
  Log(QStringLiteral("connected from %1").arg(socket->peerAddress().toString()));
}

TSimConnection::TSimConnection(TSimDevice& device, int ptyMasterFd, int id, QObject* parent)
    : QObject(parent), FDevice(device), FPty(ptyMasterFd), FId(id), FVer(uint16_t(device.Config.Protocol)) {
  FPtyNotifier = new QSocketNotifier(FPty, QSocketNotifier::Read, this);
  connect(FPtyNotifier, &QSocketNotifier::activated, this, &TSimConnection::OnReadyRead);
  Setup();
  Log(QStringLiteral("serial line ready"));
}

void TSimConnection::Setup() {
  ++FDevice.Connections;
  FCoalesceTimer.setSingleShot(true);
  FCoalesceTimer.setInterval(30);
  connect(&FCoalesceTimer, &QTimer::timeout, this, &TSimConnection::Flush);
  FRateTimer.setSingleShot(true);
  FRateTimer.setTimerType(Qt::PreciseTimer);
  connect(&FRateTimer, &QTimer::timeout, this, &TSimConnection::PumpPaced);
  FNtpTimer.setInterval(qMax(100, FDevice.Config.NtpIntervalMs));
  connect(&FNtpTimer, &QTimer::timeout, this, &TSimConnection::SendNtpRequest);
  if (FDevice.Config.TextStreamIntervalMs > 0) {
    FTextTimer.setInterval(FDevice.Config.TextStreamIntervalMs);
    connect(&FTextTimer, &QTimer::timeout, this, &TSimConnection::SendTextStream);
  }
}

TSimConnection::~TSimConnection() {
  --FDevice.Connections;
  if (FCounted) --FDevice.ActiveSessions;
}

void TSimConnection::Log(const QString& line) const {
  std::fprintf(stderr, "vanta-sim[%d]: %s\n", FId, line.toUtf8().constData());
}

ccci::THeaderContext TSimConnection::Ctx(const ccc_head_t* request) {
  THeaderContext c;
  c.Ver = FVer;
  c.FTPNAK = request ? uint16_t(request->FTPNAK & (CFlagFTP | CFlagGZ | CFlagTGZ)) : 0;
  c.SN = FDevice.Config.SerialNumber;
  c.SeqCnt = FSeq++;
  return c;
}

// ---- output with faults ------------------------------------------------------

void TSimConnection::Send(const QByteArray& frame) {
  if (FDevice.Config.Faults.Coalesce) {
    FPendingOut += frame;
    if (!FCoalesceTimer.isActive()) FCoalesceTimer.start();
    return;
  }
  Write(frame);
}

void TSimConnection::Flush() {
  const QByteArray out = FPendingOut;
  FPendingOut.clear();
  Write(out);
}

void TSimConnection::Write(const QByteArray& bytes) {
  if ((!FSocket && FPty < 0) || FClosing || FCloseWhenPaced || bytes.isEmpty()) return;
  const TSimFaults& f = FDevice.Config.Faults;
  QByteArray out = bytes;
  bool closeAfter = false;
  if (f.CloseAfterBytes >= 0 && FBytesSent + out.size() >= f.CloseAfterBytes) {
    out.truncate(qsizetype(f.CloseAfterBytes - FBytesSent));
    closeAfter = true;
  }
  FBytesSent += out.size();
  if (FDevice.Config.RateBytesPerSec > 0) {
    FPaced += out;
    FCloseWhenPaced = closeAfter;
    PumpPaced();
    return;
  }
  RawWrite(out);
  if (closeAfter) Close(QStringLiteral("fault: closing after %1 bytes").arg(FBytesSent));
}

void TSimConnection::PumpPaced() {
  if (FClosing || (!FSocket && FPty < 0)) {
    FPaced.clear();
    return;
  }
  const double rate = double(FDevice.Config.RateBytesPerSec);
  const double bucket = std::clamp(rate / 20, 64.0, 1048576.0);
  if (!FRateClock.isValid()) {
    FRateClock.start();
    FRateTokens = bucket;  // an idle link sends the first bytes at once
  } else {
    FRateTokens = std::min(bucket, FRateTokens + double(FRateClock.nsecsElapsed()) * rate / 1e9);
    FRateClock.restart();
  }
  const qsizetype n = std::min(FPaced.size(), qsizetype(FRateTokens));
  if (n > 0) {
    RawWrite(FPaced.left(n));
    FPaced.remove(0, n);
    FRateTokens -= double(n);
  }
  if (FPaced.isEmpty()) {
    if (FCloseWhenPaced) Close(QStringLiteral("fault: closing after %1 bytes").arg(FBytesSent));
    return;
  }
  const double want = std::min(double(FPaced.size()), bucket / 2);
  FRateTimer.start(std::max(1, int(std::ceil((want - FRateTokens) * 1000 / rate))));
}

void TSimConnection::RawWrite(const QByteArray& out) {
  const TSimFaults& f = FDevice.Config.Faults;
  if (FPty >= 0) {
    // A serial line: plain blocking writes on the master side.
    const qsizetype step = f.SplitWrites ? 1 : out.size();
    for (qsizetype at = 0; at < out.size();) {
      const ssize_t n = ::write(FPty, out.constData() + at, size_t(qMin(step, out.size() - at)));
      if (n <= 0) break;
      at += n;
    }
  } else if (f.SplitWrites) {
    for (char c : out) {
      FSocket->write(&c, 1);
      FSocket->flush();
    }
  } else {
    FSocket->write(out);
    FSocket->flush();
  }
}

void TSimConnection::EndSession() {
  FSession = false;
  if (FCounted) --FDevice.ActiveSessions;
  FCounted = false;
  FLua.reset();
  FStreams.clear();
  FNtpOpen = false;
  FNtpTimer.stop();
  FTextTimer.stop();
}

void TSimConnection::Close(const QString& why) {
  if (FPty >= 0) {
    // A serial line has no connection to close: the session ends, the line
    // stays. Only the close-after fault pulls the line itself.
    Log(why);
    EndSession();
    if (FDevice.Config.Faults.CloseAfterBytes >= 0 && FBytesSent >= FDevice.Config.Faults.CloseAfterBytes) {
      FClosing = true;
      FPtyNotifier->setEnabled(false);
      ::close(FPty);
      FPty = -1;
    }
    return;
  }
  if (FClosing || !FSocket) return;
  FClosing = true;
  Log(why);
  FNtpTimer.stop();
  FTextTimer.stop();
  // What the link has not carried yet is lost with the connection.
  FRateTimer.stop();
  FPaced.clear();
  FSocket->flush();
  FSocket->disconnectFromHost();
}

void TSimConnection::Nak(const ccc_head_t& h, uint32_t code, const QString& text) {
  Log(QStringLiteral("NAK %1 for CMD %2/%3/%4: %5").arg(code).arg(h.CMD).arg(h.Priv).arg(h.ExtCmd).arg(text));
  Send(BuildNak(Ctx(&h), h.CMD, h.Priv, h.ExtCmd, code, text.toLatin1()));
}

// ---- input -------------------------------------------------------------------------

void TSimConnection::OnReadyRead() {
  if (FPty >= 0) {
    char buf[65536];
    const ssize_t n = ::read(FPty, buf, sizeof buf);
    if (n <= 0) {
      // Nobody has the other end open (or it just closed): look again later
      // instead of spinning on the hang-up.
      FPtyNotifier->setEnabled(false);
      QTimer::singleShot(200, this, [this] {
        if (FPty >= 0) FPtyNotifier->setEnabled(true);
      });
      return;
    }
    FIn.append(buf, qsizetype(n));
  } else {
    if (!FSocket) return;
    FIn += FSocket->readAll();
  }
  while (FIn.size() >= CHeadSize && !FClosing) {
    ccc_head_t h;
    DecodeHead(FIn, h);
    if (h.Size < uint32_t(CHeadSize)) {
      Log(QStringLiteral("malformed frame: Size %1, %2 received bytes dropped").arg(h.Size).arg(FIn.size()));
      FIn.clear();
      return;
    }
    if (h.Size > CMaxRequestSize) {
      Close(QStringLiteral("request of %1 bytes is too large").arg(h.Size));
      return;
    }
    if (FIn.size() < qsizetype(h.Size)) return;
    const QByteArray frame = FIn.left(h.Size);
    FIn.remove(0, h.Size);
    HandleFrame(frame);
  }
}

void TSimConnection::HandleFrame(const QByteArray& frame) {
  ccc_head_t h;
  DecodeHead(frame, h);
  ++FRequests;
  const TSimFaults& f = FDevice.Config.Faults;
  if (f.UnknownCmdAfter == FRequests) {
    Log(QStringLiteral("fault: answering request %1 with an unknown CMD").arg(FRequests));
    Send(BuildHeaderOnly(Ctx(&h), 8, 0, 0));
    return;
  }
  if (f.StallCmd == -2 || f.StallCmd == h.CMD) {
    Log(QStringLiteral("fault: not answering CMD %1").arg(h.CMD));
    return;
  }
  if (h.CMD == 1) {
    HandleSession(h, frame);
    return;
  }
  if (!FSession) {
    Nak(h, CNakNoSession, QStringLiteral("Keine Sitzung"));
    return;
  }
  switch (h.CMD) {
    case 2: HandleIdentity(h); break;
    case 3: HandleSetup(h, frame); break;
    case 4: HandleStream(h, frame); break;
    case 5: HandleReadout(h, frame); break;
    case 6: HandleLua(h, frame); break;
    case 7: HandleScratchpad(h, frame); break;
    case 9: HandleNtp(h, frame); break;
    default: Nak(h, CNakUnknown, QStringLiteral("Unbekanntes Kommando")); break;
  }
}

bool TSimConnection::StartSession(const QString& user, int level, uint16_t ver) {
  if (!FCounted) {
    if (FDevice.ActiveSessions >= FDevice.Config.MaxConnections) return false;
    ++FDevice.ActiveSessions;
    FCounted = true;
  }
  FSession = true;
  FUser = user;
  FLevel = level;
  FVer = ver;
  FLua = std::make_unique<TSimLua>(FDevice, user);
  if (FDevice.Config.TextStreamIntervalMs > 0) FTextTimer.start();
  Log(QStringLiteral("session as %1 (level %2, protocol %3)").arg(user).arg(level).arg(ver));
  return true;
}

void TSimConnection::HandleSession(const ccc_head_t& h, const QByteArray& frame) {
  const std::optional<TCcci> req = IdentifyRequest(h.CMD, h.Priv, h.ExtCmd);
  if (req == TCcci::SESSION_STP) {
    Close(QStringLiteral("session stopped by the client"));
    return;
  }
  if (req == TCcci::SESSION_STR_ADV || req == TCcci::SESSION_STR_SUP) {
    const QString user = FDevice.Config.Users.empty() ? QStringLiteral("service") : FDevice.Config.Users.front().Name;
    if (!StartSession(user, req == TCcci::SESSION_STR_ADV ? 1 : 2, uint16_t(std::min(4, FDevice.Config.Protocol)))) {
      Nak(h, CNakTooMany, QStringLiteral("Zu viele Verbindungen"));
      return;
    }
    Send(BuildSessionAnswer(Ctx(&h), h.Priv, h.ExtCmd, FDevice.Config.FtpUser.toLatin1(),
                            FDevice.Config.FtpPassword.toLatin1()));
    return;
  }
  if (req == TCcci::START_S) {
    if (FDevice.Config.Protocol < 5) {
      Nak(h, CNakNoV5, QStringLiteral("Protokoll 5 nicht unterstuetzt"));
      return;
    }
    TStartRecord rec;
    if (const QString e = DecodeStartRecord(frame, rec); !e.isEmpty()) {
      Nak(h, CNakAccess, e);
      return;
    }
    const QString user = QString::fromLatin1(rec.User);
    const bool ok = rec.Method == 0   ? FDevice.CheckPassword(user, QString::fromLatin1(rec.Secret))
                    : rec.Method == 1 ? FDevice.CheckTicket(user, rec.Secret)
                                      : false;
    if (!ok) {
      Nak(h, CNakAccess, QStringLiteral("Anmeldung fehlgeschlagen"));
      return;
    }
    if (!StartSession(user, 2, 5)) {
      Nak(h, CNakTooMany, QStringLiteral("Zu viele Verbindungen"));
      return;
    }
    Send(BuildSessionAnswer(Ctx(&h), h.Priv, h.ExtCmd, {}, {}));
    return;
  }
  Nak(h, CNakUnknown, QStringLiteral("Unbekanntes Sitzungskommando"));
}

void TSimConnection::HandleIdentity(const ccc_head_t& h) {
  if (h.ExtCmd == 0)
    Send(BuildIdentityBasic(Ctx(&h), FDevice.IdentityBasic()));
  else if (h.ExtCmd == 1)
    Send(BuildIdentityFull(Ctx(&h), FDevice.IdentityFull()));
  else
    Nak(h, CNakUnknown, QStringLiteral("Unbekannte Identitaetsabfrage"));
}

// ---- setup -----------------------------------------------------------------------------

bool TSimConnection::PackSetup(const QString& local, uint16_t flags, QByteArray& out, QString& error) {
  bool ok = false;
  const QByteArray xml = ReadFile(local, &ok);
  if (!ok) {
    error = QStringLiteral("Setup-Datei fehlt");
    return false;
  }
  if (flags & CFlagTGZ) {
    std::vector<TTarEntry> entries{{QStringLiteral("setup.xml"), xml}};
    const QStringList extras = QDir(FDevice.Storage.SetupDir()).entryList({QStringLiteral("*.icd")}, QDir::Files);
    for (const QString& name : extras) {
      bool okExtra = false;
      const QByteArray data = ReadFile(FDevice.Storage.SetupDir() + QLatin1Char('/') + name, &okExtra);
      if (okExtra) entries.push_back({name, data});
    }
    error = TarGzPack(entries, out);
    return error.isEmpty();
  }
  if (flags & CFlagGZ) {
    error = GzipBytes(xml, out);
    return error.isEmpty();
  }
  out = xml;
  return true;
}

namespace {
// A device takes the values of a written setup into its own set: items the
// upload leaves out (a module the user did not send) stay as they were.
// Documents without a parameter tree are stored as they came.
QByteArray MergeSetup(const QByteArray& stored, const pugi::xml_document& upload, const QByteArray& uploadBytes) {
  pugi::xml_document current;
  const pugi::xml_node upSys = upload.select_node("//*[@name='sys']").node();
  if (!upSys || stored.isEmpty() || !current.load_buffer(stored.constData(), size_t(stored.size()))) return uploadBytes;
  const pugi::xml_node curSys = current.select_node("//*[@name='sys']").node();
  if (!curSys) return uploadBytes;
  QHash<QString, pugi::xml_node> items;
  for (const pugi::xpath_node& x : curSys.select_nodes(".//parameter | .//datapoint"))
    items.insert(QString::fromUtf8(x.node().attribute("id").value()) + QLatin1Char('@') +
                     QString::fromUtf8(x.node().parent().attribute("id").value()),
                 x.node());
  for (const pugi::xpath_node& x : upSys.select_nodes(".//parameter | .//datapoint")) {
    const pugi::xml_node up = x.node();
    const QString key = QString::fromUtf8(up.attribute("id").value()) + QLatin1Char('@') +
                        QString::fromUtf8(up.parent().attribute("id").value());
    const pugi::xml_node mine = items.value(key);
    if (!mine) continue;
    const char* field = std::strcmp(up.name(), "datapoint") == 0 ? "rec" : "value";
    pugi::xml_node target = mine.child(field);
    if (!target) continue;
    const char* text = up.child(field).child_value();
    if (target.first_child())
      target.first_child().set_value(text);
    else
      target.append_child(pugi::node_pcdata).set_value(text);
  }
  std::ostringstream out;
  current.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  const std::string str = out.str();
  return QByteArray(str.data(), qsizetype(str.size()));
}
}  // namespace

void TSimConnection::HandleSetup(const ccc_head_t& h, const QByteArray& frame) {
  const bool ftp = h.FTPNAK & CFlagFTP;
  const QString ext = (h.FTPNAK & CFlagTGZ) ? QStringLiteral(".tgz") : (h.FTPNAK & CFlagGZ) ? QStringLiteral(".gz") : QStringLiteral(".xml");
  if (h.Priv == 0 && (h.ExtCmd == 1 || h.ExtCmd == 2)) {
    QString local = FDevice.Storage.SetupDir() + QStringLiteral("/setup.xml");
    if (h.ExtCmd == 2) {
      TFileNameRequest req;
      if (const QString e = DecodeFileNameRequest(frame, req); !e.isEmpty()) return Nak(h, CNakUnknown, e);
      local = FDevice.Storage.Map(QString::fromLatin1(req.Name), FDevice.Storage.SetupDir());
      if (local.isEmpty()) return Nak(h, CNakAccess, QStringLiteral("Zugriff verweigert"));
    }
    QByteArray packed;
    QString error;
    if (!PackSetup(local, h.FTPNAK, packed, error)) return Nak(h, CNakNoFile, error);
    if (ftp) {
      const QString name = QStringLiteral("setup") + ext;
      if (!WriteFileAtomic(FDevice.Storage.FtpDir() + QLatin1Char('/') + name, packed))
        return Nak(h, CNakCannotStore, QStringLiteral("RAM-Laufwerk voll"));
      packed = (QStringLiteral("/ramdrive0/ccci/") + name).toLatin1();
    }
    Send(BuildFileAnswer(Ctx(&h), 3, 0, h.ExtCmd, packed));
    return;
  }
  if (h.Priv == 1 && h.ExtCmd == 3) {
    if (FDevice.Config.Faults.NakSetup) return Nak(h, CNakBadSetup, QStringLiteral("Parametrierung abgelehnt"));
    QByteArray payload = frame.mid(CHeadSize);
    if (ftp) {
      const QString name = QString::fromLatin1(payload.left(payload.indexOf('\0') < 0 ? payload.size() : payload.indexOf('\0')));
      const QString local = FDevice.Storage.Map(name, FDevice.Storage.FtpDir());
      bool ok = false;
      payload = local.isEmpty() ? QByteArray() : ReadFile(local, &ok);
      if (!ok) return Nak(h, CNakNoFile, QStringLiteral("Datei nicht auf dem RAM-Laufwerk"));
    }
    QByteArray xml;
    std::vector<TTarEntry> extras;
    if (h.FTPNAK & CFlagTGZ) {
      std::vector<TTarEntry> entries;
      QStringList skipped;
      if (const QString e = TarGzUnpack(payload, entries, &skipped); !e.isEmpty()) return Nak(h, CNakBadSetup, e);
      for (const QString& s : skipped) Log(QStringLiteral("setup archive: skipped %1").arg(s));
      for (TTarEntry& e : entries) {
        if (e.Name.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
          xml = e.Data;
        else
          extras.push_back(std::move(e));
      }
    } else if (h.FTPNAK & CFlagGZ) {
      if (const QString e = GunzipBytes(payload, xml, 64 * 1024 * 1024); !e.isEmpty()) return Nak(h, CNakBadSetup, e);
    } else {
      xml = payload;
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.constData(), size_t(xml.size()));
    if (xml.isEmpty() || !parsed) {
      return Nak(h, CNakBadSetup,
                 QStringLiteral("Setup-Datei fehlerhaft: %1").arg(QString::fromLatin1(parsed.description())));
    }
    bool haveStored = false;
    const QByteArray stored = ReadFile(FDevice.Storage.SetupDir() + QStringLiteral("/setup.xml"), &haveStored);
    xml = MergeSetup(haveStored ? stored : QByteArray(), doc, xml);
    if (!WriteFileAtomic(FDevice.Storage.SetupDir() + QStringLiteral("/setup.xml"), xml))
      return Nak(h, CNakCannotStore, QStringLiteral("Setup kann nicht gespeichert werden"));
    for (const TTarEntry& e : extras) WriteFileAtomic(FDevice.Storage.SetupDir() + QLatin1Char('/') + e.Name, e.Data);
    FDevice.Log(QStringLiteral("setup written by %1 (%2 bytes)").arg(FUser).arg(xml.size()));
    Send(BuildHeaderOnly(Ctx(&h), 3, 1, 3));
    return;
  }
  Nak(h, CNakUnknown, QStringLiteral("Unbekanntes Setup-Kommando"));
}

// ---- streams ---------------------------------------------------------------------------

void TSimConnection::HandleStream(const ccc_head_t& h, const QByteArray& frame) {
  uint32_t value = 0;
  if (const QString e = DecodeObjectRequest(frame, value); !e.isEmpty()) return Nak(h, CNakUnknown, e);
  if (h.ExtCmd == 1) {
    const uint32_t handle = FNextHandle++;
    FStreams.insert(handle, value);
    Send(BuildStreamStarted(Ctx(&h), handle));
  } else if (h.ExtCmd == 2) {
    if (!FStreams.contains(value)) return Nak(h, CNakBadStream, QStringLiteral("Unbekannter Stream"));
    const uint32_t obj = FStreams.value(value);
    const tmStamp_t now = FDevice.Now();
    if (obj == CBinaryObjectId) {
      TBinaryInputRecord rec;
      rec.Id = obj;
      rec.Sec = now.Sec;
      rec.Frac = now.Frac;
      rec.Ver = 1;
      rec.States = BinaryStates(uint32_t(QDateTime::currentMSecsSinceEpoch() / std::max(1, FDevice.Config.BinaryIntervalMs)),
                                FDevice.Config.BinaryInputs);
      Send(BuildBinaryInput(Ctx(&h), rec));
    } else {
      // The drift shows in the measured values; the waveform stays at the
      // nominal frequency so its periods fit the record exactly.
      QByteArray record = BuildRecord(obj == 0x08FFFFFF ? FDevice.Network : FDevice.Network.At(now.Sec), obj, now, FDevice.Config.Generation);
      const TSimFaults& f = FDevice.Config.Faults;
      if (f.RecordLength >= 0 && f.RecordLengthObj == obj) {
        // A record of the wrong length, for the client's length checks.
        record.resize(f.RecordLength, '\0');
      }
      Send(BuildFileAnswer(Ctx(&h), 4, 0, 3, record));
    }
  } else if (h.ExtCmd == CStopExtCmd) {
    FStreams.remove(value);
    Send(BuildStreamStopped(Ctx(&h)));
  } else {
    Nak(h, CNakUnknown, QStringLiteral("Unbekanntes Stream-Kommando"));
  }
}

// ---- readout ---------------------------------------------------------------------------

void TSimConnection::HandleReadout(const ccc_head_t& h, const QByteArray& frame) {
  const bool events = h.ExtCmd >= 16 && h.ExtCmd <= 19;
  const QString dir = events ? FDevice.Storage.EventDir() : FDevice.Storage.RecorderDir();
  const uint16_t op = events ? uint16_t(h.ExtCmd - 16) : h.ExtCmd;
  auto fileAnswer = [&](const QString& local, uint32_t pos) {
    bool ok = false;
    const QByteArray all = ReadFile(local, &ok);
    if (!ok) return Nak(h, CNakNoFile, QStringLiteral("Datei nicht gefunden"));
    QByteArray tail = pos < uint32_t(all.size()) ? all.mid(pos) : QByteArray();
    if (h.FTPNAK & CFlagFTP) tail = FDevice.Storage.DevicePath(local).toLatin1();
    Send(BuildFileAnswer(Ctx(&h), 5, 0, h.ExtCmd, tail));
  };
  if (h.ExtCmd == 33) {
    TRgbImage img(320, 240);
    img.Fill(0, 0, 320, 240, 0x102030);
    for (int k = 0; k < 3; ++k) {
      const int len = int(FDevice.Network.U[k] / 250.0 * 280);
      img.Fill(20, 30 + 40 * k, len, 24, k == 0 ? 0xE04040 : k == 1 ? 0x40E040 : 0x4080F0);
    }
    // The last front-panel key lights up its arrow position.
    const QString key = FDevice.LastKey;
    const int kx = key == QLatin1String("keyLeft") ? 230 : key == QLatin1String("keyRight") ? 290 : 260;
    const int ky = key == QLatin1String("keyUp") ? 170 : key == QLatin1String("keyDown") ? 220 : 195;
    img.Fill(kx - 10, ky - 10, 20, 20, key.isEmpty() ? 0x404040 : 0xFFD000);
    for (int i = 0; i < qMin(FDevice.KeyPresses, 20); ++i) img.Fill(20 + 10 * i, 200, 6, 6, 0xFFFFFF);
    Send(BuildFileAnswer(Ctx(&h), 5, 0, 33, EncodePng(img)));
    return;
  }
  if (h.ExtCmd == 34 || h.ExtCmd == 35) {
    bool ok = false;
    QByteArray log = ReadFile(FDevice.Storage.LogFile(), &ok);
    if (h.ExtCmd == 35) log = "secure log\n" + log;
    Send(BuildFileAnswer(Ctx(&h), 5, 0, h.ExtCmd, log));
    return;
  }
  if (op == 0) {  // list
    QByteArray text;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    QStringList lines;
    while (it.hasNext()) {
      it.next();
      const QFileInfo fi = it.fileInfo();
      lines << QStringLiteral("%1;%2;%3")
                   .arg(QDir(dir).relativeFilePath(fi.filePath()))
                   .arg(EndTimeOf(fi))
                   .arg(fi.size());
    }
    lines.sort();
    for (const QString& l : lines) text += l.toLatin1() + "\r\n";
    Send(BuildFileAnswer(Ctx(&h), 5, 0, h.ExtCmd, text));
    return;
  }
  if (op == 3) {  // remove all
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    FDevice.Log(QStringLiteral("%1 removed by %2").arg(events ? QStringLiteral("all events") : QStringLiteral("all recordings"), FUser));
    Send(BuildHeaderOnly(Ctx(&h), 5, 0, h.ExtCmd));
    return;
  }
  if (op == 1 || op == 2) {
    TFileNameRequest req;
    if (const QString e = DecodeFileNameRequest(frame, req); !e.isEmpty()) return Nak(h, CNakUnknown, e);
    const QString local = FDevice.Storage.Map(QString::fromLatin1(req.Name), dir);
    if (local.isEmpty() || !(local + QLatin1Char('/')).startsWith(dir + QLatin1Char('/')))
      return Nak(h, CNakAccess, QStringLiteral("Zugriff verweigert"));
    if (op == 1) return fileAnswer(local, req.Pos);
    if (!QFile::remove(local)) return Nak(h, CNakNoFile, QStringLiteral("Datei nicht gefunden"));
    Send(BuildHeaderOnly(Ctx(&h), 5, 0, h.ExtCmd));
    return;
  }
  Nak(h, CNakUnknown, QStringLiteral("Unbekanntes Auslesekommando"));
}

// ---- Lua -------------------------------------------------------------------------------

void TSimConnection::HandleLua(const ccc_head_t& h, const QByteArray& frame) {
  QByteArray statement;
  DecodeLuaText(frame, statement);
  const TSimLua::TResult r = FLua->Run(statement);
  for (qsizetype at = 0; at < r.Output.size(); at += CLuaChunk)
    Send(BuildLuaOutput(Ctx(&h), TLuaOutputKind::loChunk, r.Output.mid(at, CLuaChunk)));
  if (r.Failed) Send(BuildLuaOutput(Ctx(&h), TLuaOutputKind::loError, r.Error));
  Send(BuildLuaOutput(Ctx(&h), TLuaOutputKind::loEnd, {}));
}

// ---- scratchpad ------------------------------------------------------------------------

void TSimConnection::HandleScratchpad(const ccc_head_t& h, const QByteArray& frame) {
  const QString base = FDevice.Storage.ScratchpadDir();
  if (h.ExtCmd == 2) {
    TScratchpadUpload up;
    if (const QString e = DecodeScratchpadUpload(frame, up); !e.isEmpty()) return Nak(h, CNakUnknown, e);
    const QString local = FDevice.Storage.Map(QString::fromLatin1(up.TargetName), base);
    if (FDevice.Config.Faults.NakScratchpad) return Nak(h, CNakCannotStore, QStringLiteral("Datei kann nicht gespeichert werden"));
    if (const int64_t quota = FDevice.Config.Faults.ScratchpadQuota; quota >= 0) {
      int64_t used = 0;
      for (const QFileInfo& fi : QDir(base).entryInfoList(QDir::Files))
        if (fi.absoluteFilePath() != QFileInfo(local).absoluteFilePath()) used += fi.size();
      if (used + up.File.size() > quota) {
        Log(QStringLiteral("scratchpad full: %1 + %2 > %3 bytes").arg(used).arg(up.File.size()).arg(quota));
        return Nak(h, CNakCannotStore, QStringLiteral("Kein Platz im Scratchpad"));
      }
    }
    if (local.isEmpty() || !WriteFileAtomic(local, up.File))
      return Nak(h, CNakCannotStore, QStringLiteral("Datei kann nicht gespeichert werden"));
    Send(BuildHeaderOnly(Ctx(&h), 7, 0, 2));
    return;
  }
  TFileNameRequest req;
  if (const QString e = DecodeFileNameRequest(frame, req); !e.isEmpty()) return Nak(h, CNakUnknown, e);
  const QString local = FDevice.Storage.Map(QString::fromLatin1(req.Name), base);
  if (local.isEmpty()) return Nak(h, CNakAccess, QStringLiteral("Zugriff verweigert"));
  if (h.ExtCmd == 1) {
    bool ok = false;
    QByteArray bytes = ReadFile(local, &ok);
    if (!ok) return Nak(h, CNakNoFile, QStringLiteral("Datei nicht gefunden"));
    if (h.FTPNAK & CFlagFTP) bytes = FDevice.Storage.DevicePath(local).toLatin1();
    Send(BuildFileAnswer(Ctx(&h), 7, 0, 1, bytes));
  } else if (h.ExtCmd == 3) {
    if (!QFile::remove(local)) return Nak(h, CNakNoFile, QStringLiteral("Datei nicht gefunden"));
    Send(BuildHeaderOnly(Ctx(&h), 7, 0, 3));
  } else {
    Nak(h, CNakUnknown, QStringLiteral("Unbekanntes Scratchpad-Kommando"));
  }
}

// ---- NTP tunnel and text stream ------------------------------------------------------

void TSimConnection::HandleNtp(const ccc_head_t& h, const QByteArray& frame) {
  if (h.ExtCmd == 0) {
    FNtpOpen = true;
    Send(BuildNtpTunnel(Ctx(&h), TNtpTunnelKind::ntOpened));
    FNtpTimer.start();
    QTimer::singleShot(200, this, &TSimConnection::SendNtpRequest);
  } else if (h.ExtCmd == 1) {
    FNtpOpen = false;
    FNtpTimer.stop();
    Send(BuildNtpTunnel(Ctx(&h), TNtpTunnelKind::ntClosed));
  } else if (h.ExtCmd == 3) {
    QByteArray p;
    if (const QString e = DecodeNtpReply(frame, p); !e.isEmpty()) {
      ++FDevice.NtpBadReplies;
      FDevice.NtpLastVerdict = e;
      Log(QStringLiteral("NTP reply rejected: %1").arg(e));
      return;
    }
    const int mode = uint8_t(p[0]) & 7, version = (uint8_t(p[0]) >> 3) & 7, stratum = uint8_t(p[1]);
    const QByteArray originate = p.mid(24, 8);
    const int64_t transmit = int64_t(NtpSeconds(p.mid(40, 8))) - int64_t(CNtpEpochOffset);
    QStringList faults;
    if (mode != 4) faults << QStringLiteral("mode %1").arg(mode);
    if (version < 3 || version > 4) faults << QStringLiteral("version %1").arg(version);
    if (stratum < 1 || stratum > 15) faults << QStringLiteral("stratum %1").arg(stratum);
    if (originate != FLastNtpTransmit) faults << QStringLiteral("originate time does not match");
    if (qAbs(transmit - int64_t(FDevice.NowSec())) > 300) faults << QStringLiteral("transmit time off");
    if (faults.isEmpty()) {
      ++FDevice.NtpGoodReplies;
      FDevice.NtpLastVerdict = QStringLiteral("ok (stratum %1)").arg(stratum);
    } else {
      ++FDevice.NtpBadReplies;
      FDevice.NtpLastVerdict = faults.join(QStringLiteral(", "));
    }
    Log(QStringLiteral("NTP reply: %1").arg(FDevice.NtpLastVerdict));
  } else {
    Nak(h, CNakUnknown, QStringLiteral("Unbekanntes NTP-Kommando"));
  }
}

void TSimConnection::SendNtpRequest() {
  if (!FNtpOpen) return;
  QByteArray packet(CNtpPacketSize, '\0');
  packet[0] = char(0x23);  // LI 0, version 4, mode 3 (client)
  FLastNtpTransmit = NtpTimestamp(QDateTime::currentMSecsSinceEpoch() + FDevice.ClockOffsetSec * 1000);
  packet.replace(40, 8, FLastNtpTransmit);
  ++FDevice.NtpRequests;
  Send(BuildNtpTunnel(Ctx(), TNtpTunnelKind::ntRequest, packet));
}

void TSimConnection::SendTextStream() {
  const QString line = QStringLiteral("Messung läuft, %1 Verbindung(en), f = %2 Hz")
                           .arg(FDevice.ActiveSessions)
                           .arg(FDevice.Network.Freq, 0, 'f', 3);
  Send(BuildFileAnswer(Ctx(), 10, 0, 5, line.toLatin1()));
}

}  // namespace vanta::sim
