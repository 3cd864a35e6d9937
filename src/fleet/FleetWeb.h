#pragma once
// `vanta-fleet serve`: the read-only web API, the dashboard and /metrics over
// HTTP (cpp-httplib). It only reads the database: each request opens its own
// connection (httplib answers on a pool of threads, and a Qt SQL connection
// belongs to the thread that made it), switched to read-only before the
// first query. Loopback by default; any other address needs a token, which
// every path but /metrics then asks for.
#include <QString>
#include <atomic>
#include <memory>

namespace vanta::fleet {

struct TWebOptions {
  QString DbUrl;
  QString Listen = QStringLiteral("127.0.0.1:8080");  // HOST:PORT, [V6]:PORT; port 0 takes a free one
  QString TokenFile;                                  // empty: no token, loopback only
};

// "HOST:PORT" or "[V6]:PORT" into its parts.
bool ParseListen(const QString& text, QString& host, int& port, QString& error);
// A host only this machine reaches: 127.0.0.0/8, ::1 or "localhost".
bool IsLoopbackHost(const QString& host);
// Equal strings in a time that does not depend on where they first differ.
bool SameSecret(const QByteArray& a, const QByteArray& b);

class TFleetWeb {
 public:
  explicit TFleetWeb(TWebOptions options);
  ~TFleetWeb();
  TFleetWeb(const TFleetWeb&) = delete;
  TFleetWeb& operator=(const TFleetWeb&) = delete;

  // Checks the address, the token file and the database, then takes the
  // port. False with the reason; nothing listens then.
  bool Bind(QString& error);
  int Port() const { return FPort; }
  // "http://127.0.0.1:8080/"
  QString Url() const;
  // Answers requests until `stop` is set (checked ten times a second), then
  // lets the requests under way finish and returns.
  void ServeUntil(const std::atomic<bool>& stop);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
  TWebOptions FOptions;
  QString FHost;
  int FPort = 0;
};

}  // namespace vanta::fleet
