#include "fuzz_status.h"

#include <QByteArray>

#include "StatusModel.h"

namespace vanta::fuzz {

int FuzzStatusOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const TValList values = ParseStatText(bytes);
  // A name never holds the blank that ends it, and nothing is routed twice.
  for (const TNameValue& v : values.Items)
    if (v.first.contains(QLatin1Char(' '))) __builtin_trap();
  const TStatusRecord r = RouteStatus(values, {3600, true});
  qsizetype routed = r.CcciWorkers.size() + r.Addresses.size() + r.Recordings.size() + r.SysLoad.size() + r.Modbus.size() +
                     r.Iec104.size() + r.Iec850.size() + r.Time.size() - 2;
  for (const auto& ntp : r.Ntp) routed += ntp.size();
  if (routed > values.Items.size()) __builtin_trap();
  (void)StatusToJson(r);
  (void)ParsePcapListing(QString::fromLatin1(bytes));
  return int(values.Items.size());
}

}  // namespace vanta::fuzz
