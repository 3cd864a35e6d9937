#pragma once
// A recording of any size read in pages: every row of a recording has the
// same length, so row i sits at a known offset and a table can show any part
// of a file of gigabytes while holding a few pages. The curves of the whole
// file come from one streaming pass that keeps the minimum and maximum of each
// pixel column; the clipboard and CSV export read the rows they need.
#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <utility>

#include "RecordFile.h"

namespace vanta {

// Where the rows of a recording sit in its file.
struct TRecordGeometry {
  QString Path;
  qint64 HeaderSize = 0;
  qint64 Stride = 0;  // length word plus one row
  qint64 Count = 0;   // whole rows
  int Channels = 0;
  qint64 Offset(qint64 row) const { return HeaderSize + row * Stride; }
};

// Rows [from, from + count) of `g` straight from the file; false with a
// reason when the file cannot be read or a row's length word does not match.
bool ReadRecRows(const TRecordGeometry& g, qint64 from, qint64 count, QList<TRecRow>& rows, QString& error);

// The rows [from, to) of `g` reduced for drawing: at most 2 × `columns`
// rows, the minimum and the maximum of each channel per column (at the first
// and last time of the column), or every row when there are no more than
// that. NaN values are left out of a column's extremes. `cancel` stops the
// pass early (false, empty error).
bool DecimateRecRows(const TRecordGeometry& g, qint64 from, qint64 to, int columns, QList<TRecRow>& out,
                     QString& error, const std::atomic_bool* cancel = nullptr);

// Rows [from, to) as CSV: a header line ("Zeit" and the column names), the
// time as `timeText` writes it, values with "." as the decimal point. Written
// to `path`.part and renamed when complete; the old file stays on any error.
bool ExportRecRowsCsv(const TRecordGeometry& g, qint64 from, qint64 to, const QStringList& columns,
                      const std::function<QString(const tmStamp_t&)>& timeText, const QString& path, QString& error);

class TRecordPager {
 public:
  static constexpr int CPageRows = 1024;
  static constexpr int CPages = 8;  // pages kept; the rest are read again when needed

  // Reads the header and works out where the rows are; a recording only.
  bool Open(const QString& path, QString& error);
  const TRecordHeader& Header() const { return FHeader; }
  const TRecordGeometry& Geometry() const { return FGeo; }
  qint64 Count() const { return FGeo.Count; }
  // A file cut inside a row (a partial download): what was left out.
  const QString& Warning() const { return FWarning; }
  // The first page that could not be read, for the operator.
  const QString& Error() const { return FError; }
  // Row i with its page; nullptr when it cannot be read (Error() says why).
  const TRecRow* Row(qint64 i);
  // The first row whose time, as `key` maps it, is not before `t`
  // (Count() when none): rows are in time order.
  qint64 LowerBound(int64_t t, const std::function<int64_t(const tmStamp_t&)>& key) const;
  // How many pages are held (memory stays bounded).
  int PagesHeld() const { return int(FPages.size()); }

 private:
  TRecordHeader FHeader;
  TRecordGeometry FGeo;
  QString FWarning, FError;
  std::list<std::pair<qint64, QList<TRecRow>>> FPages;  // most recently used first
};

// The table of a recording: "Zeit" and one column per channel, rows read
// from the pager as the view asks for them. A view keeps an entry per row in
// its header, so the model shows a window of the file's rows, rows
// [Offset(), Offset() + rowCount()), and the window moves as the operator
// scrolls; row r of the model is row Offset() + r of the file.
class TRecTableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int CWindowRows = 20000;
  TRecTableModel(std::shared_ptr<TRecordPager> pager, std::function<QString(const tmStamp_t&)> timeText,
                 QObject* parent = nullptr, int window = CWindowRows);
  // All rows of the file, whatever the window shows.
  qint64 FileRows() const;
  // The file row of the window's first row.
  qint64 Offset() const { return FOffset; }
  // Moves the window to start at `first` (kept inside the file); views are reset.
  void SetOffset(qint64 first);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  TRecordPager& Pager() const { return *FPager; }
  // The cell text the table shows (and the clipboard gets).
  static QString ValueText(float v);

 private:
  std::shared_ptr<TRecordPager> FPager;
  std::function<QString(const tmStamp_t&)> FTimeText;
  QStringList FHeads;
  int FWindow;
  qint64 FOffset = 0;
};

}  // namespace vanta
