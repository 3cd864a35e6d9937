#pragma once
// The words of the inventory: how often ("30s", "15m", "2h", "1d") and
// where ("host[:port] [name]", "[v6]:port"), the same address rules as the
// host lists of the mass firmware update.
#include <QList>
#include <QString>

namespace vanta::fleet {

// Seconds of "30s", "15m", "2h" or "1d" (a positive whole number and one
// unit); -1 with the reason otherwise.
qint64 ParseDuration(const QString& text, QString& error);
// "30s", "15m", "2h", "1d": the largest unit that divides it.
QString DurationText(qint64 seconds);

struct THostLine {
  QString Host;
  int Port = 5040;
  QString Name;
};
// One line of a hosts file; false with the reason when it names no address.
bool ParseHostLine(const QString& line, THostLine& out, QString& error);
// A whole hosts file: "#" comments and empty lines skipped; the first bad
// line stops it with "FILE:LINE: reason".
bool ParseHostsText(const QString& text, const QString& fileName, QList<THostLine>& out, QString& error);

}  // namespace vanta::fleet
