#include "Sammler.h"
#include "Language.h"

#include <QStandardPaths>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QTimeZone>
#include <cmath>

namespace vanta {

QString DevTypeName(TDevType t) {
  switch (t) {
    case TDevType::devtypNone: return QStringLiteral("devtypNone");
    case TDevType::devtypVanta: return QStringLiteral("devtypVanta");
    case TDevType::devtypVantaDE: return QStringLiteral("devtypVantaDE");
    case TDevType::devtypOmnivex: return QStringLiteral("devtypOmnivex");
    case TDevType::devtypVantaLorn: return QStringLiteral("devtypVantaLorn");
  }
  return QStringLiteral("devtypNone");
}

namespace {
constexpr std::array<const char*, 11> CDirectKindNames = {"dkpara",  "dkparaRefresh", "dkvisu",   "dkdata",
                                                          "dkoffline", "dkflash",     "dkmassflash", "dkstatus",
                                                          "dkInitSSH", "dkUserSetup", "dkcalib"};
constexpr std::array<const char*, 7> CScratchpadNames = {"spNone",   "spLangTXT", "spXML", "spGetLog",
                                                         "spFlushLog", "spStatus", "spPCAP"};
}  // namespace

QString DirectKindName(TDirectKind k) { return QString::fromLatin1(CDirectKindNames[static_cast<size_t>(k)]); }

QString ScratchpadName(TCCCISratchpad s) { return QString::fromLatin1(CScratchpadNames[static_cast<size_t>(s)]); }

void TXMLRec::AddListe(QString text) {
  // Consumed from the front, piece by piece, so an empty piece between two
  // commas is kept as an empty choice.
  while (!text.isEmpty()) {
    const qsizetype at = text.indexOf(QLatin1Char(','));
    if (at < 0) {
      Lst.append(text);
      break;
    }
    Lst.append(text.left(at));
    text.remove(0, at + 1);
  }
}

QString NanoSecToDuration(uint64_t ns) {
  if (ns == 0) return CMinus;
  if (ns < 3000) return QStringLiteral("%1 ns").arg(ns);
  struct Band {
    uint64_t Below;
    double Divisor;
    const char* Unit;
  };
  // Unit words are user texts of the readout window.
  static const Band CBands[] = {
      {3000000ull, 1e3, "μs"},
      {3000000000ull, 1e6, "ms"},
      {60000000000ull, 1e9, QT_TRANSLATE_NOOP("TTr", "Sek")},
      {3600000000000ull, 60e9, QT_TRANSLATE_NOOP("TTr", "Min")},
      {86400000000000ull, 3600e9, QT_TRANSLATE_NOOP("TTr", "Std")},
      {UINT64_MAX, 86400e9, QT_TRANSLATE_NOOP("TTr", "Tage")},
  };
  for (const Band& b : CBands) {
    if (ns < b.Below || b.Below == UINT64_MAX) {
      // Pattern "0.#": at most one decimal, no trailing zero.
      QString num = QString::number(double(ns) / b.Divisor, 'f', 1);
      if (num.endsWith(QLatin1String(".0"))) num.chop(2);
      return num + QLatin1Char(' ') + TTr::tr(b.Unit);
    }
  }
  return CMinus;
}

namespace {
// Rounds half to even, as the ramp's reference values were computed.
int32_t RoundEven(double v) { return int32_t(std::nearbyint(v)); }

uint32_t Channel(int32_t v) { return uint32_t(((v % 256) + 256) % 256); }

TAlphaColor Argb(int32_t r, int32_t g, int32_t b) {
  return 0xFF000000u | (Channel(r) << 16) | (Channel(g) << 8) | Channel(b);
}
}  // namespace

TAlphaColor AlphaColVerlauf(int32_t max, int32_t pos) {
  if (max <= 0) return 0xFF000000u;
  const int32_t p = RoundEven(double(pos) * 100.0 / double(max));
  const int32_t step = RoundEven(double(max) / 6.0);
  auto up = [&](int k) -> int32_t {
    if (step == 0) return 255;
    return RoundEven(255.0 / double(step) * double(pos - k * step));
  };
  auto down = [&](int k) -> int32_t { return 255 - up(k); };
  if (p < 0 || p > 100) return 0xFF000000u;  // callers stay within 0..max
  if (p == 0) return 0xFFFF0000u;
  if (p <= 16) return Argb(255, up(0), 0);
  if (p == 17) return 0xFFFFFF00u;
  if (p <= 32) return Argb(down(1), 255, 0);
  if (p == 33) return 0xFF00FF00u;
  if (p <= 49) return Argb(0, 255, up(2));
  if (p == 50) return 0xFF00FFFFu;
  if (p <= 66) return Argb(0, down(3), 255);
  if (p == 67) return 0xFF0000FFu;
  if (p <= 83) return Argb(up(4), 0, 255);
  if (p == 84) return 0xFFFF00FFu;
  if (p <= 99) return Argb(255, 0, down(5));
  return 0xFFFF0000u;
}

TAlphaColor GenerateAlphaColor(int32_t index) {
  const int32_t m = ((index % 256) + 256) % 256;
  if (index >= 0 && index <= 255) return Argb(255, index, 0);
  if (index >= 256 && index <= 510) return Argb(254 - m, 255, 0);
  if (index >= 511 && index <= 765) return Argb(0, 255, m + 2);
  if (index >= 766 && index <= 1020) return Argb(0, 252 - m, 255);
  if (index >= 1021 && index <= 1275) return Argb(m + 3, 0, 255);
  if (index >= 1276 && index <= 1530) return Argb(255, 0, 252 - m);
  return 0xFF000000u;
}

QDateTime UTCToSystemTime(const QDateTime& utc) {
  if (!utc.isValid()) return utc;
  QDateTime asUtc = utc;
  asUtc.setTimeSpec(Qt::UTC);
  const QDateTime local = asUtc.toTimeZone(QTimeZone::systemTimeZone());
  if (!local.isValid()) return utc;
  // Hand back a plain wall-clock value, like the input.
  return QDateTime(local.date(), local.time(), Qt::UTC);
}

QDateTime UTCToSystemTime(uint32_t unixSeconds) {
  return UTCToSystemTime(QDateTime::fromSecsSinceEpoch(qint64(unixSeconds), Qt::UTC));
}

TDirectKind GetDirectKind(const QString& text) {
  const QString wanted = QStringLiteral("dk") + text;
  for (size_t i = 0; i < CDirectKindNames.size(); ++i) {
    if (wanted.compare(QLatin1String(CDirectKindNames[i]), Qt::CaseInsensitive) == 0) return TDirectKind(i);
  }
  return TDirectKind::dkpara;
}

QString LocalExtractToChar(QString& text, QChar delimiter) {
  const qsizetype at = text.indexOf(delimiter);
  if (at < 0) {
    QString all = text.trimmed();
    text.clear();
    return all;
  }
  QString head = text.left(at);
  text = text.mid(at + 1).trimmed();
  return head;
}

namespace {
void PostponeImpl(QObject* context, bool guarded, std::function<void()> call, int delayMs) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !call) return;
  // Posting to the context itself lets Qt drop the call with the context,
  // and runs it on the context's thread: a client is driven by the thread it
  // lives on (the GUI thread, or a fleet worker's own), never by another.
  // Calls without a context go to the GUI thread.
  QObject* target = (guarded && context) ? context : app;
  QPointer<QObject> guard(context);
  auto run = [guard, guarded, call = std::move(call)]() {
    if (guarded && guard.isNull()) return;
    call();
  };
  // The queued hop happens even on the GUI thread, so the call never runs
  // inside the event that asked for it. The delay then runs on a GUI-thread
  // timer rather than by blocking that thread.
  QMetaObject::invokeMethod(
      target,
      [run = std::move(run), delayMs, target]() mutable {
        if (delayMs <= 0) {
          run();
          return;
        }
        // A precise timer: coarse ones may fire up to 5 % early.
        QTimer::singleShot(delayMs, Qt::PreciseTimer, target, std::move(run));
      },
      Qt::QueuedConnection);
}
}  // namespace

