#include <gtest/gtest.h>

#include "Ntp.h"
#include "TimeStamps.h"

using namespace vanta;

TEST(Ntp, TimestampRoundTrip) {
  const int64_t ms = 1764950400123;
  const QByteArray ts = NtpTimestampFromUnixMs(ms);
  ASSERT_EQ(ts.size(), 8);
  EXPECT_EQ(UnixMsFromNtpTimestamp(ts), ms);
  // Seconds since 1900, big-endian.
  const uint32_t secs = (uint8_t(ts[0]) << 24) | (uint8_t(ts[1]) << 16) | (uint8_t(ts[2]) << 8) | uint8_t(ts[3]);
  EXPECT_EQ(secs, uint32_t(1764950400ull + CNtpUnixOffset));
}

// What an RFC 5905 client checks in a server's answer.
TEST(Ntp, ReplyIsAcceptedByAStandardClient) {
  QByteArray req(48, '\0');
  req[0] = char(0x23);  // version 4, client
  req[2] = char(6);
  const QByteArray clientTransmit = NtpTimestampFromUnixMs(1764950400000);
  req.replace(40, 8, clientTransmit);
  const QByteArray r = FillNTP(req, 1764950400100, 1764950400105);
  ASSERT_EQ(r.size(), 48);
  EXPECT_EQ(uint8_t(r[0]) & 7, 4) << "server mode";
  EXPECT_EQ((uint8_t(r[0]) >> 3) & 7, 4) << "version echoed";
  EXPECT_EQ(uint8_t(r[0]) >> 6, 0) << "no leap alarm";
  EXPECT_GE(uint8_t(r[1]), 1);
  EXPECT_LE(uint8_t(r[1]), 15);
  EXPECT_EQ(r.mid(24, 8), clientTransmit) << "originate = the request's transmit";
  EXPECT_EQ(UnixMsFromNtpTimestamp(r.mid(32, 8)), 1764950400100);
  EXPECT_EQ(UnixMsFromNtpTimestamp(r.mid(40, 8)), 1764950400105);
  EXPECT_NE(r.mid(40, 8), QByteArray(8, '\0'));
}

TEST(Ntp, ShortOrOddRequestsStillGetAValidReply) {
  const QByteArray r = FillNTP(QByteArray(5, '\x3b'), 0, 1000);  // version 7: not valid
  ASSERT_EQ(r.size(), 48);
  EXPECT_EQ((uint8_t(r[0]) >> 3) & 7, 4);
}

TEST(CorrectUTCtoLocal, WinterSummerAndNoDst) {
  time_set_t cet;
  cet.tz = 2;  // +1 h
  cet.dstmode = 1;
  cet.ws = {3, 25, 1, 7};
  cet.sw = {10, 25, 1, 7};
  const uint32_t jan = 1768478400;   // 2026-01-15 12:00 UTC
  const uint32_t jul = 1784116800;   // 2026-07-15 12:00 UTC
  const tmStamp_t w = CorrectUTCtoLocal({jan, 0}, cet);
  EXPECT_EQ(w.Sec, jan + 3600);
  EXPECT_EQ(w.Frac & CTSDstMask, 0u);
  const tmStamp_t s = CorrectUTCtoLocal({jul, 0}, cet);
  EXPECT_EQ(s.Sec, jul + 7200);
  EXPECT_NE(s.Frac & CTSDstMask, 0u);
  time_set_t noDst = cet;
  noDst.dstmode = 0;
  EXPECT_EQ(CorrectUTCtoLocal({jul, 0}, noDst).Sec, jul + 3600);
}

TEST(CorrectUTCtoLocal, WindowEdgesFollowTheWeekdayRule) {
  time_set_t cet;
  cet.tz = 2;
  cet.dstmode = 1;
  cet.ws = {3, 25, 1, 7};
  cet.sw = {10, 25, 1, 7};
  // In 2026 the window computed from day 25 and weekday 7 starts on Sunday
  // 2026-03-29 01:00 (day counts from 1899-12-30).
  const uint32_t before = 1774746000 - 60;  // 2026-03-29 00:59 UTC
  const uint32_t after = 1774746000 + 60;   // 2026-03-29 01:01 UTC
  EXPECT_EQ(CorrectUTCtoLocal({before, 0}, cet).Frac & CTSDstMask, 0u);
  EXPECT_NE(CorrectUTCtoLocal({after, 0}, cet).Frac & CTSDstMask, 0u);
}
