#pragma once
// The all-values table without a window: each device structure described
// once as a table of fields (name, kind, offset, count); the rows and
// columns a value kind of a structure gives, and every cell read from the
// latest record bytes. The same tables drive the decoders' checks.
#include <QList>
#include <QString>
#include <QStringList>

#include "LiveRecords.h"

namespace vanta {

enum class TVantaStrucTyp : uint8_t { stSingle, stDouble, stExt_t, stPol_t, stCmpx_t, stTPhase, stTHrm, stTIHrm, stTFrqBand, stTExtHarm };
QString StrucTypName(TVantaStrucTyp t);  // "stSingle"

struct TStructField {
  QString Symb;
  TVantaStrucTyp Kind;
  int Offs;  // byte offset in the record (object id at 0, time stamp at 4)
};

struct TStructDesc {
  QString Name;      // "ssu_s_t"
  uint8_t DataObj;   // the stream's data-object ordinal
  QList<TStructField> Fields;
};

// The structures known, by layout generation (the record 4 and record 1 layouts).
QList<TStructDesc> KnownStructs(int generation);
const TStructDesc* FindStruct(const QList<TStructDesc>& all, const QString& name);

struct TTableColumn {
  QString Title;
  int Tag;    // 0 row label, 1 value
  int Width;  // pixels
};

// The entries of one value kind, their columns and cells.
class TStructTable {
 public:
  void Select(const TStructDesc& desc, TVantaStrucTyp kind);
  const QList<TStructField>& Entries() const { return FGridLst; }
  const QList<TTableColumn>& Columns() const { return FColumns; }
  int RowCount() const;
  // Empty without record bytes; "0.###" numbers.
  QString Cell(const QByteArray& record, int column, int row) const;

 private:
  QList<TStructField> FGridLst;
  QList<TTableColumn> FColumns;
  TVantaStrucTyp FKind = TVantaStrucTyp::stSingle;
};

}  // namespace vanta
