#include "fuzz_records.h"

#include <QByteArray>
#include <QString>

#include "Comtrade.h"
#include "RecordFile.h"

namespace vanta::fuzz {

bool FuzzRecordsOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  TRecordHeader header;
  QString error;
  const bool headerOk = ParseRecordHeader(bytes, header, error);
  TRecordFile file;
  const bool ok = ParseRecordFile(bytes, file, error);
  // Whatever reads whole also has a readable header, and its counts agree.
  if (ok &&
      (!headerOk || file.Records != file.Events.size() + file.Rows.size() + file.Async.size() + file.Waves.size()))
    __builtin_trap();
  if (ok) {
    // What reads may be exported; an export either succeeds or says why.
    for (const bool binary : {false, true}) {
      TComtradeFiles files;
      error.clear();
      if (!BuildComtrade(file, binary, files, error) && error.isEmpty()) __builtin_trap();
    }
    QByteArray csv;
    error.clear();
    if (!BuildCsv(file, csv, error) && error.isEmpty()) __builtin_trap();
  }
  return ok;
}

}  // namespace vanta::fuzz
