#include "FleetWeb.h"
#include "Language.h"

#include <httplib.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <chrono>
#include <thread>

#include "FleetDb.h"
#include "FleetView.h"
#include "PasswordFile.h"

// The dashboard's pages are compiled in (src/fleet/web): it works offline and
// from any folder.
static void InitFleetWebResources() { Q_INIT_RESOURCE(fleet_web); }

namespace vanta::fleet {

namespace {

// A token shorter than this is guessed by trying.
constexpr int CMinTokenLength = 16;

struct TStatic {
  QByteArray Body;
  const char* Type;
};

const char* const CJsonType = "application/json; charset=utf-8";

void Send(httplib::Response& res, const TWebAnswer& a) {
  res.status = a.Status;
  const QByteArray body = a.Json();
  res.set_content(body.constData(), size_t(body.size()), CJsonType);
}

void SendError(httplib::Response& res, int status, const QString& message) {
  Send(res, TWebAnswer::Error(status, message));
}

// A connection of this request's thread that cannot write: Open leaves an
// up-to-date database as it is (Bind checked that it is), and the switch
// below makes sure nothing else does either.
std::unique_ptr<TFleetDb> OpenReadOnly(const QString& url, QString& error) {
  auto db = std::make_unique<TFleetDb>();
  if (!db->Open(url, error)) return nullptr;
  QSqlQuery q(db->Db());
  const bool postgres = db->Dialect().Driver == QLatin1String("QPSQL");
  if (!q.exec(postgres ? QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")
                       : QStringLiteral("PRAGMA query_only = ON"))) {
    error = QStringLiteral("database %1 cannot be made read-only: %2").arg(url, q.lastError().text());
    return nullptr;
  }
  return db;
}

// The schema version of an SQLite file, looked at without changing it (the
// service's own Open would bring an older schema up to date: a write).
bool SqliteSchemaVersion(const QString& path, int& version, QString& error) {
  const QString name = QStringLiteral("vanta-fleet-web-check");
  bool ok = false;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=15000"));
    if (!db.open()) {
      error = QStringLiteral("database %1: %2").arg(path, db.lastError().text());
    } else {
      QSqlQuery q(db);
      if (q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) && q.next()) {
        version = q.value(0).toInt();
        ok = true;
      } else {
        error = QStringLiteral("%1 is no fleet database (%2)").arg(path, q.lastError().text());
      }
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
  return ok;
}

// The query of a request target: each name once. Read here rather than
// from httplib's map, which keeps only what follows the last "=" of a pair
// ("text=a=b" would search for "b").
bool ParseQuery(const std::string& target, TWebQuery& query, QString& error) {
  const size_t mark = target.find('?');
  if (mark == std::string::npos) return true;
  // Forms and URLSearchParams write a space as "+"; a plus itself comes as %2B.
  QByteArray raw = QByteArray::fromStdString(target.substr(mark + 1)).replace('+', "%20");
  for (const QByteArray& pair : raw.split('&')) {
    if (pair.isEmpty()) continue;
    const qsizetype eq = pair.indexOf('=');
    const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(eq < 0 ? pair : pair.left(eq)));
    const QString value = eq < 0 ? QString() : QString::fromUtf8(QByteArray::fromPercentEncoding(pair.mid(eq + 1)));
    if (query.contains(name)) {
      error = QStringLiteral("parameter '%1' given twice").arg(name.left(40));  // untranslated
      return false;
    }
    query.insert(name, value);
  }
  return true;
}

}  // namespace

bool ParseListen(const QString& text, QString& host, int& port, QString& error) {
  QString portText;
  if (text.startsWith(QLatin1Char('['))) {
    const qsizetype close = text.indexOf(QStringLiteral("]:"));
    if (close < 0) {
      error = QStringLiteral("--listen %1: expected [ADDRESS]:PORT").arg(text);
      return false;
    }
    host = text.mid(1, close - 1);
    portText = text.mid(close + 2);
  } else {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0 || text.count(QLatin1Char(':')) > 1) {
      error = QStringLiteral("--listen %1: expected HOST:PORT (an IPv6 address in brackets: [::1]:8080)").arg(text);
      return false;
    }
    host = text.left(colon);
    portText = text.mid(colon + 1);
  }
  bool ok = false;
  port = portText.toInt(&ok);
  if (host.isEmpty() || !ok || port < 0 || port > 65535 || portText.startsWith(QLatin1Char('+'))) {
    error = QStringLiteral("--listen %1: expected HOST:PORT with a port from 0 (any free one) to 65535").arg(text);
    return false;
  }
  return true;
}

bool IsLoopbackHost(const QString& host) {
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  const QHostAddress a(host);
  return !a.isNull() && a.isLoopback();
}