void Postpone(std::function<void()> call, int delayMs) { PostponeImpl(nullptr, false, std::move(call), delayMs); }

void Postpone(QObject* context, std::function<void()> call, int delayMs) {
  PostponeImpl(context, true, std::move(call), delayMs);
}

QString GetSpecialFolder(int id) {
  using P = QStandardPaths;
  auto first = [](P::StandardLocation l) {
    const QStringList all = P::standardLocations(l);
    return all.isEmpty() ? QString() : all.first();
  };
  switch (id) {
    case 5: return P::writableLocation(P::DocumentsLocation);       // personal documents
    case 13: return P::writableLocation(P::MusicLocation);
    case 14: return P::writableLocation(P::MoviesLocation);
    case 16: return P::writableLocation(P::DesktopLocation);        // desktop folder
    case 26: return P::writableLocation(P::GenericConfigLocation);  // roaming application data
    case 28: return P::writableLocation(P::GenericDataLocation);    // local application data
    case 35: {                                                      // data of all users
      const QStringList all = P::standardLocations(P::GenericDataLocation);
      return all.size() > 1 ? all.last() : first(P::GenericDataLocation);
    }
    case 39: return P::writableLocation(P::PicturesLocation);
    case 40: return P::writableLocation(P::HomeLocation);
    default: return {};
  }
}

}  // namespace vanta
