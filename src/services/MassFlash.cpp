#include "MassFlash.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QHostAddress>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include "FlashJob.h"
#include "TcpComUnit.h"
#include "SaveWhole.h"
#include "Language.h"

namespace vanta {

QString MassStateText(TMassState s) {
  switch (s) {
    case TMassState::msWaiting: return TTr::tr("Wartet");
    case TMassState::msConnecting: return TTr::tr("Verbinden");
    case TMassState::msBackup: return TTr::tr("Parametersicherung");
    case TMassState::msUpload: return TTr::tr("Hochladen");
    case TMassState::msUpdate: return QStringLiteral("Update");
    case TMassState::msRestart: return TTr::tr("Neustart");
    case TMassState::msVerify: return TTr::tr("Versionsprüfung");
    case TMassState::msDone: return TTr::tr("Fertig");
    case TMassState::msFailed: return TTr::tr("Fehlgeschlagen");
    case TMassState::msSkipped: return TTr::tr("Nicht gestartet");
    case TMassState::msUnknown: return TTr::tr("Ergebnis unbekannt");
  }
  return {};
}

namespace {
QString FwText(const TVantaFW& fw) { return QStringLiteral("%1.%2.%3").arg(fw.Major()).arg(fw.Minor()).arg(fw.Patch()); }
}  // namespace

// One device of the run: connect, update, wait for the restart, verify.
class TMassFlash::TDevice : public QObject {
 public:
  TDevice(TMassFlash& run, int row) : QObject(&run), FRun(run), FRowIx(row) {
    FDeadline.setSingleShot(true);
    connect(&FDeadline, &QTimer::timeout, this, [this] { OnDeadline(); });
    // While the device installs or restarts, the row tells how long it has
    // been waited for.
    FTick.setInterval(1000);
    connect(&FTick, &QTimer::timeout, this, [this] {
      TMassRow& r = Row();
      if (r.State != TMassState::msUpdate && r.State != TMassState::msRestart && r.State != TMassState::msVerify) return;
      r.WaitingMs = FWaitSince.elapsed();
      FRun.Changed(FRowIx);
    });
  }
  ~TDevice() override { DropUnit(); }

  int RowIndex() const { return FRowIx; }
  void Begin() {
    Row().Start = QDateTime::currentDateTime();
    SetState(TMassState::msConnecting);
    FDeadline.start(FRun.FOptions.ConnectTimeoutMs);
    Connect(false);
  }

 private:
  TMassRow& Row() { return FRun.FRows[FRowIx]; }
  void Log(const QString& line) {
    if (FRun.OnLog) FRun.OnLog(FRowIx, line);
  }
  void SetState(TMassState s, int percent = -1) {
    if (Row().State != s) {
      if (s == TMassState::msUpdate || s == TMassState::msRestart) {
        FWaitSince.start();  // the version check counts from the restart on
        if (!FTick.isActive()) FTick.start();
        Row().WaitingMs = 0;
      } else if (s != TMassState::msVerify) {
        Row().WaitingMs = -1;
      }
      // The update call is covered by the job's own watch; this deadline
      // only catches a job that never reports.
      if (s == TMassState::msUpdate) FDeadline.start(FRun.FOptions.UpdateTimeoutMs + 30000);
    }
    Row().State = s;
    if (percent >= 0) Row().Percent = percent;
    FRun.Changed(FRowIx);
  }
  QString Folder() const {
    return QDir(FRun.FOptions.DataDir).filePath(QStringLiteral("mass/%1").arg(FRowIx + 1));
  }

  void DropUnit() {
    FJob.reset();
    if (FUnit) {
      TTCPComUnit* u = FUnit.release();
      u->FOnConnDone = nullptr;
      u->FConnectThreadEnd = nullptr;
      u->FThreadExceptCallBack = nullptr;
      u->FDisplayConnMessage = nullptr;
      u->FNAKCB = nullptr;
      u->FOnLogCallBack = nullptr;
      u->FOnWorkEvent = nullptr;
      u->DoDisconnect(false);
      u->deleteLater();
    }
  }