bool SameSecret(const QByteArray& a, const QByteArray& b) {
  // Every byte of the longer one is looked at, whatever the lengths, so the
  // time tells nothing about how much of a guess was right.
  const qsizetype n = std::max(a.size(), b.size());
  unsigned diff = a.size() == b.size() ? 0u : 1u;
  for (qsizetype i = 0; i < n; ++i) {
    const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    diff |= unsigned(x ^ y);
  }
  return diff == 0;
}

struct TFleetWeb::TImpl {
  httplib::Server Server;
  QByteArray Token;  // empty: none asked for
  QHash<QString, TStatic> Files;
};

TFleetWeb::TFleetWeb(TWebOptions options) : F(std::make_unique<TImpl>()), FOptions(std::move(options)) {
  InitFleetWebResources();
  const struct {
    const char* Path;
    const char* Resource;
    const char* Type;
  } files[] = {
      {"/", ":/fleetweb/index.html", "text/html; charset=utf-8"},
      {"/index.html", ":/fleetweb/index.html", "text/html; charset=utf-8"},
      {"/device.html", ":/fleetweb/device.html", "text/html; charset=utf-8"},
      {"/events.html", ":/fleetweb/events.html", "text/html; charset=utf-8"},
      {"/fleet.css", ":/fleetweb/fleet.css", "text/css; charset=utf-8"},
      {"/fleet.js", ":/fleetweb/fleet.js", "text/javascript; charset=utf-8"},
  };
  for (const auto& f : files) {
    QFile r(QLatin1String(f.Resource));
    if (r.open(QIODevice::ReadOnly)) F->Files.insert(QLatin1String(f.Path), TStatic{r.readAll(), f.Type});
  }
}

TFleetWeb::~TFleetWeb() = default;

QString TFleetWeb::Url() const {
  return QStringLiteral("http://%1:%2/")
      .arg(FHost.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(FHost) : FHost)
      .arg(FPort);
}

