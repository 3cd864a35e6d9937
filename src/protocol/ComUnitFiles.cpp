// File services: setup, readout and scratchpad answers, archives, FTP, the
// local data folders and the language-file check after connecting.
#include <memory>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "ComUnit.h"
#include "DeviceTime.h"
#include "GZip.h"
#include "LogFormat.h"
#include "Tar.h"
#include "SaveWhole.h"
#include "Language.h"

namespace vanta {

using namespace ccci;

namespace {
const QString CDeviceScratchpad = QStringLiteral("flashdrive0/data/ccci/scratchpad/");
// Built before the language is chosen: translated where it is shown.
const char* const CNewLanguageFilesText =
    QT_TRANSLATE_NOOP("TTr", "Auf dem Gerät wurden neue Sprachdateien gefunden. Sollen diese jetzt heruntergeladen werden?");

QString Folder(const QString& f) {
  if (f.isEmpty() || f.endsWith(QLatin1Char('/')) || f.endsWith(QLatin1Char('\\'))) return f;
  return f + QLatin1Char('/');
}

QString WithExtension(const QString& name, const QString& ext) {
  const QFileInfo fi(name);
  const QString base = fi.completeBaseName().isEmpty() ? name : fi.completeBaseName();
  return base + ext;
}

bool SaveBytes(const QString& path, const QByteArray& bytes, QString& error) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (SaveWhole(path, bytes, error)) return true;
  error = error.mid(path.size() + 2);  // the caller names the file itself
  return false;
}
}  // namespace

QString ExtractUnixFileName(const QString& path) { return path.section(QLatin1Char('/'), -1); }

QString ExtractUnixFilePath(const QString& path) {
  const qsizetype at = path.lastIndexOf(QLatin1Char('/'));
  return at < 0 ? QString() : path.left(at + 1);
}

// ---- FTP ----------------------------------------------------------------------------

bool TComUnit::PrepareFTP() {
  FFTPClient.Host = FIP;
  FFTPClient.Port = FFtpPort;
  WriteLog(QStringLiteral("FTP Connecting"));
  QString error;
  if (!FFTPClient.Connect(error)) {
    WriteLog(QStringLiteral("FTP Connect Error: ") + error, true);
    return false;
  }
  return true;
}

void TComUnit::WatchFTPProgress(TWorkMode mode) {
  // Work begins once the size is known (the device's SIZE answer, or the
  // local file for an upload); then the bytes done, as the CCCI readers do.
  auto begun = std::make_shared<bool>(false);
  FFTPClient.OnProgress = [this, mode, begun](int64_t done, int64_t total) {
    if (total <= 0) return;
    if (!*begun) {
      *begun = true;
      WorkEvent(mode, total, TWorkStatus::WorkBegin);
    }
    NoteTransferProgress();
    WorkEvent(mode, done, TWorkStatus::WorkWorking);
  };
}

bool TComUnit::GetFTPFile(const QString& devicePath, const QString& localPath, bool resume, bool) {
  if (!PrepareFTP()) return false;
  WatchFTPProgress(TWorkMode::wmRead);
  QString error;
  QDir().mkpath(QFileInfo(localPath).absolutePath());
  const bool ok = FFTPClient.Get(devicePath, localPath, resume, error);
  WorkEvent(TWorkMode::wmRead, 0, TWorkStatus::WorkEnd);
  FFTPClient.OnProgress = nullptr;
  FFTPClient.LastError = ok ? QString() : error;
  if (!ok) WriteLog(QStringLiteral("FTP - Error: %1").arg(error), true);
  return ok;
}

bool TComUnit::GetFTPFile(const QString& devicePath, QByteArray& content) {
  if (!PrepareFTP()) return false;
  QString error;
  if (FFTPClient.GetToBuffer(devicePath, content, error)) return true;
  WriteLog(QStringLiteral("FTP - Error: %1").arg(error), true);
  return false;
}