  void Connect(bool comeback) {
    FRetryPending = false;
    DropUnit();
    const TMassTarget& t = Row().Target;
    FUnit = std::make_unique<TTCPComUnit>(t.Ssh);
    TTCPComUnit& u = *FUnit;
    const QString base = Folder() + QLatin1Char('/');
    u.FDatadir = base;
    u.FTmpDir = base + QStringLiteral("tmp/");
    u.FIniFolder = FRun.FOptions.IniFolder.isEmpty() ? base + QStringLiteral("ini/") : FRun.FOptions.IniFolder;
    QDir().mkpath(u.FTmpDir);
    QDir().mkpath(u.FIniFolder);
    u.FSetFolders = false;
    u.FProgUser = QStringLiteral("vanta-mass-update");
    u.FOnLogCallBack = [this](QObject*, const QString& line, bool memo) {
      if (memo) Log(line);
    };
    if (!t.User.isEmpty()) {
      u.SetSSHUserPass(t.User, t.Password);
      if (!t.Ssh) u.FAutoSessionStart = false;
    }
    u.FConnectThreadEnd = [this, comeback](QObject*, bool ok, bool authError) {
      if (!ok) {
        if (comeback) return Retry();
        return Finish(false, authError ? TTr::tr("Anmeldung abgelehnt")
                                       : TTr::tr("Keine Verbindung: %1").arg(FUnit ? FUnit->FLastConnectError : QString()));
      }
      if (!Row().Target.User.isEmpty() && !Row().Target.Ssh)
        FUnit->SendStartCommand(0, Row().Target.User.toLatin1(), Row().Target.Password.toLatin1());
    };
    u.FOnConnDone = [this, comeback](QObject*, bool ok) {
      if (!ok) return comeback ? Retry() : Finish(false, TTr::tr("Keine Verbindung"));
      if (comeback)
        Verify();
      else
        Connected();
    };
    // No message hook: refusals reach the NAK callback (the job's once it
    // runs), and nothing waits for a person.
    u.FNAKCB = [this, comeback](QObject*, uint32_t code) {
      FLastRefusal = QStringLiteral("NAK %1 %2").arg(code).arg(FUnit ? FUnit->FLastNakText : QString()).trimmed();
      Log(FLastRefusal);
      if (comeback) return Retry();
      Finish(false, TTr::tr("Gerät lehnt ab: %1").arg(FLastRefusal));
    };
    u.FClearWork = [this, comeback] {
      if (comeback) return Retry();
      if (!FJob) Finish(false, ConnectionLostText());
    };
    u.FThreadExceptCallBack = [this, comeback](QObject*) {
      if (comeback) return Retry();
      if (FJob) FJob->ThreadExceptCallBack();
      else Finish(false, FlashText(msgConnLost));
    };
    u.FOnWorkEvent = [this](TWorkMode mode, int64_t count, TWorkStatus status) {
      if (mode != TWorkMode::wmWrite || Row().State != TMassState::msUpload) return;
      if (status == TWorkStatus::WorkBegin) FBytesTotal = qMax<int64_t>(1, count);
      if (status == TWorkStatus::WorkWorking && FUploadFiles > 0) {
        const double file = double(count) / double(FBytesTotal);
        SetState(TMassState::msUpload, int(100.0 * (FUploadDone + qMin(1.0, file)) / FUploadFiles));
      }
    };
    if (t.Ssh) {
      u.FOnFingerprint = [this](TFingerprintState state, const QString&, const QString& fp) {
        const bool trust = state == TFingerprintState::fsNew && FRun.FOptions.TrustNewHostKey;
        if (!trust) FLastRefusal = TTr::tr("Host-Schlüssel %1 nicht vertraut").arg(fp);
        return trust ? TConnectHashAction::chaSave : TConnectHashAction::chaCancel;
      };
      QDir().mkpath(FRun.FOptions.DataDir);
    }
    u.SetIPAndPort(t.Host, t.Ssh ? t.SshPort : t.Port);
    u.DoConnect();
  }

