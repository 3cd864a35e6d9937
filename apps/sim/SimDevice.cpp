#include "SimDevice.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>

namespace vanta::sim {

TSimDevice::TSimDevice(TSimConfig& cfg, TSimStorage& storage) : Config(cfg), Storage(storage) {
  StartedAt = QDateTime::currentSecsSinceEpoch();
}

uint32_t TSimDevice::NowSec() const { return uint32_t(QDateTime::currentSecsSinceEpoch() + ClockOffsetSec); }

tmStamp_t TSimDevice::Now() const {
  const int64_t ms = QDateTime::currentMSecsSinceEpoch() + ClockOffsetSec * 1000;
  return {uint32_t(ms / 1000), uint32_t((ms % 1000) * 1000000)};
}

ccci::TIdentityBasic TSimDevice::IdentityBasic() const { return {Config.SerialNumber, Config.Article, Config.ProdDate}; }

ccci::TIdentityFull TSimDevice::IdentityFull() const {
  ccci::TIdentityFull id;
  id.SerNum = Config.SerialNumber;
  id.ArtNum = Config.Article;
  id.ProdDate = Config.ProdDate;
  id.DevClock = NowSec();
  id.TimeSet = Config.TimeSet;
  id.FirmwareWord = Config.RawFirmwareWord();
  id.Plant = Config.Plant.toLatin1();
  id.Field = Config.Field.toLatin1();
  id.Device = Config.Device.toLatin1();
  return id;
}

bool TSimDevice::CheckPassword(const QString& user, const QString& password) const {
  const TSimUser* u = Config.FindUser(user);
  return u && u->Password == password;
}

void TSimDevice::ChangePassword(const QString& user, const QString& password) {
  for (TSimUser& u : Config.Users)
    if (u.Name == user) u.Password = password;
  Config.ExpiredUsers.removeAll(user);
  Log(QStringLiteral("password of %1 changed").arg(user));
}

QByteArray TSimDevice::IssueTicket(const QString& user) {
  QByteArray t;
  for (int i = 0; i < 4; ++i) t += QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0');
  FTickets.insert(user, t);
  // A Lua shell started by an outside SSH server runs as its own process on
  // the same device root; the ticket file lets the CCCI service honour it.
  // One line per user, like the in-memory table: a new ticket replaces the old.
  QFile f(TicketFile());
  QByteArray kept;
  const QByteArray prefix = user.toUtf8() + '=';
  if (f.open(QIODevice::ReadOnly)) {
    while (!f.atEnd()) {
      const QByteArray line = f.readLine();
      if (!line.startsWith(prefix)) kept += line;
    }
    f.close();
  }
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(kept + prefix + t + '\n');
  return t;
}

bool TSimDevice::CheckTicket(const QString& user, const QByteArray& ticket) const {
  if (ticket.isEmpty()) return false;
  if (FTickets.value(user) == ticket) return true;
  QFile f(TicketFile());
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray wanted = user.toUtf8() + '=' + ticket;
  while (!f.atEnd())
    if (f.readLine().trimmed() == wanted) return true;
  return false;
}

QString TSimDevice::TicketFile() const { return Storage.Root() + QStringLiteral("/ramdrive0/tickets"); }

void TSimDevice::Log(const QString& line) {
  QFile f(Storage.LogFile());
  if (!f.open(QIODevice::Append)) return;
  const QString stamp = QDateTime::fromSecsSinceEpoch(NowSec(), Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  f.write((stamp + QLatin1Char(' ') + line + QStringLiteral("\n")).toUtf8());
}

void TSimDevice::RequestReboot(const QString& version) {
  ++FwUpdates;
  if (OnReboot) OnReboot(version);
}

}  // namespace vanta::sim
