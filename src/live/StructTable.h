#pragma once
// The all-values table without a window: each device structure described
// once as a table of fields (name, kind, offset, count); the rows and
// columns a value kind of a structure gives, and every cell read from the
// latest record bytes. The same tables drive the decoders' checks. The
// layouts are written down in docs/live-records.md; the simulator writes
// its records from that description with a writer of its own.
#include <QList>
#include <QString>
#include <QStringList>

#include "LiveRecords.h"
#include "TimeStamps.h"

namespace vanta {

enum class TVantaStruct : uint8_t {
  ssc_10t_t_V1_0, ssc_10t_t_V2_2, ssu_std_t, ssu_ext_t, ssu_stat_t, ssu_10t_t, ssu_150t_t, ssu_2h_t, ssu_s_t, ssu_fb_t,
  ssi_std_t_V1_0, ssi_std_t_V2_2, ssi_ext_t, ssi_s_t_V1_0, ssi_s_t_V2_2, ssi_fb_t, ssp_std_t, ssp_ext_t, ssw_t, sstmp_t_V2_2,
  ssosc_dta_t_V1_0, ssosc_dta_t_V2_2, ssosc_t, sshp_dta_t, sshp_t, ssc_10s_f, ssc_osc_dta_t
};
QString VantaStructName(TVantaStruct s);  // "ssu_std_t"

enum class TVantaStrucTyp : uint8_t { stSingle, stDouble, stExt_t, stPol_t, stCmpx_t, stTPhase, stTHrm, stTIHrm, stTFrqBand, stTExtHarm };
QString StrucTypName(TVantaStrucTyp t);  // "stSingle"
// Bytes one field of the kind takes: a float, a time stamp (stDouble), a
// value with its time (stExt_t: float, then the 8-byte stamp), a magnitude
// and angle, real and imaginary part, or an array (49 phase angles of orders
// 2-50, 51 harmonics, 50 interharmonics, 35 bands, 49 orders x 7 conductors
// of stExt_t).
int StrucTypSize(TVantaStrucTyp t);

struct TStructField {
  QString Symb;
  TVantaStrucTyp Kind;
  int Offs;       // byte offset in the record (object id at 0, time stamp at 4)
  int Count = 1;  // elements of an array kind
};

struct TStructDesc {
  TVantaStruct Struct;
  QString Name;      // "ssu_s_t"
  uint8_t DataObj;   // the stream's data-object ordinal
  QList<TStructField> Fields;
};

// The structures a device of the layout generation (0, 1, 2) streams, in
// the order of TVantaStruct; the two-layout structures in the generation's variant.
QList<TStructDesc> KnownStructs(int generation);
const TStructDesc* FindStruct(const QList<TStructDesc>& all, const QString& name);
const TStructDesc* FindStruct(const QList<TStructDesc>& all, TVantaStruct s);

// A tree entry packed into an integer: data object in bits 0-7, structure
// in bits 8-15, value kind in bits 16-23.
struct TVantaTag {
  uint8_t VantaDataObj = 0;
  TVantaStruct VantaStruc = TVantaStruct::ssu_s_t;
  TVantaStrucTyp VantaStrucTyp = TVantaStrucTyp::stSingle;
  int Pack() const { return int(VantaDataObj) | int(VantaStruc) << 8 | int(VantaStrucTyp) << 16; }
  static TVantaTag Unpack(int tag) {
    return {uint8_t(tag & 0xFF), TVantaStruct((tag >> 8) & 0xFF), TVantaStrucTyp((tag >> 16) & 0xFF)};
  }
};

struct TTableColumn {
  QString Title;
  int Tag;    // 0 row label, 1 value, 2 binary bit
  int Width;  // pixels
};

// The entries of one value kind, their columns and cells.
class TStructTable {
 public:
  void Select(const TStructDesc& desc, TVantaStrucTyp kind);
  const QList<TStructField>& Entries() const { return FGridLst; }
  const QList<TTableColumn>& Columns() const { return FColumns; }
  int RowCount() const;
  // Empty without record bytes; numbers as "0.###", times in the zone set.
  QString Cell(const QByteArray& record, int column, int row) const;
  // Times in the records are the device's UTC stamps; shown in its zone.
  void SetZone(const time_tz_t& zone) { FZone = zone; }

 private:
  enum class TLayout : uint8_t { lyEntries, lyPerOrder, lyPolar, lyExtHarm, lyTimeValue, lyTime, lyValue };
  QString Value(const QByteArray& record, const TStructField& f) const;
  QString Time(const QByteArray& record, int at) const;
  QList<TStructField> FGridLst;
  QList<TTableColumn> FColumns;
  TVantaStrucTyp FKind = TVantaStrucTyp::stSingle;
  TLayout FLayout = TLayout::lyEntries;
  time_tz_t FZone{};
};

}  // namespace vanta