  void Connected() {
    TMassRow& r = Row();
    r.Serial = QString::number(FUnit->FSN);
    r.Ip = FUnit->FIP;
    r.FwBefore = FwText(FUnit->FRev);
    FDeadline.start(FRun.FOptions.JobTimeoutMs);
    FJob = std::make_unique<TFlashJob>(*FUnit);
    TFlashJob& j = *FJob;
    j.FKind = TFlashKind::KndMassFW;
    j.FFN = FRun.FOptions.Package;
    j.FDoMassBackup = !FRun.FOptions.BackupDir.isEmpty();
    j.FMassBackupDir = FRun.FOptions.BackupDir;
    j.FPQStartID = FRun.FOptions.RunId;
    j.FStepTimeoutMs = FRun.FOptions.StepTimeoutMs;
    j.FUpdateTimeoutMs = FRun.FOptions.UpdateTimeoutMs;
    j.OnLog = [this](const QString& l) { Log(l); };
    j.GetPara = [this] {
      SetState(TMassState::msBackup);
      FUnit->FOnNewXMLFile = [this](QObject*, const QString& file, int32_t) {
        FUnit->FOnNewXMLFile = nullptr;
        if (FJob) FJob->ParaToTable(file);
      };
      FUnit->SendCommand(ccci::TCcci::SETUP_RD_ALL);
    };
    j.OnUpload = [this](int done, int total, const QString&) {
      FUploadDone = done;
      FUploadFiles = total;
      SetState(done < total ? TMassState::msUpload : TMassState::msUpdate, total ? 100 * done / total : 100);
    };
    j.FMassFlashSucc = [this](bool ok, const QString& text) {
      Row().BackupFile = FJob ? FJob->BackupFile : QString();
      if (!ok && FJob && FJob->Outcome == TFlashJob::TOutcome::Unknown) {
        // The device may still be installing: the row says so, and the
        // line is left alone.
        QTimer::singleShot(0, this, [this] { FinishUnknown(TTr::tr("keine Antwort auf den Updateaufruf")); });
        return;
      }
      if (!ok) {
        QString why = FJob && !FJob->ResultText.isEmpty() ? FJob->ResultText : text;
        if (!FLastRefusal.isEmpty() && why == FlashText(msgMassFailed)) why += QStringLiteral(": ") + FLastRefusal;
        // The job may report from inside the client's call: end on the next turn.
        QTimer::singleShot(0, this, [this, why] { Finish(false, why); });
        return;
      }
      SetState(TMassState::msRestart, 100);
      FUpdatedAt.start();
      Log(SFWUpdateSuccess);
    };
    // The job asks from inside its own timer: it (and this callback) may
    // only go once that call has returned.
    j.OnCloseRequest = [this] {
      QTimer::singleShot(0, this, [this] {
        if (Row().State != TMassState::msRestart) return;
        // The device restarts now: wait for it with fresh connections.
        DropUnit();
        FDeadline.start(FRun.FOptions.ComebackTimeoutMs);
        QTimer::singleShot(FRun.FOptions.ComebackPollMs, this, [this] { Connect(true); });
      });
    };
    j.ConnEst(true);
  }

  void Retry() {
    if (Row().State == TMassState::msDone || Row().State == TMassState::msFailed || FRetryPending) return;
    FRetryPending = true;  // a failed attempt reports through several hooks
    QTimer::singleShot(0, this, [this] {
      DropUnit();
      QTimer::singleShot(FRun.FOptions.ComebackPollMs, this, [this] { Connect(true); });
    });
  }

  void Verify() {
    SetState(TMassState::msVerify);
    const QString now = FwText(FUnit->FRev);
    Row().FwAfter = now;
    const QString want = FRun.FPackageVersion;
    if (now != want && FUpdatedAt.elapsed() < FRun.FOptions.ComebackGraceMs) {
      Log(QStringLiteral("Gerät meldet noch Firmware %1, erneuter Versuch").arg(now));  // untranslated
      return Retry();
    }
    if (now != want)
      return Finish(false, TTr::tr("Gerät meldet nach dem Update Firmware %1 statt %2").arg(now, want));
    Finish(true, TTr::tr(CFWUpdateSuccessText));
  }

  void OnDeadline() {
    switch (Row().State) {
      case TMassState::msConnecting: return Finish(false, TTr::tr("Keine Verbindung innerhalb von %1 s").arg(FRun.FOptions.ConnectTimeoutMs / 1000));
      case TMassState::msUpdate:
        return FinishUnknown(TTr::tr("keine Antwort auf den Updateaufruf"));
      case TMassState::msRestart:
      case TMassState::msVerify:
        // Not back (or not with the new firmware yet) in time: perhaps still
        // installing. No verdict.
        return FinishUnknown(TTr::tr("Gerät nach dem Neustart nicht erreichbar (%1 s)").arg(FRun.FOptions.ComebackTimeoutMs / 1000));
      default: return Finish(false, TTr::tr("Zeitüberschreitung im Schritt \"%1\"").arg(MassStateText(Row().State)));
    }
  }

