#pragma once
// The EN 50160 evaluation of 10-minute recordings, without any drawing: the
// report plugin turns the result into pages, the tests check its figures.
//
// Channels are recognised by unit and name: "Hz" is the frequency, "V" with
// a name starting "U " a supply voltage, "Plt" long-term flicker,
// "Unsymmetrie" voltage unbalance (%), "THD U" the total harmonic distortion
// of a voltage (%), "H<n> U" the n-th voltage harmonic in % of the
// fundamental (orders 2-25). Everything else is not assessed.
//
// The files are walked record by record, sorted by their start; only the
// open week's values are held, so the memory does not grow with the period.
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

namespace vanta {

enum class TEnGroup { egFreq995, egFreq100, egVolt95, egVolt100, egFlicker, egUnbalance, egThd, egHarmonics, egCount };
QString EnGroupCaption(TEnGroup g);  // "f 99,5 %"

// One limit on one channel: the share of the week's values that must lie
// within [Lo, Hi].
struct TRecordFile;
struct TRecRow;

struct TEnCriterion {
  TEnGroup Group = TEnGroup::egFreq995;
  QString Channel;
  int Order = 0;  // harmonics only
  double Lo = 0, Hi = 0, Share = 0.95;
  QString Limit;  // "49,5-50,5 Hz"
};

struct TEnCriterionWeek {
  double InShare = 0;  // 0..1
  double P05 = 0, P95 = 0, Min = 0, Max = 0;
  bool Pass = false;
};

struct TEnWeek {
  qint64 MondaySec = 0;  // start of the calendar week, UTC
  qint64 Rows = 0;
  std::vector<TEnCriterionWeek> Criteria;  // as TEnResult::Criteria
  bool Pass = true;
  // Per group the lowest in-limit share (-1: not recorded) and its verdict.
  double GroupShare[int(TEnGroup::egCount)]{};
  bool GroupPass[int(TEnGroup::egCount)]{};
};

struct TEnResult {
  QString Plant, Device;
  uint32_t Serial = 0;
  double Nominal = 230;
  std::vector<TEnCriterion> Criteria;
  std::vector<TEnWeek> Weeks;
  qint64 SkippedRows = 0;  // intervals already counted (overlapping files)
  QStringList Warnings;    // cut-off files
  bool Pass() const;
  bool HasGroup(TEnGroup g) const;
  // The groups the recording has, in the order of TEnGroup: the columns of
  // the week table and the bar groups of its chart.
  std::vector<TEnGroup> Groups() const;
};

// Rides along on the evaluation's walk, so the report's curves cost no walk
// of their own: FileStart with each file's first block (its channels), then
// every row the evaluation counts, i.e. without the intervals that
// overlapping files repeat.
class TEnRowSink {
 public:
  virtual ~TEnRowSink() = default;
  virtual void FileStart(const QString& path, const TRecordFile& first) = 0;
  virtual void Row(const TRecRow& row) = 0;
};

// EN 50160 limit for the voltage harmonic of `order` in % of the
// fundamental; 0 outside 2..25.
double EnHarmonicLimit(int order);

// False with a reason for no files, unreadable files, files that are not
// recordings, files of different stations, or no values at all.
// `sink` (optional) sees the same walk.
bool EvaluateEn50160(const QStringList& files, double nominal, TEnResult& result, QString& error, TEnRowSink* sink = nullptr);

}  // namespace vanta
