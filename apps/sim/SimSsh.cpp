#include "SimSsh.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <poll.h>
#include <arpa/inet.h>
#include <cstdio>
#include <iostream>
#include <libssh/libssh.h>
#include <libssh/server.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "SimDevice.h"
#include "SimLua.h"

namespace vanta::sim {

namespace {
constexpr char CMarker[] = "\x1a\x1b\n";
// How long the shell waits after text without a line end before it runs it.
constexpr int CStatementIdleMs = 5;

// Cuts complete statements off `buffer`: every line, and with `flush` also
// what is left without a line end. Blank statements are skipped.
QList<QByteArray> TakeStatements(QByteArray& buffer, bool flush) {
  QList<QByteArray> out;
  for (qsizetype nl = buffer.indexOf('\n'); nl >= 0; nl = buffer.indexOf('\n')) {
    const QByteArray s = buffer.left(nl).trimmed();
    buffer.remove(0, nl + 1);
    if (!s.isEmpty()) out << s;
  }
  if (flush && !buffer.trimmed().isEmpty()) out << buffer.trimmed();
  if (flush) buffer.clear();
  return out;
}

// Device state lives on the main thread; SSH sessions ask it there.
template <typename F>
void OnMain(F&& f) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(f), Qt::BlockingQueuedConnection);
}

int ConnectLocal(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}
}  // namespace

TSimSshServer::~TSimSshServer() { Stop(); }

bool TSimSshServer::Start(const QString& bind, uint16_t port, QString& error) {
  // The host key is made once and kept with the device, so its fingerprint
  // stays the same from start to start.
  const QString keyFile = FDevice.Storage.Root() + QStringLiteral("/ssh_host_ecdsa_key");
  if (!QFileInfo::exists(keyFile)) {
    ssh_key key = nullptr;
    if (ssh_pki_generate(SSH_KEYTYPE_ECDSA_P256, 0, &key) != SSH_OK ||
        ssh_pki_export_privkey_file(key, nullptr, nullptr, nullptr, keyFile.toLocal8Bit().constData()) != SSH_OK) {
      error = QStringLiteral("cannot create the SSH host key");
      ssh_key_free(key);
      return false;
    }
    ssh_key_free(key);
  }
  FBind = ssh_bind_new();
  const QByteArray addr = bind.toLatin1(), key = keyFile.toLocal8Bit();
  const unsigned int p = port;
  ssh_bind_options_set(FBind, SSH_BIND_OPTIONS_BINDADDR, addr.constData());
  ssh_bind_options_set(FBind, SSH_BIND_OPTIONS_BINDPORT, &p);
  ssh_bind_options_set(FBind, SSH_BIND_OPTIONS_HOSTKEY, key.constData());
  if (ssh_bind_listen(FBind) != SSH_OK) {
    error = QStringLiteral("SSH listen failed: %1").arg(QString::fromUtf8(ssh_get_error(FBind)));
    return false;
  }
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(ssh_bind_get_fd(FBind), reinterpret_cast<sockaddr*>(&a), &len);
  FPort = ntohs(a.sin_port);
  FAccept = std::thread([this] { AcceptLoop(); });
  return true;
}