  void FinishUnknown(const QString& why) { End(QStringLiteral("unknown"), TMassState::msUnknown, QStringLiteral("%1 (%2)").arg(TTr::tr(CResultUnknownText), why)); }
  void Finish(bool ok, const QString& message) {
    End(ok ? QStringLiteral("ok") : QStringLiteral("failed"), ok ? TMassState::msDone : TMassState::msFailed, message);
  }
  void End(const QString& result, TMassState state, const QString& message) {
    if (FEnded) return;
    FEnded = true;
    const bool ok = state == TMassState::msDone;
    FDeadline.stop();
    FTick.stop();
    TMassRow& r = Row();
    if (FJob && r.BackupFile.isEmpty()) r.BackupFile = FJob->BackupFile;
    r.Result = result;
    r.Message = message;
    r.WaitingMs = -1;
    r.End = QDateTime::currentDateTime();
    r.State = state;
    if (ok) r.Percent = 100;
    Log(QStringLiteral("%1: %2").arg(r.Target.Name.isEmpty() ? r.Target.Host : r.Target.Name, message));
    // The job and the client may be the callers: let them return first.
    QTimer::singleShot(0, this, [this] {
      DropUnit();
      FRun.DeviceEnded(FRowIx);
    });
  }

  TMassFlash& FRun;
  int FRowIx;
  std::unique_ptr<TTCPComUnit> FUnit;
  std::unique_ptr<TFlashJob> FJob;
  QTimer FDeadline;
  QTimer FTick;
  QElapsedTimer FWaitSince;
  QString FLastRefusal;
  QElapsedTimer FUpdatedAt;
  int FUploadDone = 0, FUploadFiles = 0;
  int64_t FBytesTotal = 1;
  bool FEnded = false;
  bool FRetryPending = false;
};

TMassFlash::TMassFlash(QObject* parent) : QObject(parent) {}
TMassFlash::~TMassFlash() {
  for (TDevice* d : FActive) delete d;
}

int TMassFlash::Failed() const { return Count(QStringLiteral("failed")); }

int TMassFlash::Count(const QString& result) const {
  int n = 0;
  for (const TMassRow& r : FRows) n += r.Result == result;
  return n;
}

QString TMassFlash::SummaryText() const {
  QString text = tr("%1 von %2 Geräten aktualisiert").arg(Count(QStringLiteral("ok"))).arg(FRows.size());
  const struct {
    const char* Result;
    TMassState State;
  } others[] = {{"failed", TMassState::msFailed}, {"skipped", TMassState::msSkipped}, {"unknown", TMassState::msUnknown}};
  for (const auto& o : others) {
    const int n = Count(QLatin1String(o.Result));
    if (n == 0) continue;
    QString words = MassStateText(o.State);
    // "Fehlgeschlagen" stands alone in its row; after a number it is an adjective.
    if (o.State != TMassState::msUnknown) words[0] = words[0].toLower();
    text += QStringLiteral(", %1 %2").arg(n).arg(words);
  }
  return text;
}

bool TMassFlash::Start(const TMassOptions& options, const QList<TMassTarget>& targets, QString& error) {
  if (FRunning) {
    error = tr("Ein Massen-Update läuft bereits");
    return false;
  }
  if (targets.isEmpty()) {
    error = tr("Keine Geräte gewählt");
    return false;
  }
  if (options.Parallel < 1 || options.Parallel > 8) {
    error = tr("Parallelität 1 bis 8");
    return false;
  }
  if (!QFileInfo(options.Package).isFile()) {
    error = tr("Updatedatei nicht gefunden: %1").arg(options.Package);
    return false;
  }
  // A package that cannot update anything must not reach a single device.
  QString why;
  const QString version = vanta::PackageVersion(options.Package, &why);
  if (version.isEmpty()) {
    error = QStringLiteral("%1 (%2)").arg(FlashText(msgInvalidPackage), why);
    return false;
  }
  if (!options.BackupDir.isEmpty() && !QDir().mkpath(options.BackupDir)) {
    error = tr("Sicherungsordner nicht anlegbar: %1").arg(options.BackupDir);
    return false;
  }
  FOptions = options;
  if (FOptions.DataDir.isEmpty()) FOptions.DataDir = QDir::temp().filePath(QStringLiteral("vanta-mass"));
  if (FOptions.RunId.isEmpty()) FOptions.RunId = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  if (!FOptions.BackupDir.isEmpty() && !FOptions.BackupDir.endsWith(QLatin1Char('/'))) FOptions.BackupDir += QLatin1Char('/');
  FPackageVersion = version;
  FRows.clear();
  for (const TMassTarget& t : targets) {
    TMassRow r;
    r.Target = t;
    FRows << r;
  }
  FNext = 0;
  FRunning = true;
  FStopping = false;
  FStarted = QDateTime::currentDateTime();
  QTimer::singleShot(0, this, [this] { Launch(); });
  return true;
}

void TMassFlash::Stop() { FStopping = true; }

void TMassFlash::Launch() {
  while (!FStopping && FNext < FRows.size() && FActive.size() < FOptions.Parallel) {
    auto* d = new TDevice(*this, FNext++);
    FActive << d;
    d->Begin();
  }
  if (FActive.isEmpty() && (FStopping || FNext >= FRows.size())) {
    for (int i = FNext; i < FRows.size(); ++i) {
      FRows[i].State = TMassState::msSkipped;
      FRows[i].Result = QStringLiteral("skipped");
      FRows[i].Message = tr("Lauf angehalten");  // the state already says it never started
      Changed(i);
    }
    FNext = int(FRows.size());
    FRunning = false;
    FEnded = QDateTime::currentDateTime();
    if (OnFinished) OnFinished();
  }
}

void TMassFlash::DeviceEnded(int row) {
  for (int i = 0; i < FActive.size(); ++i) {
    if (FActive[i]->RowIndex() != row) continue;
    FActive.takeAt(i)->deleteLater();
    break;
  }
  Changed(row);
  if (FRows[row].Result == QLatin1String("failed") && FOptions.StopOnFailure) FStopping = true;
  Launch();
}

// ---- report ------------------------------------------------------------------------------

namespace {
QString Iso(const QDateTime& t) { return t.isValid() ? t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate) : QString(); }

// RFC 4180: a field with a comma, a quote or a line break is quoted, its
// quotes doubled.
QString CsvField(const QString& v) {
  if (!v.contains(QLatin1Char(',')) && !v.contains(QLatin1Char('"')) && !v.contains(QLatin1Char('\n')) &&
      !v.contains(QLatin1Char('\r')))
    return v;
  QString q = v;
  q.replace(QLatin1String("\""), QLatin1String("\"\""));
  return QLatin1Char('"') + q + QLatin1Char('"');
}

QJsonValue IsoOrNull(const QDateTime& t) { return t.isValid() ? QJsonValue(Iso(t)) : QJsonValue(QJsonValue::Null); }
QJsonValue TextOrNull(const QString& v) { return v.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(v); }

// Seconds between two times, null while one of them is missing.
QJsonValue Seconds(const QDateTime& from, const QDateTime& to) {
  return from.isValid() && to.isValid() ? QJsonValue(double(from.msecsTo(to)) / 1000.0) : QJsonValue(QJsonValue::Null);
}

// A serial number as the number it is; null before the device identified.
QJsonValue SerialJson(const QString& serial) {
  bool ok = false;
  const qlonglong n = serial.toLongLong(&ok);
  return ok ? QJsonValue(n) : QJsonValue(QJsonValue::Null);
}

// The report's columns per device, in the order of the CSV.
const char* const CCsvColumns[] = {"device", "serial", "ip", "firmwareBefore", "firmwareAfter", "backupFile", "result", "message",
                                   "start", "end", "duration"};
}  // namespace

