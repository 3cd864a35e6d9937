#pragma once
// NTP packets (RFC 5905) for the device's time tunnel: this computer answers
// as a time server from its own clock.
#include <QByteArray>
#include <cstdint>

namespace vanta {

inline constexpr int CNtpPacketLen = 48;
inline constexpr uint64_t CNtpUnixOffset = 2208988800ull;  // seconds 1900 -> 1970

// 64-bit NTP timestamp (big-endian on the wire) of Unix milliseconds.
QByteArray NtpTimestampFromUnixMs(int64_t unixMs);
int64_t UnixMsFromNtpTimestamp(const QByteArray& eightBytes);

// Turns a client's request packet into a server reply: mode 4, the client's
// version (3 or 4), stratum 2, reference id "LOCL", originate = the
// request's transmit time, receive = `receivedMs`, transmit = `nowMs`. A
// packet that is not 48 bytes is zero-padded or cut first.
QByteArray FillNTP(const QByteArray& request, int64_t receivedMs, int64_t nowMs);

}  // namespace vanta