bool TComUnit::SendFTPFile(const QString& localPath, const QString& remoteFolder) {
  WriteLog(QStringLiteral("FTP - Send File: %1").arg(localPath));
  if (!PrepareFTP()) return false;
  QString error;
  WatchFTPProgress(TWorkMode::wmWrite);
  const bool ok = FFTPClient.Put(localPath, remoteFolder, error);
  WorkEvent(TWorkMode::wmWrite, 0, TWorkStatus::WorkEnd);
  FFTPClient.OnProgress = nullptr;
  if (ok) return true;
  WriteLog(QStringLiteral("FTP - Error: %1").arg(error), true);
  return false;
}

bool TComUnit::SendFTPFiles(const QStringList& localPaths, const QString& remoteFolder) {
  for (const QString& p : localPaths)
    if (!SendFTPFile(p, remoteFolder)) return false;
  return true;
}

void TComUnit::DisconnectFTP() {
  // Every libcurl transfer opens and closes its own connection.
}

QString WriteAtOffset(const QString& path, qint64 pos, QByteArrayView data) {
  QFile f(path);
  if (!f.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) return f.errorString();
  // What lies beyond the position asked for is the rest of an earlier
  // answer to the same request: it goes, so a repeated answer never doubles.
  if (f.size() < pos) return TTr::tr("Teildatei kürzer als die Fortsetzungsposition (%1 < %2)").arg(f.size()).arg(pos);
  if (f.size() != pos && !f.resize(pos)) return f.errorString();
  if (!f.seek(pos)) return f.errorString();
  // In 1 MiB pieces: one huge write makes the kernel hold the whole buffer
  // at once and runs several times slower than a stream of pieces.
  constexpr qsizetype CPiece = 1 << 20;
  for (qsizetype at = 0; at < data.size();) {
    const qint64 n = f.write(data.data() + at, qMin(CPiece, data.size() - at));
    if (n <= 0) return f.errorString().isEmpty() ? QStringLiteral("Schreibfehler") : f.errorString();
    at += qsizetype(n);
  }
  if (!f.flush()) return f.errorString();
  f.close();
  if (f.error() != QFileDevice::NoError) return f.errorString();
  return {};
}

QString TComUnit::TmpDir() {
  if (!FTmpDir.isEmpty()) return Folder(FTmpDir);
  if (!FOwnTmp) {
    FOwnTmp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vanta-client-XXXXXX"));
    if (!FOwnTmp->isValid()) WriteLog(QStringLiteral("Kein temporärer Ordner: %1").arg(FOwnTmp->errorString()), true);  // untranslated
  }
  return Folder(FOwnTmp->path());
}

QString TComUnit::StorePayload(QByteArrayView payload, const QString& localPath, bool append) {
  if (FFTP) {
    const QString devicePath = QString::fromLatin1(payload.data(), payload.size()).section(QChar(0), 0, 0).trimmed();
    return GetFTPFile(devicePath, localPath, append, false) ? QString() : TTr::tr("FTP-Abruf fehlgeschlagen");
  }
  QDir().mkpath(QFileInfo(localPath).absolutePath());
  // Written beside the target and renamed, so no half file carries the
  // final name; no sync to disk: a download can be fetched again, and
  // waiting for the disk would halve the transfer rate of large answers.
  const QString part = localPath + QStringLiteral(".part");
  QFile::remove(part);
  if (const QString e = FFileWriter(part, 0, payload); !e.isEmpty()) {
    QFile::remove(part);
    return e;
  }
  QFile::remove(localPath);
  if (!QFile::rename(part, localPath)) {
    QFile::remove(part);
    return TTr::tr("Datei %1 kann nicht angelegt werden").arg(localPath);
  }
  return {};
}

// ---- archives ------------------------------------------------------------------------