QJsonObject TMassFlash::ReportJson() const {
  QJsonArray devices;
  for (const TMassRow& r : FRows) {
    devices.append(QJsonObject{{"device", r.Target.Name},
                               {"plant", r.Target.Plant},
                               {"field", r.Target.Field},
                               {"host", r.Target.Host},
                               {"port", r.Target.Port},
                               {"ssh", r.Target.Ssh},
                               {"sshPort", r.Target.SshPort},
                               {"user", r.Target.User},
                               {"serial", SerialJson(r.Serial)},
                               {"ip", TextOrNull(r.Ip)},
                               {"firmwareBefore", TextOrNull(r.FwBefore)},
                               {"firmwareAfter", TextOrNull(r.FwAfter)},
                               {"backupFile", TextOrNull(r.BackupFile)},
                               {"result", r.Result},
                               {"message", r.Message},
                               {"start", IsoOrNull(r.Start)},
                               {"end", IsoOrNull(r.End)},
                               {"duration", Seconds(r.Start, r.End)}});
  }
  // The same keys as every document of the command line, so that the file
  // and the printed run read alike.
  return QJsonObject{{"schemaVersion", 1},
                     {"runId", FOptions.RunId},
                     {"package", QFileInfo(FOptions.Package).absoluteFilePath()},
                     {"packageVersion", TextOrNull(FPackageVersion)},
                     {"parallel", FOptions.Parallel},
                     {"stopOnFailure", FOptions.StopOnFailure},
                     {"backupDir", TextOrNull(FOptions.BackupDir)},
                     {"start", IsoOrNull(FStarted)},
                     {"end", IsoOrNull(FEnded)},
                     {"duration", Seconds(FStarted, FEnded)},
                     {"summary", QJsonObject{{"total", int(FRows.size())},
                                             {"updated", Count(QStringLiteral("ok"))},
                                             {"failed", Count(QStringLiteral("failed"))},
                                             {"skipped", Count(QStringLiteral("skipped"))},
                                             {"unknown", Count(QStringLiteral("unknown"))},
                                             {"text", SummaryText()}}},
                     {"devices", devices}};
}

