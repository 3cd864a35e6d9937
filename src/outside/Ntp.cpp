#include "Ntp.h"

namespace vanta {

QByteArray NtpTimestampFromUnixMs(int64_t unixMs) {
  const uint64_t secs = uint64_t(unixMs / 1000) + CNtpUnixOffset;
  const uint64_t frac = (uint64_t(unixMs % 1000) << 32) / 1000;
  QByteArray out;
  for (int i = 3; i >= 0; --i) out.append(char((secs >> (8 * i)) & 0xFF));
  for (int i = 3; i >= 0; --i) out.append(char((frac >> (8 * i)) & 0xFF));
  return out;
}

int64_t UnixMsFromNtpTimestamp(const QByteArray& b) {
  if (b.size() < 8) return 0;
  uint64_t secs = 0, frac = 0;
  for (int i = 0; i < 4; ++i) secs = (secs << 8) | uint8_t(b[i]);
  for (int i = 4; i < 8; ++i) frac = (frac << 8) | uint8_t(b[i]);
  return (int64_t(secs) - int64_t(CNtpUnixOffset)) * 1000 + int64_t((frac * 1000 + (1ull << 31)) >> 32);
}

QByteArray FillNTP(const QByteArray& request, int64_t receivedMs, int64_t nowMs) {
  QByteArray req = request.left(CNtpPacketLen);
  req.append(CNtpPacketLen - req.size(), '\0');
  int version = (uint8_t(req[0]) >> 3) & 7;
  if (version < 3 || version > 4) version = 4;
  QByteArray p(CNtpPacketLen, '\0');
  p[0] = char((0 << 6) | (version << 3) | 4);  // no leap warning, server mode
  p[1] = char(2);                              // stratum: synchronised via this computer
  p[2] = req[2];                               // poll interval as asked
  p[3] = char(-20);                            // precision about 1 µs
  // Root delay 0, root dispersion ~1 ms (16.16 fixed point).
  p[10] = char(0);
  p[11] = char(0x42);
  p.replace(12, 4, QByteArray("LOCL", 4));
  p.replace(16, 8, NtpTimestampFromUnixMs(nowMs - 1000));  // reference time
  p.replace(24, 8, req.mid(40, 8));                       // originate = client's transmit
  p.replace(32, 8, NtpTimestampFromUnixMs(receivedMs));
  p.replace(40, 8, NtpTimestampFromUnixMs(nowMs));
  return p;
}

}  // namespace vanta