QString TComUnit::TarFile(const QString& path, QString& error) {
  std::vector<TTarEntry> entries;
  QFile xml(path);
  if (!xml.open(QIODevice::ReadOnly)) {
    error = xml.errorString();
    return {};
  }
  entries.push_back({QStringLiteral("setup.xml"), xml.readAll()});
  auto addIfThere = [&](const QString& local, const QString& name) {
    if (local.isEmpty() || !QFileInfo(local).isFile()) return;
    QFile f(local);
    if (f.open(QIODevice::ReadOnly)) entries.push_back({name, f.readAll()});
  };
  addIfThere(FICDFile, QFileInfo(FICDFile).fileName());
  addIfThere(FECDSAKeyFile, QFileInfo(FECDSAKeyFile).fileName());
  addIfThere(FRSAKeyFile, QFileInfo(FRSAKeyFile).fileName());
  addIfThere(FWireGuardFile, FWireGuardFileName.isEmpty() ? QFileInfo(FWireGuardFile).fileName() : FWireGuardFileName);
  QByteArray tgz;
  error = TarGzPack(entries, tgz);
  if (!error.isEmpty()) return {};
  const QString target = WithExtension(path, QStringLiteral(".tgz"));
  const QString full = QFileInfo(path).absolutePath() + QLatin1Char('/') + target;
  if (!SaveBytes(full, tgz, error)) return {};
  return full;
}

bool TComUnit::UnTarFile(const QByteArray& archive, const QString& folder, QString& icd, QString& ecdsa, QString& rsa,
                         QString& xml, QString& error) {
  std::vector<TTarEntry> entries;
  QStringList skipped;
  error = TarGzUnpack(archive, entries, &skipped);
  for (const QString& s : skipped) WriteLog(QStringLiteral("Archiv: Eintrag verworfen: ") + s, true);
  if (!error.isEmpty()) return false;
  for (const TTarEntry& e : entries) {
    const QString target = Folder(folder) + e.Name;
    if (!SaveBytes(target, e.Data, error)) return false;
    const QFileInfo fi(e.Name);
    const QString ext = fi.suffix().toLower();
    if (ext == QLatin1String("icd"))
      icd = target;
    else if (ext == QLatin1String("xml"))
      xml = target;
    else if (ext.isEmpty() && e.Name.contains(QLatin1String("ecdsa_host_key")))
      ecdsa = target;
    else if (ext.isEmpty() && e.Name.contains(QLatin1String("rsa_host_key")))
      rsa = target;
  }
  if (xml.isEmpty()) {
    error = TTr::tr("Archiv enthält keine Parameterdatei");
    return false;
  }
  return true;
}

// ---- setup ---------------------------------------------------------------------------------

void TComUnit::SetupCommand(TMemoryStream& stream) {
  LOGF("Setup=%d", int(FHead.ExtCmd));
  const QByteArray payload = CurrentFrame(stream).mid(CHeadSize);
  stream.SetPosition(qMin<qsizetype>(FHead.Size, stream.Size()));
  if (FHead.ExtCmd == 3) {
    FRequestClose = nullptr;
    ReportParaDone(true);
    return;
  }
  if (FHead.ExtCmd > 2) return;
  const char* suffix = FHead.ExtCmd == 0 ? "_Setup_LS" : FHead.ExtCmd == 1 ? "_Setup_RD_ALL" : "_SetupRDOne";
  const QString ext = FTGZ ? QStringLiteral(".tgz") : FGZ ? QStringLiteral(".gz") : QStringLiteral(".xml");
  const QString local = Folder(TmpDir()) + QString::number(FSN) + QLatin1String(suffix) + ext;
  if (const QString e = StorePayload(payload, local, false); !e.isEmpty()) {
    WriteLog(QStringLiteral("Setup: %1 nicht gespeichert: %2").arg(local, e), true);  // untranslated
    return;
  }
  WriteLog(QStringLiteral("SaveToFile=%1").arg(local));
  QString result = local;
  QString error;
  if (FTGZ) {
    QFile f(local);
    QString icd, ecdsa, rsa, xml;
    if (!f.open(QIODevice::ReadOnly) || !UnTarFile(f.readAll(), QFileInfo(local).absolutePath(), icd, ecdsa, rsa, xml, error)) {
      WriteLog(QStringLiteral("Setup: Archiv %1 unbrauchbar: %2").arg(local, error), true);
      return;
    }
    if (!icd.isEmpty()) FICDFile = icd;
    if (!ecdsa.isEmpty()) FECDSAKeyFile = ecdsa;
    if (!rsa.isEmpty()) FRSAKeyFile = rsa;
    result = xml;
  } else if (FGZ) {
    result = QFileInfo(local).absolutePath() + QLatin1Char('/') + WithExtension(QFileInfo(local).fileName(), QStringLiteral(".xml"));
    error = UnZipFile(local, result);
    if (!error.isEmpty()) {
      WriteLog(QStringLiteral("Setup: %1 nicht entpackt: %2").arg(local, error), true);  // untranslated
      return;
    }
  }
  if (FOnNewXMLFile) FOnNewXMLFile(this, result, FHead.ExtCmd == 0 ? 0 : 1);
}