QString TMassFlash::ReportCsv() const {
  QStringList header;
  for (const char* c : CCsvColumns) header << QLatin1String(c);
  QStringList lines{header.join(QLatin1Char(','))};
  for (const TMassRow& r : FRows) {
    const QJsonValue duration = Seconds(r.Start, r.End);
    const QStringList f{r.Target.Name, r.Serial, r.Ip.isEmpty() ? r.Target.Host : r.Ip, r.FwBefore, r.FwAfter,
                        r.BackupFile, r.Result, r.Message, Iso(r.Start), Iso(r.End),
                        duration.isNull() ? QString() : QString::number(duration.toDouble(), 'f', 3)};
    QStringList q;
    for (const QString& v : f) q << CsvField(v);
    lines << q.join(QLatin1Char(','));
  }
  return lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n");
}

bool TMassFlash::WriteReport(const QString& jsonPath, const QString& csvPath, QString& error) const {
  auto write = [&error](const QString& path, const QByteArray& bytes) {
    if (path.isEmpty()) return true;
    QDir().mkpath(QFileInfo(path).absolutePath());
    return SaveWhole(path, bytes, error);
  };
  return write(jsonPath, QJsonDocument(ReportJson()).toJson()) && write(csvPath, ReportCsv().toUtf8());
}

// ---- device lists ------------------------------------------------------------------------

bool TMassFlash::ParseHostLine(const QString& text, TMassTarget& t, QString& error) {
  const QString line = text.section(QLatin1Char('#'), 0, 0).trimmed();
  const QString addr = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
  t.Name = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
  // "[v6]:port", "host:port", "host", a bare v6 address.
  if (addr.startsWith(QLatin1Char('['))) {
    t.Host = addr.mid(1).section(QLatin1Char(']'), 0, 0);
    const QString rest = addr.section(QLatin1Char(']'), 1);
    if (rest.startsWith(QLatin1Char(':'))) t.Port = rest.mid(1).toInt();
  } else if (addr.count(QLatin1Char(':')) == 1) {
    t.Host = addr.section(QLatin1Char(':'), 0, 0);
    t.Port = addr.section(QLatin1Char(':'), 1).toInt();
  } else {
    t.Host = addr;
  }
  // An address, or a name as DNS allows it: a line of prose is no device.
  static const QRegularExpression name(
      QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*\\.?$"));
  const bool hostOk = !QHostAddress(t.Host).isNull() || (!t.Host.contains(QLatin1Char(':')) && name.match(t.Host).hasMatch());
  if (!hostOk || t.Port <= 0 || t.Port > 65535) {
    // A binary file read as a host list must not put its bytes on the terminal.
    QString shown = addr.left(60);
    for (QChar& c : shown)
      if (!c.isPrint()) c = QLatin1Char('?');
    error = tr("\"%1\" ist keine Adresse (host[:port] [Name])").arg(shown + (addr.size() > 60 ? QStringLiteral("…") : QString()));
    return false;
  }
  return true;
}

QList<TMassTarget> TMassFlash::LoadHostsText(const QString& path, QString& error) {
  QList<TMassTarget> out;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return {};
  }
  int n = 0;
  while (!f.atEnd()) {
    ++n;
    const QString line = QString::fromUtf8(f.readLine()).section(QLatin1Char('#'), 0, 0).trimmed();
    if (line.isEmpty()) continue;
    TMassTarget t;
    QString problem;
    if (!ParseHostLine(line, t, problem)) {
      error = QStringLiteral("%1:%2: %3").arg(path).arg(n).arg(problem);
      return {};
    }
    out << t;
  }
  if (out.isEmpty()) error = tr("%1: keine Geräte").arg(path);
  return out;
}

