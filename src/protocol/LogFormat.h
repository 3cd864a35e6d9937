#pragma once
// printf-style formatting of the client's log lines, which are fixed texts
// with %d/%u/%x/%s fields. %s takes UTF-8; U8() converts a QString for it.
#include <QByteArray>
#include <QString>

namespace vanta {

template <typename... A>
QString F(const char* fmt, A... args) {
  return QString::asprintf(fmt, args...);
}

inline QByteArray U8(const QString& s) { return s.toUtf8(); }

}  // namespace vanta
