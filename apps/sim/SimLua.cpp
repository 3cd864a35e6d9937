#include "SimLua.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QThread>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdlib>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "ByteOrder.h"
#include "SimDevice.h"
#include "SimRecords.h"
#include "Tar.h"
#include "VantaFW.h"

namespace vanta::sim {

namespace {
constexpr size_t CMemoryCap = 64u * 1024 * 1024;
constexpr int CInstructionSlice = 100000;
constexpr int CMaxSlices = 2000;  // about 2e8 instructions per statement
const char* const CSelfKey = "vanta.sim.self";
const char* const CSliceKey = "vanta.sim.slices";

TSimLua& Self(lua_State* L) {
  lua_getfield(L, LUA_REGISTRYINDEX, CSelfKey);
  auto* self = static_cast<TSimLua*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return *self;
}

void* Alloc(void* ud, void* ptr, size_t osize, size_t nsize) {
  auto* self = static_cast<TSimLua*>(ud);
  const size_t old = ptr ? osize : 0;
  if (nsize == 0) {
    self->MemoryUsed -= old;
    std::free(ptr);
    return nullptr;
  }
  if (self->MemoryUsed - old + nsize > CMemoryCap) return nullptr;
  void* p = std::realloc(ptr, nsize);
  if (p) self->MemoryUsed = self->MemoryUsed - old + nsize;
  return p;
}

void CountHook(lua_State* L, lua_Debug*) {
  lua_getfield(L, LUA_REGISTRYINDEX, CSliceKey);
  const lua_Integer n = lua_tointeger(L, -1) + 1;
  lua_pop(L, 1);
  lua_pushinteger(L, n);
  lua_setfield(L, LUA_REGISTRYINDEX, CSliceKey);
  if (n > CMaxSlices) luaL_error(L, "statement stopped: too many instructions");
}

QString Arg(lua_State* L, int i) { return QString::fromUtf8(luaL_checkstring(L, i)); }

// Maps a device path for the statement; raises a Lua error when it leaves the root.
QString MapOrFail(lua_State* L, const QString& path) {
  TSimDevice& dev = Self(L).Device();
  const QString local = dev.Storage.Map(path, dev.Storage.DataDir());
  if (local.isEmpty()) luaL_error(L, "access denied: %s", path.toUtf8().constData());
  return local;
}

int LPrint(lua_State* L) {
  QByteArray line;
  const int n = lua_gettop(L);
  for (int i = 1; i <= n; ++i) {
    size_t len = 0;
    const char* s = luaL_tolstring(L, i, &len);
    if (i > 1) line += '\t';
    line += QByteArray(s, qsizetype(len));
    lua_pop(L, 1);
  }
  Self(L).Print(line + "\r\n");
  return 0;
}

// ---- confined file access ----
int LWrapPathArg(lua_State* L) {
  // upvalue 1: the original function. A string first argument is a path.
  if (lua_type(L, 1) == LUA_TSTRING) {
    const QByteArray local = MapOrFail(L, Arg(L, 1)).toLocal8Bit();
    lua_pushstring(L, local.constData());
    lua_replace(L, 1);
  }
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_insert(L, 1);
  lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
  return lua_gettop(L);
}

void WrapPathFunction(lua_State* L, const char* table, const char* name) {
  lua_getglobal(L, table);
  lua_getfield(L, -1, name);
  lua_pushcclosure(L, LWrapPathArg, 1);
  lua_setfield(L, -2, name);
  lua_pop(L, 1);
}

int LDoFile(lua_State* L) {
  const QByteArray local = MapOrFail(L, Arg(L, 1)).toLocal8Bit();
  lua_settop(L, 1);
  if (luaL_loadfilex(L, local.constData(), "t") != LUA_OK) return lua_error(L);
  lua_call(L, 0, LUA_MULTRET);
  return lua_gettop(L) - 1;
}

int LLoadFile(lua_State* L) {
  const QByteArray local = MapOrFail(L, Arg(L, 1)).toLocal8Bit();
  if (luaL_loadfilex(L, local.constData(), "t") != LUA_OK) {
    lua_pushnil(L);
    lua_insert(L, -2);
    return 2;
  }
  return 1;
}

// ---- user, log ----
int LUserAuthorized(lua_State* L) {
  TSimLua& self = Self(L);
  const QString right = Arg(L, 1);
  const TSimUser* u = self.Device().Config.FindUser(self.User());
  lua_newtable(L);
  lua_pushboolean(L, u && u->HasRight(right));
  lua_setfield(L, -2, right.toUtf8().constData());
  return 1;
}

int LUserTicketGet(lua_State* L) {
  TSimLua& self = Self(L);
  const QByteArray t = self.Device().IssueTicket(self.User());
  lua_pushlstring(L, t.constData(), size_t(t.size()));
  return 1;
}

int LLogPrint(lua_State* L) {
  Self(L).Device().Log(Arg(L, 1));
  return 0;
}
// log.output("file"|"console"): where the device log goes.
int LLogOutput(lua_State* L) {
  const QString to = Arg(L, 1);
  if (to != QLatin1String("file") && to != QLatin1String("console")) return luaL_error(L, "log.output: file or console");
  Self(L).Device().Log(QStringLiteral("log output: ") + to);
  Self(L).Print(QStringLiteral("log output: %1\r\n").arg(to).toUtf8());
  return 0;
}

// ---- fs ----
int LFsCp(lua_State* L) {
  const QString from = MapOrFail(L, Arg(L, 1));
  const QString to = MapOrFail(L, Arg(L, 2));
  if (!QFileInfo(from).isFile()) return luaL_error(L, "fs.cp: no such file: %s", luaL_checkstring(L, 1));
  QDir().mkpath(QFileInfo(to).absolutePath());
  QFile::remove(to);
  if (!QFile::copy(from, to)) return luaL_error(L, "fs.cp: cannot write %s", luaL_checkstring(L, 2));
  lua_pushboolean(L, 1);
  return 1;
}

int LFsLs(lua_State* L) {
  QString pattern = lua_gettop(L) >= 1 ? Arg(L, 1) : QStringLiteral("/mnt/flashdrive0/data");
  QString filter = QStringLiteral("*");
  const QString last = pattern.section(QLatin1Char('/'), -1);
  if (last.contains(QLatin1Char('*')) || last.contains(QLatin1Char('?'))) {
    filter = last;
    pattern = pattern.left(pattern.size() - last.size());
  }
  const QString dir = MapOrFail(L, pattern);
  const QFileInfoList entries =
      QDir(dir).entryInfoList({filter}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  int count = 0;
  for (const QFileInfo& e : entries) {
    const QString line = QStringLiteral("%1 %2 %3 %4")
                             .arg(e.isDir() ? QStringLiteral("dir") : QStringLiteral("file"))
                             .arg(e.isDir() ? 0 : e.size())
                             .arg(e.lastModified().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                             .arg(e.fileName());
    Self(L).Print(line.toUtf8() + "\r\n");
    ++count;
  }
  lua_pushinteger(L, count);
  return 1;
}

int LFsRm(lua_State* L) {
  const QString path = MapOrFail(L, Arg(L, 1));
  const QFileInfo info(path);
  bool ok = false;
  if (info.isDir())
    ok = QDir(path).removeRecursively();
  else
    ok = QFile::remove(path);
  if (!ok) return luaL_error(L, "fs.rm: cannot remove %s", luaL_checkstring(L, 1));
  lua_pushboolean(L, 1);
  return 1;
}

int LFsDu(lua_State* L) {
  const QString path = MapOrFail(L, lua_gettop(L) >= 1 ? Arg(L, 1) : QStringLiteral("/mnt/flashdrive0"));
  qint64 total = 0;
  if (QFileInfo(path).isFile()) {
    total = QFileInfo(path).size();
  } else {
    QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      it.next();
      total += it.fileInfo().size();
    }
  }
  Self(L).Print(QByteArray::number(total) + "\r\n");
  lua_pushinteger(L, total);
  return 1;
}

// ---- uti ----
void SetField(lua_State* L, const char* key, const QString& value) {
  const QByteArray v = value.toUtf8();
  lua_pushlstring(L, v.constData(), size_t(v.size()));
  lua_setfield(L, -2, key);
}
void SetField(lua_State* L, const char* key, lua_Integer value) {
  lua_pushinteger(L, value);
  lua_setfield(L, -2, key);
}

void DriveTable(lua_State* L, const char* name, lua_Integer total, lua_Integer used) {
  lua_newtable(L);
  SetField(L, "total", total);
  SetField(L, "used", used);
  SetField(L, "free", total - used);
  SetField(L, "bad", lua_Integer(0));
  lua_setfield(L, -2, name);
}

QString Num(double v) { return QString::number(v, 'f', 3); }

int LUtiStat(lua_State* L) {
  TSimDevice& d = Self(L).Device();
  const TSimConfig& c = d.Config;
  lua_newtable(L);
  lua_newtable(L);
  SetField(L, "major", lua_Integer(c.FwMajor));
  SetField(L, "minor", lua_Integer(c.FwMinor));
  SetField(L, "patch", lua_Integer(c.FwPatch));
  lua_setfield(L, -2, "version");
  SetField(L, "revision", QStringLiteral("B"));
  SetField(L, "article", lua_Integer(c.Article));
  SetField(L, "serial", lua_Integer(c.SerialNumber));
  SetField(L, "plant", c.Plant);
  SetField(L, "fieldName", c.Field);
  SetField(L, "deviceName", c.Device);
  SetField(L, "upTime", lua_Integer(QDateTime::currentSecsSinceEpoch() - d.StartedAt));
  // time.utc.soc, time.utc.fracsec.dst, the sync source and (for DCF77) its signal.
  lua_newtable(L);
  lua_newtable(L);
  SetField(L, "soc", lua_Integer(d.NowSec()));
  lua_newtable(L);
  // The flag says whether daylight saving time is in force now, by the device's rules.
  SetField(L, "dst", lua_Integer((CorrectUTCtoLocal({uint32_t(d.NowSec()), 0}, c.TimeSet).Frac & CTSDstMask) ? 1 : 0));
  lua_setfield(L, -2, "fracsec");
  lua_setfield(L, -2, "utc");
  SetField(L, "source", QStringLiteral("NTP"));
  SetField(L, "sync", QStringLiteral("synchronised"));
  SetField(L, "syncSrc", QStringLiteral("NTP"));
  SetField(L, "signal", lua_Integer(1));
  SetField(L, "quality", lua_Integer(3500000));
  lua_setfield(L, -2, "time");
  qint64 used = 0;
  QDirIterator it(d.Storage.Root() + QStringLiteral("/mnt/flashdrive0"), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    used += it.fileInfo().size();
  }
  DriveTable(L, "flashdrive0", 4ll * 1024 * 1024 * 1024, used);
  DriveTable(L, "ramdrive0", 64ll * 1024 * 1024, 1024 * 1024);
  DriveTable(L, "sd0", 8ll * 1024 * 1024 * 1024, 3ll * 1024 * 1024 * 1024);
  lua_newtable(L);
  SetField(L, "active", lua_Integer(d.ActiveSessions));
  SetField(L, "max", lua_Integer(c.MaxConnections));
  lua_setfield(L, -2, "ccciWorker");
  lua_newtable(L);
  SetField(L, "eth0", c.Bind);
  lua_setfield(L, -2, "ip");
  lua_newtable(L);
  SetField(L, "10min", QStringLiteral("running"));
  SetField(L, "events", QStringLiteral("running"));
  lua_setfield(L, -2, "recording");
  lua_newtable(L);
  SetField(L, "cpu", QStringLiteral("12.5"));
  SetField(L, "dsp", QStringLiteral("41.0"));
  lua_setfield(L, -2, "sysLoad");
  lua_newtable(L);
  SetField(L, "requests", lua_Integer(d.NtpRequests));
  SetField(L, "good", lua_Integer(d.NtpGoodReplies));
  SetField(L, "bad", lua_Integer(d.NtpBadReplies));
  SetField(L, "last", d.NtpLastVerdict);
  lua_setfield(L, -2, "ntpTunnel");
  lua_newtable(L);
  SetField(L, "open", lua_Integer(d.CalOpen ? 1 : 0));
  SetField(L, "frequency", Num(d.CalFreq));
  SetField(L, "zeroU", lua_Integer(d.CalZeroU ? 1 : 0));
  SetField(L, "zeroI", lua_Integer(d.CalZeroI ? 1 : 0));
  SetField(L, "voltage", d.CalUDone ? Num(d.CalU) : QString());
  SetField(L, "current", d.CalIDone ? Num(d.CalI) : QString());
  SetField(L, "stored", lua_Integer(d.CalKept ? 1 : 0));
  SetField(L, "statements", lua_Integer(d.CalStatements));
  lua_setfield(L, -2, "calibration");
  // SCADA links and the four time servers, fixed so the pages have something to show.
  lua_newtable(L);
  lua_newtable(L);
  SetField(L, "state", QStringLiteral("connected"));
  SetField(L, "requests", lua_Integer(4711));
  lua_setfield(L, -2, "slave1");
  SetField(L, "port", lua_Integer(502));
  lua_setfield(L, -2, "modbus");
  lua_newtable(L);
  SetField(L, "Client1", QStringLiteral("connected 10.0.0.20:2404"));
  lua_setfield(L, -2, "iec104");
  lua_newtable(L);
  SetField(L, "Client1", QStringLiteral("listening :102"));
  lua_setfield(L, -2, "iec850");
  lua_newtable(L);
  for (int k = 1; k <= 4; ++k) {
    lua_newtable(L);
    SetField(L, "server", QStringLiteral("10.0.0.%1").arg(k));
    SetField(L, "stratum", lua_Integer(k + 1));
    SetField(L, "lastsync", lua_Integer(d.NowSec() - 30 * k));
    lua_newtable(L);
    SetField(L, "soc", lua_Integer(d.NowSec() - 30 * k));
    lua_setfield(L, -2, "utc");
    lua_rawseti(L, -2, k);
  }
  lua_setfield(L, -2, "NTP");
  // --status-extra: "a.b.c=value" lines merged into the table.
  for (const auto& [key, value] : c.StatusExtra) {
    const QStringList parts = key.split(QLatin1Char('.'));
    int depth = 0;
    for (int i = 0; i + 1 < parts.size(); ++i) {
      const QByteArray k = parts[i].toUtf8();
      lua_getfield(L, -1, k.constData());
      if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushvalue(L, -1);
        lua_setfield(L, -3, k.constData());
      }
      ++depth;
    }
    SetField(L, parts.last().toUtf8().constData(), value);
    lua_pop(L, depth);
  }
  return 1;
}

int LUtiMute(lua_State* L) {
  Self(L).SetMuted(true);
  return 0;
}
int LUtiUnmute(lua_State* L) {
  Self(L).SetMuted(false);
  return 0;
}
int LUtiFlushLog(lua_State* L) {
  Self(L).Device().Log(QStringLiteral("log flushed"));
  lua_pushboolean(L, 1);
  return 1;
}

// One table of result codes for every device function that returns one;
// uti.err2ascii turns them into the device's texts.
struct TCodeText {
  lua_Integer Code;
  const char* Text;
};
constexpr TCodeText CCodeTexts[] = {
    {0, "No Error"},
    {1, "Update package not found"},
    {2, "Update package is empty"},
    {3, "Update package is invalid"},
    {4, "Not enough space for the update"},
    {5, "Update package does not fit this device"},
    {13, "Permission denied"},
    {16, "Device or resource busy"},
    {19, "No such device"},
    {22, "Invalid argument"},
    {62, "Timer expired"},
    {200, "Calibration ok"},
    {201, "Calibration todo"},
    {202, "Frequency tolerance violation"},
    {203, "Frequency fluctuation"},
    {204, "Magnitude out of range"},
    {205, "Distortion"},
    {206, "Calibration tolerance violation"},
    {207, "Calibration quantity fluctuation"},
    {208, "Calibration invalid"},
};

const char* FwErrorText(lua_Integer code) {
  for (const TCodeText& c : CCodeTexts)
    if (c.Code == code) return c.Text;
  return "Unknown error";
}

// The device checks the archive the way its installer would: a gzip tar
// whose "version" entry names the firmware it brings.
int LUtiFwUpdate(lua_State* L) {
  TSimDevice& d = Self(L).Device();
  const QString arg = Arg(L, 1);
  const QString local = d.Storage.Map(arg, d.Storage.DataDir());
  lua_Integer code = 0;
  QString version;
  QFile f(local);
  if (local.isEmpty() || !f.open(QIODevice::ReadOnly)) {
    code = 1;
  } else if (f.size() == 0) {
    code = 2;
  } else {
    QByteArray text;
    bool found = false;
    int a = 0, b = 0, c = 0;
    if (TarGzReadEntry(local, QStringLiteral("version"), text, found, 64).isEmpty() && found &&
        TVantaFW::ParseVersionText(QString::fromLatin1(text).trimmed(), a, b, c))
      version = QStringLiteral("%1.%2.%3").arg(a).arg(b).arg(c);
    // The installer reads the archive to its end before it touches anything.
    if (version.isEmpty() || !TarGzVerify(local).isEmpty()) code = 3;
  }
  if (code == 0 && d.Config.FwFailCode > 0) code = d.Config.FwFailCode;
  // A real installer takes its time; the engine answers nothing meanwhile.
  if (code == 0 && d.Config.FwInstallMs > 0) QThread::msleep(ulong(d.Config.FwInstallMs));
  d.Log(QStringLiteral("fwUpdate %1: %2%3")
            .arg(arg, QLatin1String(FwErrorText(code)), code == 0 ? QStringLiteral(" -> ") + version : QString()));
  if (code != 0) {
    Self(L).AddError(QByteArray("fwUpdate: ") + FwErrorText(code) + "\r\n");
  } else {
    d.RequestReboot(version);
  }
  lua_pushinteger(L, code);
  return 1;
}

int LUtiErr2Ascii(lua_State* L) {
  lua_pushstring(L, FwErrorText(luaL_checkinteger(L, 1)));
  return 1;
}

int LUtiSetDateTime(lua_State* L, int y, int mo, int dd, int h, int mi, int s) {
  TSimDevice& d = Self(L).Device();
  const QDateTime target(QDate(y, mo, dd), QTime(h, mi, s), Qt::UTC);
  if (!target.isValid()) return luaL_error(L, "invalid date or time");
  d.ClockOffsetSec = target.toSecsSinceEpoch() - QDateTime::currentSecsSinceEpoch();
  lua_pushboolean(L, 1);
  return 1;
}

// The clock statements take texts ("hh:nn:ss", "dd.mm.yyyy", "dd.mm.yyyy
// hh:nn:ss", the device's own time); numbers are accepted as well.
int LUtiSetTime(lua_State* L) {
  const QDateTime now = QDateTime::fromSecsSinceEpoch(Self(L).Device().NowSec(), Qt::UTC);
  if (lua_type(L, 1) == LUA_TSTRING) {
    const QTime t = QTime::fromString(QString::fromUtf8(lua_tostring(L, 1)), QStringLiteral("HH:mm:ss"));
    if (!t.isValid()) return luaL_error(L, "invalid time, expected hh:nn:ss");
    return LUtiSetDateTime(L, now.date().year(), now.date().month(), now.date().day(), t.hour(), t.minute(), t.second());
  }
  return LUtiSetDateTime(L, now.date().year(), now.date().month(), now.date().day(), int(luaL_checkinteger(L, 1)),
                         int(luaL_checkinteger(L, 2)), int(luaL_optinteger(L, 3, 0)));
}

int LUtiSetDate(lua_State* L) {
  const QDateTime now = QDateTime::fromSecsSinceEpoch(Self(L).Device().NowSec(), Qt::UTC);
  if (lua_type(L, 1) == LUA_TSTRING) {
    const QDate d = QDate::fromString(QString::fromUtf8(lua_tostring(L, 1)), QStringLiteral("dd.MM.yyyy"));
    if (!d.isValid()) return luaL_error(L, "invalid date, expected dd.mm.yyyy");
    return LUtiSetDateTime(L, d.year(), d.month(), d.day(), now.time().hour(), now.time().minute(), now.time().second());
  }
  return LUtiSetDateTime(L, int(luaL_checkinteger(L, 3)), int(luaL_checkinteger(L, 2)), int(luaL_checkinteger(L, 1)),
                         now.time().hour(), now.time().minute(), now.time().second());
}

int LUtiSetDateTimeAll(lua_State* L) {
  if (lua_type(L, 1) == LUA_TSTRING) {
    const QDateTime t = QDateTime::fromString(QString::fromUtf8(lua_tostring(L, 1)), QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    if (!t.isValid()) return luaL_error(L, "invalid date and time, expected dd.mm.yyyy hh:nn:ss");
    return LUtiSetDateTime(L, t.date().year(), t.date().month(), t.date().day(), t.time().hour(), t.time().minute(),
                           t.time().second());
  }
  return LUtiSetDateTime(L, int(luaL_checkinteger(L, 1)), int(luaL_checkinteger(L, 2)), int(luaL_checkinteger(L, 3)),
                         int(luaL_checkinteger(L, 4)), int(luaL_checkinteger(L, 5)), int(luaL_optinteger(L, 6, 0)));
}

// ---- gpio ----
int LKey(lua_State* L) {
  TSimDevice& d = Self(L).Device();
  d.LastKey = QString::fromUtf8(lua_tostring(L, lua_upvalueindex(1)));
  ++d.KeyPresses;
  lua_pushboolean(L, 1);
  return 1;
}

// ---- pq ----
// The calibration functions act as if a calibrator fed the inputs: a
// perfect one by default (after calOpen(f) it runs at f, the zero steps see
// nothing, calU(x) and calI(y) see x and y), or the fixed source of
// --cal-source. Each returns a code; firmware before 2.10 also prints its
// text (the statements then go out bare).
int CalResult(lua_State* L, const QString& statement, lua_Integer code) {
  TSimDevice& d = Self(L).Device();
  ++d.CalStatements;
  d.Log(QStringLiteral("cal: %1 -> %2").arg(statement, QLatin1String(FwErrorText(code))));
  if (!(d.Config.FwMajor > 2 || (d.Config.FwMajor == 2 && d.Config.FwMinor >= 10)))
    Self(L).Print(QByteArray(FwErrorText(code)) + "\r\n");
  lua_pushinteger(L, code);
  return 1;
}

// An injected answer for this function (--cal-fault FUNC=TEXT), or -1.
lua_Integer CalFault(lua_State* L, const char* fn) {
  // A calibration function that keeps the device busy (--cal-delay-ms).
  if (const int ms = Self(L).Device().Config.CalDelayMs; ms > 0) QThread::msleep(ulong(ms));
  const QString text = Self(L).Device().Config.CalFaults.value(QLatin1String(fn));
  if (text.isEmpty()) return -1;
  for (const TCodeText& c : CCodeTexts)
    if (text == QLatin1String(c.Text)) return c.Code;
  return 22;
}

// The device restarts (like after an update, with its firmware unchanged);
// the answer goes out first.
int LUtiSoftReset(lua_State* L) {
  TSimDevice& d = Self(L).Device();
  d.Log(QStringLiteral("soft reset requested"));
  if (const lua_Integer c = CalFault(L, "softreset"); c >= 0) return CalResult(L, QStringLiteral("uti.softreset()"), c);
  d.RequestReboot(QStringLiteral("%1.%2.%3").arg(d.Config.FwMajor).arg(d.Config.FwMinor).arg(d.Config.FwPatch));
  return CalResult(L, QStringLiteral("uti.softreset()"), 0);
}

int LCalOpen(lua_State* L) {
  TSimDevice& d = Self(L).Device();
  const double f = luaL_checknumber(L, 1);
  const QString st = QStringLiteral("pq.calOpen(%1)").arg(Num(f));
  if (const lua_Integer c = CalFault(L, "calOpen"); c >= 0) return CalResult(L, st, c);
  if (qAbs(f - 50) > 1e-6 && qAbs(f - 60) > 1e-6) return CalResult(L, st, 22);
  if (d.CalOpen) return CalResult(L, st, 16);
  const double source = d.Config.CalSource ? d.Config.CalSourceF : f;
  if (qAbs(source - f) > 0.05) return CalResult(L, st, 202);
  d.CalOpen = true;
  d.CalFreq = f;
  d.CalZeroU = d.CalZeroI = d.CalUDone = d.CalIDone = false;
  d.CalKept = false;
  return CalResult(L, st, 0);
}

// calU / calI: 0 is the zero measurement, anything else the reference the
// operator read off the meter, compared with what the source feeds.
int CalQuantity(lua_State* L, bool voltage) {
  TSimDevice& d = Self(L).Device();
  const double x = luaL_checknumber(L, 1);
  const QString st = QStringLiteral("pq.cal%1(%2)").arg(voltage ? QLatin1Char('U') : QLatin1Char('I')).arg(Num(x));
  if (const lua_Integer c = CalFault(L, voltage ? "calU" : "calI"); c >= 0) return CalResult(L, st, c);
  if (!d.CalOpen) return CalResult(L, st, 201);
  const double limit = voltage ? 1000.0 : 100.0;
  if (x < 0 || x > limit) return CalResult(L, st, 204);
  bool& zero = voltage ? d.CalZeroU : d.CalZeroI;
  if (x == 0) {
    zero = true;
    return CalResult(L, st, 0);
  }
  if (!zero) return CalResult(L, st, 201);
  const double source = d.Config.CalSource ? (voltage ? d.Config.CalSourceU : d.Config.CalSourceI) : x;
  if (source <= 0 || qAbs(x - source) > 0.01 * source) return CalResult(L, st, 206);
  (voltage ? d.CalUDone : d.CalIDone) = true;
  (voltage ? d.CalU : d.CalI) = x;
  return CalResult(L, st, 0);
}
int LCalU(lua_State* L) { return CalQuantity(L, true); }
int LCalI(lua_State* L) { return CalQuantity(L, false); }

int LCalState(lua_State* L) {
  TSimDevice& d = Self(L).Device();
  if (lua_gettop(L) == 0) {  // the old form without arguments: the configured text
    const QByteArray s = d.Config.CalState.toUtf8();
    lua_pushlstring(L, s.constData(), size_t(s.size()));
    return 1;
  }
  const lua_Integer ch = luaL_checkinteger(L, 1), pass = luaL_optinteger(L, 2, 0);
  const QString st = QStringLiteral("pq.calState(%1,%2)").arg(ch).arg(pass);
  if (const lua_Integer c = CalFault(L, "calState"); c >= 0) return CalResult(L, st, c);
  if (ch < 1 || ch > 8) return CalResult(L, st, 19);
  if (pass != 0 && pass != 1) return CalResult(L, st, 22);
  QString text = d.Config.CalChannelState.value(int(ch));
  if (text.isEmpty() && d.Config.CalState != QLatin1String("Calibration ok")) text = d.Config.CalState;
  if (!text.isEmpty()) {
    for (const TCodeText& c : CCodeTexts)
      if (text == QLatin1String(c.Text)) return CalResult(L, st, c.Code);
    return CalResult(L, st, 22);
  }
  const bool done = d.CalOpen && (ch <= 4 ? d.CalUDone : d.CalIDone);
  return CalResult(L, st, done ? 200 : 201);
}

int LCalClose(lua_State* L) {
  TSimDevice& d = Self(L).Device();
  const lua_Integer keep = luaL_optinteger(L, 1, 0);
  const QString st = QStringLiteral("pq.calClose(%1)").arg(keep);
  if (const lua_Integer c = CalFault(L, "calClose"); c >= 0) return CalResult(L, st, c);
  if (keep != 0 && keep != 1) return CalResult(L, st, 22);
  d.CalKept = keep == 1 && d.CalOpen && d.CalUDone && d.CalIDone;
  if (d.CalKept) d.Log(QStringLiteral("calibration stored (%1 V, %2 A, %3 Hz)").arg(Num(d.CalU), Num(d.CalI), Num(d.CalFreq)));
  d.CalOpen = false;
  return CalResult(L, st, 0);
}
int LTriggerRec(lua_State* L) {
  TSimDevice& d = Self(L).Device();
  QString error;
  WriteTriggered(d, d.Now(), error);
  if (!error.isEmpty()) return luaL_error(L, "%s", error.toUtf8().constData());
  ++d.TriggeredEvents;
  lua_pushboolean(L, 1);
  return 1;
}
int LEvtOscHpCnt(lua_State* L) {
  Self(L).Print(QByteArray::number(Self(L).Device().TriggeredEvents) + "\r\n");
  lua_pushinteger(L, Self(L).Device().TriggeredEvents);
  return 1;
}

// ---- ips ----
// ips.pcapStart(interface, path, limit, filter...): a limit is a packet
// count or a duration "1h2m3s"; a filter is "all|src|dst@a.b.c.d" or an address.
int LPcapStart(lua_State* L) {
  TSimDevice& d = Self(L).Device();
  const QString iface = QString::fromUtf8(luaL_checkstring(L, 1));
  const QString path = QString::fromUtf8(luaL_checkstring(L, 2));
  if (iface.isEmpty()) return luaL_error(L, "pcapStart: no interface");
  static const QRegularExpression CPath(QStringLiteral("^/mnt/flashdrive0/data/[^/]+\\.pcap$"));
  if (!CPath.match(path).hasMatch()) return luaL_error(L, "pcapStart: bad file %s", luaL_checkstring(L, 2));
  qint64 packets = 0;
  if (lua_isinteger(L, 3)) {
    packets = lua_tointeger(L, 3);
    if (packets < 1) return luaL_error(L, "pcapStart: packet count must be at least 1");
  } else {
    static const QRegularExpression CTime(QStringLiteral("^(\\d+h)?(\\d+m)?(\\d+s)?$"));
    const QString limit = QString::fromUtf8(luaL_checkstring(L, 3));
    if (limit.isEmpty() || !CTime.match(limit).hasMatch()) return luaL_error(L, "pcapStart: bad duration '%s'", luaL_checkstring(L, 3));
  }
  static const QRegularExpression CFilter(QStringLiteral("^((all|src|dst)@)?\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}$"));
  for (int i = 4; i <= lua_gettop(L); ++i)
    if (!CFilter.match(QString::fromUtf8(luaL_checkstring(L, i))).hasMatch()) return luaL_error(L, "pcapStart: bad filter '%s'", lua_tostring(L, i));
  // The file is there at once: global header and the first packets.
  QByteArray pcap;
  TByteWriter w(pcap);
  w.U32(0xA1B2C3D4);
  w.U16(2);
  w.U16(4);
  w.U32(0);
  w.U32(0);
  w.U32(65535);
  w.U32(1);  // Ethernet
  const int count = int(packets > 0 ? std::min<qint64>(packets, 3) : 3);
  for (int i = 0; i < count; ++i) {
    // Ethernet, IPv4 (46 bytes: header, UDP header, 18 bytes of payload), UDP port 123.
    QByteArray pkt = QByteArray::fromHex("ffffffffffff020000000001" "0800"
                                         "4500002e000000004011000a0a0000020a000001"
                                         "007b007b001a0000");
    pkt += QByteArray(18, char('a' + i));
    w.U32(d.NowSec());
    w.U32(uint32_t(i * 1000));
    w.U32(uint32_t(pkt.size()));
    w.U32(uint32_t(pkt.size()));
    w.Bytes(pkt);
  }
  QFile f(MapOrFail(L, path));
  if (!f.open(QIODevice::WriteOnly) || f.write(pcap) != pcap.size()) return luaL_error(L, "cannot write capture");
  const QString name = path.section(QLatin1Char('/'), -1);
  Self(L).Print(QStringLiteral("capture started on %1: %2\r\n").arg(iface, name).toUtf8());
  lua_pushstring(L, name.toUtf8().constData());
  return 1;
}
int LFtpOpen(lua_State* L) {
  Self(L).Print("ftp open\r\n");
  Self(L).Device().FtpOpen = true;
  lua_pushboolean(L, 1);
  return 1;
}
int LFtpClose(lua_State* L) {
  Self(L).Print("ftp closed\r\n");
  Self(L).Device().FtpOpen = false;
  lua_pushboolean(L, 1);
  return 1;
}
int LOmapReset(lua_State* L) {
  Self(L).Print("omap reset\r\n");
  lua_pushboolean(L, 1);
  return 1;
}

void Register(lua_State* L, const char* table, const luaL_Reg* fns) {
  lua_newtable(L);
  luaL_setfuncs(L, fns, 0);
  lua_setglobal(L, table);
}
}  // namespace

TSimLua::TSimLua(TSimDevice& device, QString user) : FDevice(device), FUser(std::move(user)) {
  L = lua_newstate(Alloc, this);
  lua_pushlightuserdata(L, this);
  lua_setfield(L, LUA_REGISTRYINDEX, CSelfKey);
  OpenLibraries();
}

TSimLua::~TSimLua() {
  if (L) lua_close(L);
}

void TSimLua::OpenLibraries() {
  luaL_requiref(L, LUA_GNAME, luaopen_base, 1);
  luaL_requiref(L, LUA_TABLIBNAME, luaopen_table, 1);
  luaL_requiref(L, LUA_STRLIBNAME, luaopen_string, 1);
  luaL_requiref(L, LUA_MATHLIBNAME, luaopen_math, 1);
  luaL_requiref(L, LUA_UTF8LIBNAME, luaopen_utf8, 1);
  luaL_requiref(L, LUA_IOLIBNAME, luaopen_io, 1);
  luaL_requiref(L, LUA_OSLIBNAME, luaopen_os, 1);
  lua_settop(L, 0);

  // Only what cannot reach outside the device root stays.
  const char* const removedOs[] = {"execute", "exit", "getenv", "tmpname", "setlocale"};
  lua_getglobal(L, "os");
  for (const char* name : removedOs) {
    lua_pushnil(L);
    lua_setfield(L, -2, name);
  }
  lua_pop(L, 1);
  lua_getglobal(L, "io");
  for (const char* name : {"popen", "tmpfile"}) {
    lua_pushnil(L);
    lua_setfield(L, -2, name);
  }
  lua_pop(L, 1);
  WrapPathFunction(L, "io", "open");
  WrapPathFunction(L, "io", "lines");
  WrapPathFunction(L, "io", "input");
  WrapPathFunction(L, "io", "output");
  WrapPathFunction(L, "os", "remove");
  lua_pushcfunction(L, LDoFile);
  lua_setglobal(L, "dofile");
  lua_pushcfunction(L, LLoadFile);
  lua_setglobal(L, "loadfile");
  lua_pushcfunction(L, LPrint);
  lua_setglobal(L, "print");
  lua_pushnil(L);
  lua_setglobal(L, "require");

  const luaL_Reg userFns[] = {{"authorized", LUserAuthorized}, {"ticketGet", LUserTicketGet}, {nullptr, nullptr}};
  Register(L, "user", userFns);
  const luaL_Reg logFns[] = {{"print", LLogPrint}, {"output", LLogOutput}, {nullptr, nullptr}};
  Register(L, "log", logFns);
  const luaL_Reg fsFns[] = {{"cp", LFsCp}, {"ls", LFsLs}, {"rm", LFsRm}, {"du", LFsDu}, {nullptr, nullptr}};
  Register(L, "fs", fsFns);
  const luaL_Reg utiFns[] = {{"stat", LUtiStat},
                             {"mute", LUtiMute},
                             {"unmute", LUtiUnmute},
                             {"flushLog", LUtiFlushLog},
                             {"fwUpdate", LUtiFwUpdate},
                             {"err2ascii", LUtiErr2Ascii},
                             {"setTime", LUtiSetTime},
                             {"setDate", LUtiSetDate},
                             {"setDateTime", LUtiSetDateTimeAll},
                             {"softreset", LUtiSoftReset},
                             {"version", nullptr},
                             {nullptr, nullptr}};
  Register(L, "uti", utiFns);
  if (FDevice.Config.NoStat) {  // older firmware: the status script finds nothing
    lua_getglobal(L, "uti");
    lua_pushnil(L);
    lua_setfield(L, -2, "stat");
    lua_pop(L, 1);
  }
  // uti.version() is handy for quick checks from the command line.
  lua_getglobal(L, "uti");
  lua_pushfstring(L, "%d.%d.%d", FDevice.Config.FwMajor, FDevice.Config.FwMinor, FDevice.Config.FwPatch);
  lua_pushcclosure(
      L, [](lua_State* S) -> int {
        lua_pushvalue(S, lua_upvalueindex(1));
        return 1;
      },
      1);
  lua_setfield(L, -2, "version");
  lua_pop(L, 1);

  lua_newtable(L);
  for (const char* key : {"keyLeft", "keyRight", "keyUp", "keyDown", "keyEnter"}) {
    lua_pushstring(L, key);
    lua_pushcclosure(L, LKey, 1);
    lua_setfield(L, -2, key);
  }
  lua_setglobal(L, "gpio");
  const luaL_Reg pqFns[] = {{"calOpen", LCalOpen},       {"calU", LCalU},            {"calI", LCalI},
                            {"calState", LCalState},     {"calClose", LCalClose},    {"triggerRec", LTriggerRec},
                            {"getEvtOscHpCnt", LEvtOscHpCnt}, {nullptr, nullptr}};
  Register(L, "pq", pqFns);
  const luaL_Reg ipsFns[] = {{"pcapStart", LPcapStart}, {"ftpOpen", LFtpOpen}, {"ftpClose", LFtpClose}, {nullptr, nullptr}};
  Register(L, "ips", ipsFns);
  const luaL_Reg omapFns[] = {{"reset", LOmapReset}, {nullptr, nullptr}};
  Register(L, "omap", omapFns);
}

TSimLua::TResult TSimLua::Run(const QByteArray& statement) {
  TResult result;
  FOut.clear();
  QByteArray code = statement;
  while (code.endsWith('\n') || code.endsWith('\r')) code.chop(1);
  lua_settop(L, 0);
  lua_pushinteger(L, 0);
  lua_setfield(L, LUA_REGISTRYINDEX, CSliceKey);
  lua_sethook(L, CountHook, LUA_MASKCOUNT, CInstructionSlice);
  int rc = luaL_loadbufferx(L, code.constData(), size_t(code.size()), "=statement", "t");
  if (rc == LUA_OK) rc = lua_pcall(L, 0, 0, 0);
  lua_sethook(L, nullptr, 0, 0);
  if (rc != LUA_OK) {
    result.Failed = true;
    const char* msg = lua_tostring(L, -1);
    result.Error = msg ? QByteArray(msg) : QByteArray("error");
    result.Error += "\r\n";
    lua_pop(L, 1);
  }
  if (!FPendingError.isEmpty()) {
    result.Failed = true;
    result.Error.prepend(FPendingError);
    FPendingError.clear();
  }
  result.Output = FOut;
  FOut.clear();
  FMuted = false;
  return result;
}

bool KnownResultText(const QString& text) {
  for (const TCodeText& c : CCodeTexts)
    if (text == QLatin1String(c.Text)) return true;
  return false;
}

}  // namespace vanta::sim