namespace {
bool TargetFromJson(const QJsonObject& o, TMassTarget& t) {
  t.Name = o.value(QLatin1String("device")).toString(o.value(QLatin1String("name")).toString());
  t.Host = o.value(QLatin1String("host")).toString();
  t.Port = o.value(QLatin1String("port")).toInt(5040);
  t.Ssh = o.value(QLatin1String("ssh")).toBool();
  t.SshPort = o.value(QLatin1String("ssh_port")).toInt(22);
  t.User = o.value(QLatin1String("user")).toString();
  t.Password = o.value(QLatin1String("password")).toString();
  t.Plant = o.value(QLatin1String("plant")).toString();
  t.Field = o.value(QLatin1String("field")).toString();
  return !t.Host.isEmpty() && t.Port > 0 && t.Port < 65536 && t.SshPort > 0 && t.SshPort < 65536;
}

QJsonDocument ReadJson(const QString& path, QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return {};
  }
  // A device list or report is small; anything huge is not one (and is
  // not read into memory to find that out).
  if (f.size() > 64ll * 1024 * 1024) {
    error = TTr::tr("%1: zu groß für eine Geräteliste (%2 Bytes)").arg(path).arg(f.size());
    return {};
  }
  QJsonParseError pe;
  const QJsonDocument d = QJsonDocument::fromJson(f.readAll(), &pe);
  if (pe.error != QJsonParseError::NoError) error = QStringLiteral("%1: %2 (Offset %3)").arg(path, pe.errorString()).arg(pe.offset);
  return d;
}
}  // namespace

QList<TMassTarget> TMassFlash::LoadHostsJson(const QString& path, QString& error) {
  const QJsonDocument d = ReadJson(path, error);
  if (!error.isEmpty()) return {};
  if (!d.isArray()) {
    error = tr("%1: eine Liste von Geräten erwartet").arg(path);
    return {};
  }
  QList<TMassTarget> out;
  int i = 0;
  for (const QJsonValue& v : d.array()) {
    ++i;
    TMassTarget t;
    if (!v.isObject() || !TargetFromJson(v.toObject(), t)) {
      error = tr("%1: Eintrag %2 ohne gültige Adresse").arg(path).arg(i);
      return {};
    }
    out << t;
  }
  if (out.isEmpty()) error = tr("%1: keine Geräte").arg(path);
  return out;
}

QList<TMassTarget> TMassFlash::FailedFromReport(const QString& reportPath, QString& error) {
  const QJsonDocument d = ReadJson(reportPath, error);
  if (!error.isEmpty()) return {};
  if (!d.isObject() || !d.object().value(QLatin1String("devices")).isArray()) {
    error = tr("%1: kein Bericht eines Massen-Updates").arg(reportPath);
    return {};
  }
  QList<TMassTarget> out;
  for (const QJsonValue& v : d.object().value(QLatin1String("devices")).toArray()) {
    const QJsonObject o = v.toObject();
    if (o.value(QLatin1String("result")).toString() == QLatin1String("ok")) continue;
    // Reports name the SSH port "sshPort"; older ones "ssh_port", which the
    // device list reader takes.
    QJsonObject row = o;
    if (row.contains(QLatin1String("sshPort")) && !row.contains(QLatin1String("ssh_port")))
      row.insert(QLatin1String("ssh_port"), row.value(QLatin1String("sshPort")));
    TMassTarget t;
    if (TargetFromJson(row, t)) out << t;
  }
  return out;
}

}  // namespace vanta