// ---- readout -------------------------------------------------------------------------------

void TComUnit::ReadoutCommand(TMemoryStream& stream) {
  LOGF("%s: ReadOut=%d", U8(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"))).constData(),
             int(FHead.ExtCmd));
  // The payload is only viewed: a recording can be hundreds of megabytes.
  const QByteArray frame = CurrentFrame(stream);
  const QByteArrayView payload = QByteArrayView(frame).sliced(qMin<qsizetype>(CHeadSize, frame.size()));
  stream.SetPosition(qMin<qsizetype>(FHead.Size, stream.Size()));
  switch (FHead.ExtCmd) {
    case 0:
    case 16: {
      TMemoryStream list(payload.toByteArray());
      if (FHead.ExtCmd == 0 && FRecOverview) FRecOverview(this, list);
      if (FHead.ExtCmd == 16 && FEvtOverview) FEvtOverview(this, list);
      return;
    }
    case 1:
    case 17:
      StoreReadoutAnswer(payload);
      return;
    case 33: {
      TMemoryStream img(payload.toByteArray());
      if (FSetNewDisplayImage) FSetNewDisplayImage(this, img);
      return;
    }
    case 34:
    case 35: {
      const QString local = Folder(TmpDir()) + (FHead.ExtCmd == 34 ? QStringLiteral("Dlog.log") : QStringLiteral("DlogSecure.log"));
      if (const QString e = StorePayload(payload, local, false); !e.isEmpty()) {
        WriteLog(QStringLiteral("Geräte-Log nicht gespeichert: ") + e, true);  // untranslated
        return;
      }
      if (FOpenFile) FOpenFile(local);
      return;
    }
    default:
      return;
  }
}

bool TComUnit::FileRequestPending(const QString& devicePath) const {
  if (FFileRequestActive && FFileRequest.DevicePath == devicePath) return true;
  for (const TSendRec& r : FSendLst)
    if (r.Typ == TSendCmd::scFileResume && r.Cmd == 5 && (r.ExtCmd == 1 || r.ExtCmd == 17) && r.txt == devicePath)
      return true;
  return false;
}

void TComUnit::BeginFileRequest(const TSendRec& rec) {
  if (FFileRequestActive) FailFileRequest(TTr::tr("durch eine neue Anfrage ersetzt"), false);
  FFileRequest = {};
  FFileRequest.DevicePath = rec.txt;
  FFileRequest.Pos = rec.Pos;
  FFileRequest.Cmd = rec.Cmd;
  FFileRequest.ExtCmd = rec.ExtCmd;
  FFileRequest.Expected = FExpectedSizes.take(rec.txt);
  const QString dir = rec.ExtCmd == 1 ? FRecDir : FEvtDir;
  const QString name = ExtractUnixFileName(rec.txt);
  // Without the device's folder the file has no place: it is refused when
  // the answer comes rather than written into the current directory.
  if (!dir.isEmpty() && IsSafeEntryName(name)) FFileRequest.Local = Folder(dir) + name;
  FFileRequestActive = true;
  // A large answer goes to disk while it arrives instead of being held whole
  // first; not while an answer given up earlier may still come (it would be
  // taken for this one), not for FTP (the answer is a path) and not while a
  // trace wants every byte of the frames.
  if (!FFileRequest.Local.isEmpty() && FStaleFileAnswers == 0 && !FFTP && !FTrace &&
      QDir().mkpath(QFileInfo(FFileRequest.Local).absolutePath()))
    ArmFileSink(FFileRequest.Local + QStringLiteral(".part"), FFileRequest.Pos);
  else
    ArmFileSink(QString(), 0);
}

void TComUnit::FailFileRequest(const QString& reason, bool continueChain) {
  if (!FFileRequestActive) return;
  FFileRequestActive = false;
  ArmFileSink(QString(), 0);
  const TFileRequest r = FFileRequest;
  WriteLog(QStringLiteral("Auslesen: %1 nicht gespeichert: %2").arg(r.DevicePath, reason), true);  // untranslated
  if (FFileFailed) FFileFailed(this, r.DevicePath, r.Local, reason);
  if (continueChain && FMassDLNext) FMassDLNext(this);
}

void TComUnit::StoreReadoutAnswer(QByteArrayView payload) {
  if (FStaleFileAnswers > 0) {
    // The answer of a request given up earlier: its file was told as not
    // stored, and this answer belongs to no request that waits now.
    --FStaleFileAnswers;
    WriteLog(QStringLiteral("Auslesen: verspätete Antwort (%1 Bytes) verworfen").arg(payload.size()), true);  // untranslated
    return;
  }
  if (!FFileRequestActive || FFileRequest.ExtCmd != FHead.ExtCmd) {
    WriteLog(QStringLiteral("Auslesen: Antwort ohne Anfrage (%1 Bytes) verworfen").arg(payload.size()), true);
    return;
  }
  const TFileRequest r = FFileRequest;
  FFileName = ExtractUnixFileName(r.DevicePath);
  auto fail = [&](const QString& reason) { FailFileRequest(reason, true); };
  if (r.Local.isEmpty()) {
    const QString dir = r.ExtCmd == 1 ? FRecDir : FEvtDir;
    fail(dir.isEmpty() ? TTr::tr("kein Datenordner gesetzt") : TTr::tr("unzulässiger Dateiname \"%1\"").arg(FFileName));
    return;
  }
  if (!QDir().mkpath(QFileInfo(r.Local).absolutePath())) {
    fail(TTr::tr("Ordner %1 kann nicht angelegt werden").arg(QFileInfo(r.Local).absolutePath()));
    return;
  }
  const QString part = r.Local + QStringLiteral(".part");
  if (FFTP) {
    // The payload names the device file; the FTP fetch continues the part
    // file from its end, which is where this request asked to start.
    const QString devicePath = QString::fromLatin1(payload.data(), payload.size()).section(QChar(0), 0, 0).trimmed();
    if (QFileInfo(part).size() > qint64(r.Pos) && !QFile(part).resize(r.Pos)) {
      fail(TTr::tr("Teildatei %1 kann nicht gekürzt werden").arg(part));
      return;
    }
    if (!GetFTPFile(devicePath, part, true, false)) {
      fail(TTr::tr("FTP-Abruf fehlgeschlagen: %1").arg(FFTPClient.LastError));
      return;
    }
  } else if (FStreamed.Active) {
    // The reader wrote the payload into the part file as it came.
    if (!FStreamed.Error.isEmpty()) {
      fail(FStreamed.Error);
      return;
    }
  } else if (const QString e = FFileWriter(part, r.Pos, payload); !e.isEmpty()) {
    fail(e);
    return;
  }
  const qint64 have = QFileInfo(part).size();
  if (r.Expected > 0 && uint64_t(have) < r.Expected) {
    fail(TTr::tr("unvollständig: %1 von %2 Bytes").arg(have).arg(r.Expected));
    return;
  }
  QFile::remove(r.Local);
  if (!QFile::rename(part, r.Local)) {
    fail(TTr::tr("%1 kann nicht umbenannt werden").arg(part));
    return;
  }
  FFileRequestActive = false;
  if (FMassDLNext)
    FMassDLNext(this);
  else if (r.ExtCmd == 1 && FRecToTable)
    FRecToTable(this, r.Local);
  else if (r.ExtCmd == 17 && FEvtToTable)
    FEvtToTable(this, r.Local);
}

// ---- scratchpad ----------------------------------------------------------------------------

void TComUnit::ScratchPadCommand(TMemoryStream& stream) {
  const QByteArray payload = CurrentFrame(stream).mid(CHeadSize);
  stream.SetPosition(qMin<qsizetype>(FHead.Size, stream.Size()));
  if (FHead.ExtCmd == 2) {
    if (FSendCCCIFileNext) FSendCCCIFileNext(this, FNAK);
    return;
  }
  if (FHead.ExtCmd != 1) return;
  const TCCCISratchpad job = FCCCISratchpad;
  FCCCISratchpad = TCCCISratchpad::spNone;
  QString error;
  switch (job) {
    case TCCCISratchpad::spLangTXT: {
      QByteArray text = payload;
      if (FFTP && !GetFTPFile(QString::fromLatin1(payload).trimmed(), text)) text.clear();
      CheckXMLVersion(QString::fromLatin1(text));
      return;
    }
    case TCCCISratchpad::spXML: {
      if (FScratchpadFleLst.isEmpty()) return;
      const QString name = ExtractUnixFileName(FScratchpadFleLst.first());
      const QString local = Folder(FIniFolder) + WithExtension(name, QStringLiteral(".db"));
      QByteArray db;
      error = GunzipBytes(payload, db);
      if (!error.isEmpty() || !SaveBytes(local, db, error)) {
        WriteLog(QStringLiteral("Sprachdatei %1: %2").arg(name, error), true);
      } else if (QFileInfo(local).fileName().compare(CMappingDB, Qt::CaseInsensitive) == 0 && FOnNewXMLFile) {
        FOnNewXMLFile(this, local, 2);
      }
      FScratchpadFleLst.removeFirst();
      if (FScratchpadFleLst.isEmpty()) {
        if (FOnConnDone) FOnConnDone(this, true);
      } else {
        GetNewXMLFilesFromScratchpad();
      }
      return;
    }
    case TCCCISratchpad::spGetLog: {
      const QString local = Folder(TmpDir()) + QStringLiteral("Dlog.log");
      if (const QString e = StorePayload(payload, local, false); !e.isEmpty()) {
        WriteLog(QStringLiteral("Geräte-Log nicht gespeichert: ") + e, true);  // untranslated
        return;
      }
      if (FOpenFile) FOpenFile(local);
      return;
    }
    case TCCCISratchpad::spStatus: {
      const QString local = Folder(TmpDir()) + QString::number(FSN) + QStringLiteral("_status.txt");
      if (const QString e = StorePayload(payload, local, false); !e.isEmpty()) {
        WriteLog(QStringLiteral("Statusdatei nicht gespeichert: ") + e, true);  // untranslated
        return;
      }
      auto cb = std::move(FScratchPadCallBack);
      FScratchPadCallBack = nullptr;
      if (cb) cb(local);
      return;
    }
    case TCCCISratchpad::spPCAP: {
      if (FScratchpadFleLst.size() != 1) return;
      const QString name = FScratchpadFleLst.takeFirst();
      const QString local = Folder(TmpDir()) + ExtractUnixFileName(name);
      if (const QString e = StorePayload(payload, local, false); !e.isEmpty()) {
        WriteLog(QStringLiteral("Datei nicht gespeichert: ") + e, true);  // untranslated
        return;
      }
      auto cb = std::move(FScratchPadCallBack);
      FScratchPadCallBack = nullptr;
      const bool remove = cb ? cb(local) : true;
      if (remove) SendCommand(ccci::TCcci::SCRATCH_PAD_RM, name, false);
      return;
    }
    case TCCCISratchpad::spNone:
    case TCCCISratchpad::spFlushLog:
      return;
  }
}

// ---- after connecting: folders and language files ---------------------------------------

void TComUnit::SetDataFolders() {
  // The device folder is made from the host's folder every time: a session
  // start after a reconnect must not nest the serial number again.
  if (FDataRoot.isEmpty()) FDataRoot = Folder(FDatadir);
  FDatadir = Folder(FDataRoot + QString::number(FSN));
  FRecDir = FDatadir + QStringLiteral("Recorder/");
  FEvtDir = FDatadir + QStringLiteral("Event/");
  QDir().mkpath(FRecDir);
  QDir().mkpath(FEvtDir);
  // The files hold only an offset; the device's zone and daylight-saving
  // rules go beside them, so that they read offline as they do online.
  if (FTimeSetKnown && FSN != 0) {
    QString error;
    if (!SaveDeviceTime(FDatadir, FSN, FtmeSet, error)) WriteLog(QStringLiteral("Zeiteinstellungen nicht gespeichert: ") + error, true);  // untranslated
  }
  if (FCheckXMLFileVersions && FDevType != TDevType::devtypOmnivex)
    CheckFileVersions();
  else if (FOnConnDone)
    FOnConnDone(this, true);
}

void TComUnit::CheckFileVersions() {
  if (!FFTP) {
    FCCCISratchpad = TCCCISratchpad::spLangTXT;
    SendCommand(ccci::TCcci::SCRATCH_PAD_RD, QStringLiteral("xml-versions.txt"), false);
    return;
  }
  QByteArray text;
  GetFTPFile(CDeviceScratchpad + QStringLiteral("xml-versions.txt"), text);
  CheckXMLVersion(QString::fromLatin1(text));
}

bool TComUnit::ReadMessDBVersion(const QString& text, uint32_t& version) {
  version = 0;
  const QString wanted = WithExtension(CMappingDB, QStringLiteral(".gz"));
  for (const QString& line : text.split(QStringLiteral("\r\n"))) {
    const QStringList fields = line.split(QLatin1Char(' '));
    if (fields.size() < 3 || fields[1].compare(wanted, Qt::CaseInsensitive) != 0) continue;
    bool ok = false;
    const uint v = fields[2].trimmed().toUInt(&ok);
    if (!ok) return false;
    version = v;
    return true;
  }
  return false;
}

void TComUnit::CheckXMLVersion(const QString& text) {
  if (FCheckXMLVersion) {
    TMemoryStream sl(text.toLatin1());
    FCheckXMLVersion(this, sl);
  }
  uint32_t version = 0;
  ReadMessDBVersion(text, version);
  if (version != 0 && version > FMessDBVer) {
    const QString name = WithExtension(CMappingDB, QStringLiteral(".gz"));
    FScratchpadFleLst << name;
    LOGF("ComUnit: New Version %d for %s", int(version), U8(name).constData());
    FMessDBVer = version;
  }
  if (FScratchpadFleLst.isEmpty()) {
    if (FOnConnDone) {
      WriteLog(QStringLiteral("Connection Done Assigend"));
      FOnConnDone(this, true);
    } else {
      WriteLog(QStringLiteral("Connection Done not assigend"));
    }
    return;
  }
  GetNewXMLFiles();
}

void TComUnit::GetNewXMLFiles() {
  if (!FDisplayConnMessage) {
    NewXMLFilesResult(this, mrYes);
    return;
  }
  TThreadedMessageCallBack cb = [this](QObject* s, int r) { NewXMLFilesResult(s, r); };
  FDisplayConnMessage(TTr::tr(CNewLanguageFilesText), TMsgDlgType::mtInformation, cb, mbYes | mbNo, mbYes);
}

void TComUnit::NewXMLFilesResult(QObject*, int AResult) {
  if (AResult != mrYes) {
    WriteLog(QStringLiteral("Connection Done Assigned"));
    if (FOnConnDone) FOnConnDone(this, true);
    return;
  }
  FNewXMLFiles = true;
  if (!FFTP) {
    GetNewXMLFilesFromScratchpad();
    return;
  }
  while (!FScratchpadFleLst.isEmpty()) {
    const QString name = FScratchpadFleLst.takeFirst();
    QByteArray packed, db;
    QString error;
    if (!GetFTPFile(CDeviceScratchpad + name, packed)) break;
    const QString local = Folder(FIniFolder) + WithExtension(name, QStringLiteral(".db"));
    error = GunzipBytes(packed, db);
    if (!error.isEmpty() || !SaveBytes(local, db, error)) {
      WriteLog(QStringLiteral("Sprachdatei %1: %2").arg(name, error), true);
      break;
    }
    if (FOnNewXMLFile && QFileInfo(local).fileName().compare(CMappingDB, Qt::CaseInsensitive) == 0)
      FOnNewXMLFile(this, local, 2);
  }
  if (FOnConnDone) FOnConnDone(this, true);
}

void TComUnit::GetNewXMLFilesFromScratchpad() {
  if (FScratchpadFleLst.isEmpty()) return;
  FCCCISratchpad = TCCCISratchpad::spXML;
  SendCommand(ccci::TCcci::SCRATCH_PAD_RD, FScratchpadFleLst.first(), false);
}

}  // namespace vanta