bool TFleetWeb::Bind(QString& error) {
  int port = 0;
  if (!ParseListen(FOptions.Listen, FHost, port, error)) return false;
  if (FOptions.TokenFile.isEmpty() && !IsLoopbackHost(FHost)) {
    error = QStringLiteral(
                "--listen %1 lets other machines in: give --token-file F (the token on one line, mode 600), "
                "or listen on 127.0.0.1")
                .arg(FOptions.Listen);
    return false;
  }
  if (!FOptions.TokenFile.isEmpty()) {
    QString token;
    if (!ReadSecretFile(FOptions.TokenFile, TEn::tr("token file"), token, error)) return false;
    for (const QChar c : token)
      if (c.isSpace() || c.unicode() < 0x21 || c.unicode() == 0x7f) {
        error = QStringLiteral("token file %1: the token is one line without spaces or control characters")
                    .arg(FOptions.TokenFile);
        return false;
      }
    if (token.size() < CMinTokenLength) {
      error =
          QStringLiteral("token file %1: the token has %2 characters, at least %3 are needed (openssl rand -hex 32)")
              .arg(FOptions.TokenFile)
              .arg(token.size())
              .arg(CMinTokenLength);
      return false;
    }
    F->Token = token.toUtf8();
  }
  // Looking needs a database that is there and up to date: serving never
  // makes one, nor changes its schema.
  TDbUrl url;
  if (!ParseDbUrl(FOptions.DbUrl, url, error)) return false;
  if (!url.Postgres) {
    if (!QFileInfo::exists(url.Path)) {
      error = QStringLiteral("no fleet database at %1 ('devices add' or 'devices import' makes it)").arg(url.Path);
      return false;
    }
    int version = 0;
    if (!SqliteSchemaVersion(url.Path, version, error)) return false;
    if (version != TFleetDb::LatestSchemaVersion()) {
      error = QStringLiteral("database %1 has schema version %2, this program reads %3: %4")
                  .arg(url.Path)
                  .arg(version)
                  .arg(TFleetDb::LatestSchemaVersion())
                  .arg(version < TFleetDb::LatestSchemaVersion()
                           ? QStringLiteral("a 'vanta-fleet run --once' brings it up to date")
                           : QStringLiteral("the database is newer than the program"));
      return false;
    }
  }
  if (!OpenReadOnly(FOptions.DbUrl, error)) return false;

  httplib::Server& s = F->Server;
  const QString dbUrl = FOptions.DbUrl;
  // Pages are built from the answers with text nodes only; these headers keep
  // anything else (other origins, inline scripts, framing) from running.
  s.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                         {"Cache-Control", "no-store"},
                         {"Referrer-Policy", "no-referrer"},
                         {"Content-Security-Policy",
                          "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                          "frame-ancestors 'none'; base-uri 'none'; form-action 'self'"}});
  // A browser keeps its connection open; a stop must not wait long for it.
  s.set_keep_alive_timeout(2);
  s.set_read_timeout(10);
  s.set_payload_max_length(64 * 1024);
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    // Nothing here changes anything.
    if (req.method != "GET" && req.method != "HEAD") {
      res.set_header("Allow", "GET, HEAD");
      SendError(res, 405, QStringLiteral("this service only reads: GET"));
      return httplib::Server::HandlerResponse::Handled;
    }
    // Prometheus scrapes without the token, so a scraper's configuration
    // stays simple; the metrics carry serial numbers and device names only,
    // nothing that opens a device (addresses only of devices without a name).
    if (F->Token.isEmpty() || req.path == "/metrics") return httplib::Server::HandlerResponse::Unhandled;
    const std::string header = req.get_header_value("Authorization");
    const std::string scheme = "Bearer ";
    const bool ok = header.size() > scheme.size() && header.compare(0, scheme.size(), scheme) == 0 &&
                    SameSecret(QByteArray::fromStdString(header.substr(scheme.size())), F->Token);
    if (ok) return httplib::Server::HandlerResponse::Unhandled;
    res.set_header("WWW-Authenticate", "Bearer");
    SendError(res, 401, QStringLiteral("this service needs the header 'Authorization: Bearer <token>'"));
    return httplib::Server::HandlerResponse::Handled;
  });

  // Each request: its parameters (each name once), its own connection, one answer.
  auto api = [dbUrl](const httplib::Request& req, httplib::Response& res,
                     const std::function<TWebAnswer(TFleetDb&, const TWebQuery&)>& answer) {
    TWebQuery query;
    QString error;
    if (!ParseQuery(req.target, query, error)) return SendError(res, 400, error);
    const std::unique_ptr<TFleetDb> db = OpenReadOnly(dbUrl, error);
    if (!db) return SendError(res, 503, error);
    Send(res, answer(*db, query));
  };
  auto noParameters = [](const TWebQuery& q) {
    return q.isEmpty() ? std::optional<TWebAnswer>()
                       : std::optional<TWebAnswer>(TWebAnswer::Error(
                             400, QStringLiteral("unknown parameter '%1'").arg(q.firstKey().left(40))));  // untranslated
  };
  s.Get("/api/devices", [api, noParameters](const httplib::Request& req, httplib::Response& res) {
    api(req, res, [&](TFleetDb& db, const TWebQuery& q) {
      if (const auto bad = noParameters(q)) return *bad;
      return DevicesAnswer(db, QDateTime::currentDateTimeUtc());
    });
  });
  s.Get(R"(/api/devices/([^/]*))", [api, noParameters](const httplib::Request& req, httplib::Response& res) {
    const QString serial = QString::fromStdString(req.matches[1].str());
    api(req, res, [&](TFleetDb& db, const TWebQuery& q) {
      if (const auto bad = noParameters(q)) return *bad;
      return DeviceAnswer(db, serial, QDateTime::currentDateTimeUtc());
    });
  });
  s.Get("/api/events", [api](const httplib::Request& req, httplib::Response& res) { api(req, res, EventsAnswer); });
  s.Get("/api/runs", [api](const httplib::Request& req, httplib::Response& res) { api(req, res, RunsAnswer); });
  s.Get("/metrics", [dbUrl](const httplib::Request&, httplib::Response& res) {
    QString error;
    const std::unique_ptr<TFleetDb> db = OpenReadOnly(dbUrl, error);
    QByteArray text;
    if (db) text = MetricsText(*db, QDateTime::currentDateTimeUtc(), error);
    if (text.isEmpty()) {
      res.status = 503;
      const QByteArray m = error.toUtf8() + '\n';
      res.set_content(m.constData(), size_t(m.size()), "text/plain; charset=utf-8");
      return;
    }
    res.set_content(text.constData(), size_t(text.size()), "text/plain; version=0.0.4; charset=utf-8");
  });
  for (auto it = F->Files.cbegin(); it != F->Files.cend(); ++it) {
    const TStatic file = it.value();
    s.Get(it.key().toStdString(), [file](const httplib::Request&, httplib::Response& res) {
      res.set_content(file.Body.constData(), size_t(file.Body.size()), file.Type);
    });
  }
  s.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return;
    SendError(res, res.status,
              res.status == 404 ? QStringLiteral("no such page: %1").arg(QString::fromStdString(req.path).left(100))
                                : QStringLiteral("HTTP %1").arg(res.status));
  });

  const std::string host = FHost.toStdString();
  if (port == 0) {
    FPort = s.bind_to_any_port(host);
    if (FPort < 0) FPort = 0;
  } else if (s.bind_to_port(host, port)) {
    FPort = port;
  }
  if (FPort == 0) {
    error = QStringLiteral("cannot listen on %1 (the port is taken, or the address is not one of this machine)")
                .arg(FOptions.Listen);
    return false;
  }
  return true;
}

void TFleetWeb::ServeUntil(const std::atomic<bool>& stop) {
  std::thread listener([this] { F->Server.listen_after_bind(); });
  while (!stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  F->Server.stop();
  listener.join();
}

}  // namespace vanta::fleet
