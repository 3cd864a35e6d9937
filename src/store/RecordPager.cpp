#include "RecordPager.h"

#include "Language.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>


namespace vanta {

namespace {

constexpr qint64 CChunkBytes = 4 * 1024 * 1024;  // one read of a streaming pass

float F32At(const char* p) {
  const uint32_t bits = qFromLittleEndian<uint32_t>(p);
  float f = 0;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// Walks rows [from, to) chunk by chunk; `each` sees the row's index, its
// time and a pointer to its first value.
bool WalkRows(const TRecordGeometry& g, qint64 from, qint64 to, QString& error, const std::atomic_bool* cancel,
              const std::function<void(qint64, const tmStamp_t&, const char*)>& each) {
  from = std::clamp<qint64>(from, 0, g.Count);
  to = std::clamp<qint64>(to, from, g.Count);
  if (from == to) return true;
  QFile f(g.Path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    error = QStringLiteral("%1: %2").arg(g.Path, f.errorString());
    return false;
  }
  const qint64 perChunk = std::max<qint64>(1, CChunkBytes / g.Stride);
  const uint32_t length = uint32_t(g.Stride - 4);
  QByteArray buf;
  for (qint64 at = from; at < to; at += perChunk) {
    if (cancel && cancel->load(std::memory_order_relaxed)) return false;
    const qint64 n = std::min(perChunk, to - at);
    buf.resize(n * g.Stride);
    if (!f.seek(g.Offset(at))) {
      error = QStringLiteral("%1: %2").arg(g.Path, f.errorString());
      return false;
    }
    const qint64 got = f.read(buf.data(), buf.size());
    if (got != buf.size()) {
      error = got < 0 ? QStringLiteral("%1: %2").arg(g.Path, f.errorString())
                      : TTr::tr("%1: Datei endet vor Zeile %2").arg(g.Path).arg(at + got / g.Stride + 1);
      return false;
    }
    for (qint64 r = 0; r < n; ++r) {
      const char* p = buf.constData() + r * g.Stride;
      if (qFromLittleEndian<uint32_t>(p) != length) {
        error = TTr::tr("%1: Zeile %2 passt nicht zu %3 Kanälen (Offset %4)")
                    .arg(g.Path)
                    .arg(at + r + 1)
                    .arg(g.Channels)
                    .arg(g.Offset(at + r));
        return false;
      }
      const tmStamp_t t{qFromLittleEndian<uint32_t>(p + 4), qFromLittleEndian<uint32_t>(p + 8)};
      each(at + r, t, p + 12);
    }
  }
  return true;
}

}  // namespace

bool ReadRecRows(const TRecordGeometry& g, qint64 from, qint64 count, QList<TRecRow>& rows, QString& error) {
  rows.clear();
  rows.reserve(std::clamp<qint64>(count, 0, g.Count));
  return WalkRows(g, from, from + count, error, nullptr, [&](qint64, const tmStamp_t& t, const char* p) {
    TRecRow row;
    row.Time = t;
    row.Values.resize(g.Channels);
    for (int c = 0; c < g.Channels; ++c) row.Values[c] = F32At(p + 4 * c);
    rows << std::move(row);
  });
}

bool DecimateRecRows(const TRecordGeometry& g, qint64 from, qint64 to, int columns, QList<TRecRow>& out, QString& error,
                     const std::atomic_bool* cancel) {
  out.clear();
  from = std::clamp<qint64>(from, 0, g.Count);
  to = std::clamp<qint64>(to, from, g.Count);
  columns = std::max(1, columns);
  if (to - from <= 2 * qint64(columns)) return ReadRecRows(g, from, to - from, out, error);
  const qint64 total = to - from;
  constexpr float CNan = std::numeric_limits<float>::quiet_NaN();
  TRecRow lo, hi;
  qint64 column = -1;
  auto flush = [&] {
    if (column >= 0) out << std::move(lo) << std::move(hi);
  };
  out.reserve(2 * columns);
  const bool ok = WalkRows(g, from, to, error, cancel, [&](qint64 i, const tmStamp_t& t, const char* p) {
    const qint64 c = (i - from) * columns / total;
    if (c != column) {
      flush();
      column = c;
      lo = TRecRow{t, QList<float>(g.Channels, CNan)};
      hi = lo;
    }
    hi.Time = t;
    for (int k = 0; k < g.Channels; ++k) {
      const float v = F32At(p + 4 * k);
      if (std::isnan(v)) continue;
      float& a = lo.Values[k];
      float& b = hi.Values[k];
      if (std::isnan(a) || v < a) a = v;
      if (std::isnan(b) || v > b) b = v;
    }
  });
  if (!ok) {
    out.clear();
    return false;
  }
  flush();
  return true;
}

bool ExportRecRowsCsv(const TRecordGeometry& g, qint64 from, qint64 to, const QStringList& columns,
                      const std::function<QString(const tmStamp_t&)>& timeText, const QString& path, QString& error) {
  // A quote doubles, and a field with a separator, quote or line break is quoted.
  auto field = [](const QString& s) {
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n'))) return s;
    QString q = s;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
  };
  const QString part = path + QStringLiteral(".part");
  QFile out(part);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    error = QStringLiteral("%1: %2").arg(part, out.errorString());
    return false;
  }
  QString writeError;
  auto put = [&](const QByteArray& bytes) {
    if (!writeError.isEmpty()) return;
    for (qint64 done = 0; done < bytes.size();) {
      const qint64 n = out.write(bytes.constData() + done, bytes.size() - done);
      if (n <= 0) {
        writeError = QStringLiteral("%1: %2").arg(part, out.errorString());
        return;
      }
      done += n;
    }
  };
  QStringList head{QStringLiteral("Zeit")};  // untranslated: the CSV heading stays as files are read
  for (const QString& c : columns) head << field(c);
  QByteArray buf = head.join(QLatin1Char(',')).toUtf8() + "\r\n";
  const bool ok = WalkRows(g, from, to, error, nullptr, [&](qint64, const tmStamp_t& t, const char* p) {
    buf += field(timeText(t)).toUtf8();
    for (int k = 0; k < g.Channels; ++k) {
      buf += ',';
      buf += TRecTableModel::ValueText(F32At(p + 4 * k)).toUtf8();
    }
    buf += "\r\n";
    if (buf.size() > (1 << 20)) {
      put(buf);
      buf.clear();
    }
  });
  if (ok) put(buf);
  out.close();
  if (!ok || !writeError.isEmpty()) {
    if (ok) error = writeError;
    QFile::remove(part);
    return false;
  }
  QFile::remove(path);
  if (!QFile::rename(part, path)) {
    error = TTr::tr("%1: nicht umbenannt nach %2").arg(part, path);
    QFile::remove(part);
    return false;
  }
  return true;
}

// ---- the pager -------------------------------------------------------------------------------

bool TRecordPager::Open(const QString& path, QString& error) {
  TRecordHeader h;
  if (!ReadRecordHeader(path, h, error)) return false;
  if (h.Kind != TRecordKind::rkRecording) {
    error = TTr::tr("%1: keine Aufzeichnung (%2)").arg(path, RecordKindText(h.Kind));
    return false;
  }
  FHeader = h;
  FGeo = {};
  FGeo.Path = path;
  FGeo.HeaderSize = h.HeaderSize;
  FGeo.Channels = int(h.Context.Channels.size());
  FGeo.Stride = 4 + 8 + 4 * qint64(FGeo.Channels);
  const qint64 body = std::max<qint64>(0, QFileInfo(path).size() - FGeo.HeaderSize);
  FGeo.Count = body / FGeo.Stride;
  FWarning = body % FGeo.Stride == 0 ? QString()
                                      : TTr::tr("Datei unvollständig: %1 Datensätze gelesen, %2 Bytes am Ende ignoriert")
                                            .arg(FGeo.Count)
                                            .arg(body % FGeo.Stride);
  FError.clear();
  FPages.clear();
  // The first row tells at once whether the rows are what the header says.
  if (FGeo.Count > 0 && !Row(0)) {
    error = FError;
    return false;
  }
  return true;
}

const TRecRow* TRecordPager::Row(qint64 i) {
  if (i < 0 || i >= FGeo.Count) return nullptr;
  const qint64 page = i / CPageRows;
  auto it = std::find_if(FPages.begin(), FPages.end(), [page](const auto& p) { return p.first == page; });
  if (it == FPages.end()) {
    QList<TRecRow> rows;
    QString error;
    if (!ReadRecRows(FGeo, page * CPageRows, CPageRows, rows, error)) {
      if (FError.isEmpty()) FError = error;
      return nullptr;
    }
    FPages.emplace_front(page, std::move(rows));
    if (int(FPages.size()) > CPages) FPages.pop_back();
    it = FPages.begin();
  } else if (it != FPages.begin()) {
    FPages.splice(FPages.begin(), FPages, it);
    it = FPages.begin();
  }
  const qsizetype at = qsizetype(i - page * CPageRows);
  return at < it->second.size() ? &it->second[at] : nullptr;
}

qint64 TRecordPager::LowerBound(int64_t t, const std::function<int64_t(const tmStamp_t&)>& key) const {
  // One row per step: a search over millions of rows reads a few hundred bytes.
  qint64 lo = 0, hi = FGeo.Count;
  QList<TRecRow> one;
  QString error;
  while (lo < hi) {
    const qint64 mid = lo + (hi - lo) / 2;
    if (!ReadRecRows(FGeo, mid, 1, one, error) || one.isEmpty()) return hi;
    if (key(one.first().Time) < t)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// ---- the table model -------------------------------------------------------------------------

TRecTableModel::TRecTableModel(std::shared_ptr<TRecordPager> pager, std::function<QString(const tmStamp_t&)> timeText,
                               QObject* parent, int window)
    : QAbstractTableModel(parent),
      FPager(std::move(pager)),
      FTimeText(std::move(timeText)),
      FWindow(std::max(1, window)) {
  FHeads << tr("Zeit");
  for (const TRecordChannel& c : FPager->Header().Context.Channels) FHeads << QStringLiteral("%1 [%2]").arg(c.Name, c.Unit);
}

qint64 TRecTableModel::FileRows() const { return FPager->Count(); }

int TRecTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(std::clamp<qint64>(FileRows() - FOffset, 0, FWindow));
}

void TRecTableModel::SetOffset(qint64 first) {
  first = std::clamp<qint64>(first, 0, std::max<qint64>(0, FileRows() - FWindow));
  if (first == FOffset) return;
  beginResetModel();
  FOffset = first;
  endResetModel();
}

int TRecTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(FHeads.size()); }

QString TRecTableModel::ValueText(float v) { return QString::number(double(v), 'g', 7); }

QVariant TRecTableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  const TRecRow* row = FPager->Row(FOffset + index.row());
  if (!row) return {};
  if (index.column() == 0) return FTimeText(row->Time);
  const qsizetype c = index.column() - 1;
  return c < row->Values.size() ? ValueText(row->Values[c]) : QVariant();
}

QVariant TRecTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return FHeads.value(section);
  return FOffset + section + 1;
}

}  // namespace vanta