void TSimSshServer::Stop() {
  if (FStop.exchange(true)) return;
  if (FAccept.joinable()) FAccept.join();
  // Sessions may be waiting for the main thread (this one): keep serving it
  // until they are done.
  QElapsedTimer t;
  t.start();
  while (FActive > 0 && t.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  for (std::thread& t : FSessions)
    if (t.joinable()) t.join();
  if (FBind) ssh_bind_free(FBind);
  FBind = nullptr;
}

void TSimSshServer::AcceptLoop() {
  while (!FStop) {
    // Look for a new client every 100 ms so a stop request is seen at once.
    pollfd p{ssh_bind_get_fd(FBind), POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    ssh_session s = ssh_new();
    if (ssh_bind_accept(FBind, s) != SSH_OK) {
      ssh_free(s);
      if (FStop) return;
      continue;
    }
    if (FDevice.Rebooting) {  // a restarting device takes nobody
      ssh_disconnect(s);
      ssh_free(s);
      continue;
    }
    ++FActive;
    FSessions.emplace_back([this, s] {
      Serve(s);
      --FActive;
    });
  }
}

void TSimSshServer::Serve(ssh_session s) {
  auto done = [s] {
    ssh_disconnect(s);
    ssh_free(s);
  };
  if (ssh_handle_key_exchange(s) != SSH_OK) {
    done();
    return;
  }
  ssh_set_auth_methods(s, SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE);
  QString user;
  bool authed = false, kbdStarted = false;
  bool mustChange = false;
  while (!authed && !FStop) {
    ssh_message m = ssh_message_get(s);
    if (!m) break;
    bool handled = false;
    int methods = SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE;
    if (ssh_message_type(m) == SSH_REQUEST_AUTH) {
      // The answers to keyboard-interactive prompts carry no user name.
      if (const char* u = ssh_message_auth_user(m); u && *u) user = QString::fromUtf8(u);
      if (ssh_message_subtype(m) == SSH_AUTH_METHOD_PASSWORD) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // the message API is all the simulator needs
        const QString pw = QString::fromUtf8(ssh_message_auth_password(m));
#pragma GCC diagnostic pop
        bool ok = false, expired = false;
        OnMain([&] {
          ok = FDevice.CheckPassword(user, pw);
          expired = FDevice.Config.ExpiredUsers.contains(user);
        });
        if (ok && !expired) {
          ssh_message_auth_reply_success(m, 0);
          authed = handled = true;
        } else if (ok && expired) {
          methods = SSH_AUTH_METHOD_INTERACTIVE;  // the password must be changed first
          mustChange = true;
        } else {
          methods = SSH_AUTH_METHOD_PASSWORD;  // a wrong password is just refused
        }
      } else if (ssh_message_subtype(m) == SSH_AUTH_METHOD_INTERACTIVE) {
        if (!mustChange) {
          // The change dialog belongs to a correct but expired password only.
          methods = SSH_AUTH_METHOD_PASSWORD;
        } else if (!kbdStarted) {
          kbdStarted = true;
          const char* prompts[] = {"Current password: ", "New password: ", "Retype new password: "};
          char echo[] = {0, 0, 0};
          ssh_message_auth_interactive_request(m, "Password expired", "You must change your password now.", 3, prompts, echo);
          handled = true;
        } else if (ssh_userauth_kbdint_getnanswers(s) == 3) {
          const QString current = QString::fromUtf8(ssh_userauth_kbdint_getanswer(s, 0));
          const QString fresh = QString::fromUtf8(ssh_userauth_kbdint_getanswer(s, 1));
          const QString again = QString::fromUtf8(ssh_userauth_kbdint_getanswer(s, 2));
          bool ok = false;
          OnMain([&] {
            ok = FDevice.CheckPassword(user, current) && !fresh.isEmpty() && fresh == again && fresh != current;
            if (ok) FDevice.ChangePassword(user, fresh);
          });
          if (ok) {
            ssh_message_auth_reply_success(m, 0);
            authed = handled = true;
          }
          kbdStarted = false;
        }
      }
    }
    if (!handled) {
      ssh_message_auth_set_methods(m, methods);
      ssh_message_reply_default(m);
    }
    ssh_message_free(m);
  }
  if (!authed) {
    done();
    return;
  }
  // Channels: the CCCI tunnel (direct-tcpip) and the shell, in any order,
  // until the shell is asked for.
  ssh_channel forward = nullptr, shell = nullptr;
  int sock = -1;
  bool shellReady = false;
  while (!shellReady && !FStop) {
    ssh_message m = ssh_message_get(s);
    if (!m) break;
    bool handled = false;
    if (ssh_message_type(m) == SSH_REQUEST_CHANNEL_OPEN) {
      if (ssh_message_subtype(m) == SSH_CHANNEL_DIRECT_TCPIP) {
        const int asked = ssh_message_channel_request_open_destination_port(m);
        sock = ConnectLocal(asked == 5040 && FCcciPort != 0 ? FCcciPort : asked);
        if (sock >= 0) {
          forward = ssh_message_channel_request_open_reply_accept(m);
          handled = forward != nullptr;
        }
      } else if (ssh_message_subtype(m) == SSH_CHANNEL_SESSION) {
        shell = ssh_message_channel_request_open_reply_accept(m);
        handled = shell != nullptr;
      }
    } else if (ssh_message_type(m) == SSH_REQUEST_CHANNEL) {
      const int sub = ssh_message_subtype(m);
      if (sub == SSH_CHANNEL_REQUEST_PTY || sub == SSH_CHANNEL_REQUEST_SHELL || sub == SSH_CHANNEL_REQUEST_ENV) {
        ssh_message_channel_request_reply_success(m);
        handled = true;
        shellReady = sub == SSH_CHANNEL_REQUEST_SHELL;
      }
    }
    if (!handled) ssh_message_reply_default(m);
    ssh_message_free(m);
  }
  std::unique_ptr<TSimLua> lua;
  OnMain([&] { lua = std::make_unique<TSimLua>(FDevice, user); });
  QByteArray line;
  QElapsedTimer lastShellData;
  lastShellData.start();
  char buf[16384];
  const int epoch = FDevice.RebootEpoch;
  while (!FStop && FDevice.RebootEpoch == epoch && ssh_is_connected(s) && shell && !ssh_channel_is_eof(shell)) {
    bool busy = false;
    if (forward && sock >= 0) {
      const int n = ssh_channel_read_nonblocking(forward, buf, sizeof buf, 0);
      if (n > 0) {
        busy = true;
        for (int at = 0; at < n;) {
          const ssize_t w = ::send(sock, buf + at, size_t(n - at), MSG_NOSIGNAL);
          if (w <= 0) break;
          at += int(w);
        }
      }
      const ssize_t r = ::recv(sock, buf, sizeof buf, MSG_DONTWAIT);
      if (r > 0) {
        busy = true;
        ssh_channel_write(forward, buf, uint32_t(r));
      } else if (r == 0) {
        ssh_channel_send_eof(forward);
        ::close(sock);
        sock = -1;
      }
    }
    const int n = ssh_channel_read_nonblocking(shell, buf, sizeof buf, 0);
    if (n > 0) {
      busy = true;
      line.append(buf, n);
      lastShellData.restart();
    } else if (n == SSH_ERROR) {
      break;
    }
    // A statement ends with a line end, or with the client's write: the
    // client types it without one, so text that stops arriving is run too.
    for (const QByteArray& statement : TakeStatements(line, n <= 0 && lastShellData.elapsed() >= CStatementIdleMs)) {
      QByteArray out;
      OnMain([&] {
        const TSimLua::TResult r = lua->Run(statement);
        out = r.Output + (r.Failed ? r.Error : QByteArray());
      });
      out += CMarker;
      ssh_channel_write(shell, out.constData(), uint32_t(out.size()));
    }
    if (!busy) ::usleep(2000);
  }
  OnMain([&] { lua.reset(); });
  if (sock >= 0) ::close(sock);
  if (forward) ssh_channel_free(forward);
  if (shell) ssh_channel_free(shell);
  done();
}

int RunLuaShell(TSimDevice& device, const QString& user) {
  TSimLua lua(device, user);
  QByteArray pending;
  char buf[16384];
  for (;;) {
    pollfd p{0, POLLIN, 0};
    const int ready = ::poll(&p, 1, pending.isEmpty() ? -1 : CStatementIdleMs);
    bool ended = false;
    if (ready > 0) {
      const ssize_t n = ::read(0, buf, sizeof buf);
      if (n <= 0) ended = true;
      else pending.append(buf, n);
    }
    // Statements end at a line end, at a pause after the write, or at the end of input.
    for (const QByteArray& statement : TakeStatements(pending, ready == 0 || ended)) {
      const TSimLua::TResult r = lua.Run(statement);
      const QByteArray out = r.Output + (r.Failed ? r.Error : QByteArray()) + CMarker;
      std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
      std::fflush(stdout);
    }
    if (ended) return 0;
  }
}

}  // namespace vanta::sim
