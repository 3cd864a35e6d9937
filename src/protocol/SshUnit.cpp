#include "SshUnit.h"

#include <libssh/libssh.h>
#include <libssh/server.h>  // ssh_send_keepalive
#include <openssl/crypto.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <utility>

#include "ReadThread.h"
#include "Language.h"

namespace vanta {

TSSHUnit::~TSSHUnit() { Disconnect(); }

int TSSHUnit::Fd() const { return FSSHClient ? int(ssh_get_fd(FSSHClient)) : -1; }

bool TSSHUnit::isConnected() const { return FSSHClient && ssh_is_connected(FSSHClient); }

void TSSHUnit::Disconnect() {
  FHeldCCCI.clear();
  // Closing must not wait for the device's answers.
  if (FSSHClient) ssh_set_blocking(FSSHClient, 0);
  for (ssh_channel* c : {&FSSHChannel, &FSSHShell}) {
    if (*c) {
      ssh_channel_close(*c);
      ssh_channel_free(*c);
      *c = nullptr;
    }
  }
  if (FSSHClient) {
    ssh_disconnect(FSSHClient);
    ssh_free(FSSHClient);
    FSSHClient = nullptr;
  }
}

QString TSSHUnit::getLocalIP() const {
  if (!FSSHClient) return {};
  const socket_t fd = ssh_get_fd(FSSHClient);
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return {};
  char text[INET6_ADDRSTRLEN] = {};
  if (addr.ss_family == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&addr)->sin_addr, text, sizeof text);
  else
    ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&addr)->sin6_addr, text, sizeof text);
  return QString::fromLatin1(text);
}

bool TSSHUnit::CheckHostKey(const TSshParams& p, QString& error) {
  ssh_key key = nullptr;
  if (ssh_get_server_publickey(FSSHClient, &key) != SSH_OK) {
    error = TTr::tr("kein Schlüssel vom Server");
    return false;
  }
  unsigned char* hash = nullptr;
  size_t hlen = 0;
  const int rc = ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &hlen);
  ssh_key_free(key);
  if (rc != SSH_OK) {
    error = TTr::tr("Fingerabdruck nicht lesbar");
    return false;
  }
  QStringList parts;
  for (size_t i = 0; i < hlen; ++i) parts << QStringLiteral("%1").arg(hash[i], 2, 16, QLatin1Char('0')).toUpper();
  ssh_clean_pubkey_hash(&hash);
  FFingerprint = parts.join(QLatin1Char(':'));
  if (!FOnFingerprint) return true;  // no one to ask: the key is accepted
  const TConnectHashAction action =
      FHashManager.Check(p.Host, p.Port, FFingerprint, [this](TFingerprintState s, const QString& question) {
        return FOnFingerprint(s, question, FFingerprint);
      });
  if (action == TConnectHashAction::chaCancel) {
    error = TTr::tr("Schlüssel des Geräts abgelehnt");
    return false;
  }
  return true;
}

int TSSHUnit::Await(const std::function<int()>& call, int again) {
  int rc = call();
  while (rc == again) {
    if ((FCancel && FCancel->load()) || QDateTime::currentMSecsSinceEpoch() > FDeadline) {
      FGaveUp = true;
      return SSH_ERROR;
    }
    const socket_t fd = ssh_get_fd(FSSHClient);
    if (fd >= 0) {
      pollfd pf{fd, POLLIN | POLLOUT, 0};
      ::poll(&pf, 1, 50);
    } else {
      QThread::msleep(10);
    }
    rc = call();
  }
  return rc;
}

QString TSSHUnit::GaveUpText() const {
  return FCancel && FCancel->load() ? TTr::tr("abgebrochen") : TTr::tr("Zeitüberschreitung");
}

bool TSSHUnit::Authenticate(const TSshParams& p, QString& error, bool& authError) {
  const QByteArray user = p.User.toUtf8(), pw = p.Password.toUtf8();
  int rc = Await([&] { return ssh_userauth_password(FSSHClient, user.constData(), pw.constData()); }, SSH_AUTH_AGAIN);
  if (rc == SSH_AUTH_SUCCESS) return true;
  if (FGaveUp) {
    error = QStringLiteral("SSH Connect Exception: ") + GaveUpText();
    return false;
  }
  // An expired password: the server asks for a new one through
  // keyboard-interactive prompts (current, new, repeated).
  const int methods = ssh_userauth_list(FSSHClient, user.constData());
  if ((methods & SSH_AUTH_METHOD_INTERACTIVE) && FOnPasswordExpired) {
    rc = Await([&] { return ssh_userauth_kbdint(FSSHClient, user.constData(), nullptr); }, SSH_AUTH_AGAIN);
    QString fresh;
    bool asked = false;
    while (rc == SSH_AUTH_INFO) {
      const int n = ssh_userauth_kbdint_getnprompts(FSSHClient);
      for (int i = 0; i < n; ++i) {
        char echo = 0;
        const QString prompt = QString::fromUtf8(ssh_userauth_kbdint_getprompt(FSSHClient, unsigned(i), &echo)).toLower();
        QByteArray answer = pw;
        if (prompt.contains(QLatin1String("new")) || prompt.contains(QLatin1String("neu")) ||  // untranslated
            prompt.contains(QLatin1String("retype")) || prompt.contains(QLatin1String("wiederhol"))) {
          if (!asked) {
            asked = true;
            WriteLog(QStringLiteral("SSH: Passwort abgelaufen"));  // untranslated
            if (!FOnPasswordExpired(fresh) || fresh.isEmpty()) {
              error = TTr::tr("Passwortänderung abgebrochen");
              authError = true;
              return false;
            }
          }
          answer = fresh.toUtf8();
        }
        ssh_userauth_kbdint_setanswer(FSSHClient, unsigned(i), answer.constData());
      }
      rc = Await([&] { return ssh_userauth_kbdint(FSSHClient, user.constData(), nullptr); }, SSH_AUTH_AGAIN);
    }
    if (rc == SSH_AUTH_SUCCESS) return true;
  }
  error = TEn::tr("SSH Auth error: %1 %2").arg(p.User, QString::fromUtf8(ssh_get_error(FSSHClient)));
  authError = true;
  return false;
}

bool TSSHUnit::Connect(const TSshParams& p, QString& error, bool& authError) {
  authError = false;
  FReadFailed = false;
  Disconnect();
  FSSHClient = ssh_new();
  if (!FSSHClient) {
    error = TEn::tr("libssh not usable");
    return false;
  }
  const QByteArray host = p.Host.toUtf8(), user = p.User.toUtf8();
  const unsigned int port = unsigned(p.Port);
  const long timeout = p.TimeoutSec;
  ssh_options_set(FSSHClient, SSH_OPTIONS_HOST, host.constData());
  ssh_options_set(FSSHClient, SSH_OPTIONS_PORT, &port);
  ssh_options_set(FSSHClient, SSH_OPTIONS_USER, user.constData());
  ssh_options_set(FSSHClient, SSH_OPTIONS_TIMEOUT, &timeout);
  // The fingerprint store decides about host keys, not ~/.ssh/known_hosts.
  const int no = 0;
  ssh_options_set(FSSHClient, SSH_OPTIONS_STRICTHOSTKEYCHECK, &no);
  ssh_options_set(FSSHClient, SSH_OPTIONS_KNOWNHOSTS, "/dev/null");
  // The fingerprint printed on the device's test certificate is that of its
  // ECDSA key: only that key may be negotiated, or the user compares the
  // wrong one.
  ssh_options_set(FSSHClient, SSH_OPTIONS_HOSTKEYS, CHostKeyAlgorithms);
  // Every step runs without blocking, so that closing the window stops a
  // connect that hangs (an address that does not answer, a slow login).
  ssh_set_blocking(FSSHClient, 0);
  FCancel = p.Cancel;
  FDeadline = QDateTime::currentMSecsSinceEpoch() + int64_t(p.TimeoutSec) * 1000;
  FGaveUp = false;
  const int rc = Await([this] { return ssh_connect(FSSHClient); }, SSH_AGAIN);
  if (rc != SSH_OK) {
    error = QStringLiteral("SSH Connect Exception: ") +
            (FGaveUp ? GaveUpText() : QString::fromUtf8(ssh_get_error(FSSHClient)));
    WriteLog(error);
    Disconnect();
    return false;
  }
  SetKeepAliveTiming(qintptr(ssh_get_fd(FSSHClient)), 25, 2);
  if (const char* banner = ssh_get_issue_banner(FSSHClient)) {
    WriteLog(QStringLiteral("Banner: ") + QString::fromUtf8(banner));
    ssh_string_free_char(const_cast<char*>(banner));
  }
  if (!CheckHostKey(p, error) || !Authenticate(p, error, authError)) {
    WriteLog(error);
    Disconnect();
    return false;
  }
  if (p.WithCCCI) {
    FSSHChannel = ssh_channel_new(FSSHClient);
    const QByteArray target = p.ChannelHost.toUtf8();
    if (!FSSHChannel ||
        Await([&] { return ssh_channel_open_forward(FSSHChannel, target.constData(), p.ChannelPort, "127.0.0.1", 0); },
              SSH_AGAIN) != SSH_OK) {
      error = TTr::tr("SSH ERROR: CCCI-Kanal: ") + QString::fromUtf8(ssh_get_error(FSSHClient)) +
              QStringLiteral(" From ForwardChannel");
      WriteLog(error);
      Disconnect();
      return false;
    }
  }
  FSSHShell = ssh_channel_new(FSSHClient);
  if (!FSSHShell || Await([this] { return ssh_channel_open_session(FSSHShell); }, SSH_AGAIN) != SSH_OK ||
      Await([this] { return ssh_channel_request_shell(FSSHShell); }, SSH_AGAIN) != SSH_OK) {
    error = QStringLiteral("SSH ERROR: Shell: ") + QString::fromUtf8(ssh_get_error(FSSHClient)) + QStringLiteral(" From Shell");
    WriteLog(error);
    Disconnect();
    return false;
  }
  // The data phase writes whole frames; reads stay non-blocking by call.
  ssh_set_blocking(FSSHClient, 1);
  return true;
}

namespace {
// Reads what the channel holds without waiting. A channel the device has
// closed may still hold what it sent last: that is read before the end is
// told, so an answer sent just before the close is not lost. A read that
// finds the channel's buffer empty makes libssh take in what the socket
// holds, the end of the connection among it, after which nothing buffered
// in any channel can be read any more: the loop stops after a short read
// instead of asking once more, so the other channel is read first.
int ReadChannel(ssh_channel channel, QByteArray& out, bool& failed) {
  char buf[8192];
  int total = 0;
  for (;;) {
    const int n = ssh_channel_read_nonblocking(channel, buf, sizeof buf, 0);
    if (n == SSH_ERROR) {
      failed = true;
      return total > 0 ? total : -1;
    }
    if (n <= 0) break;
    out.append(buf, n);
    total += n;
    if (n < int(sizeof buf)) break;
  }
  if (total == 0 && (ssh_channel_is_eof(channel) || ssh_channel_is_closed(channel))) return -1;
  return total;
}
}  // namespace

int TSSHUnit::ReadCCCI(QByteArray& out) {
  if (!FSSHChannel) return 0;
  const int held = int(FHeldCCCI.size());
  out += std::exchange(FHeldCCCI, QByteArray());
  bool failed = false;
  int n = ReadChannel(FSSHChannel, out, failed);
  if (held > 0) n = qMax(n, 0) + held;
  if (failed) {
    WriteLog(QStringLiteral("Except Read From CCCI"));
    FReadFailed = true;
  }
  return n;
}

int TSSHUnit::ReadTerminal(QByteArray& out) {
  if (!FSSHShell) return 0;
  bool failed = false;
  const int n = ReadChannel(FSSHShell, out, failed);
  if (failed) {
    WriteLog(QStringLiteral("Except Read From Terminal"));
    FReadFailed = true;
  }
  if (n > 0) WriteLog(QStringLiteral("Read Shell: %1").arg(n));
  return n;
}

bool TSSHUnit::WriteChannelData(const QByteArray& bytes, qint64* sent) {
  if (sent) *sent = 0;
  if (!FSSHChannel) return false;
  qsizetype at = 0;
  QElapsedTimer quiet;
  quiet.start();
  while (at < bytes.size()) {
    if (FCancel && FCancel->load()) {
      WriteLog(QStringLiteral("SSH ERROR on writing Channel Data: abgebrochen"));  // untranslated
      return false;
    }
    // A blocking write into a full window would wait for the session's
    // whole time-out: only what the window takes is written, and room is
    // waited for in slices.
    const uint32_t window = ssh_channel_window_size(FSSHChannel);
    if (window == 0) {
      if (ssh_channel_is_closed(FSSHChannel) || ssh_channel_is_eof(FSSHChannel)) {
        WriteLog(QStringLiteral("SSH ERROR on writing Channel Data: Kanal geschlossen"));  // untranslated
        return false;
      }
      if (quiet.elapsed() > FWriteStallMs) {
        WriteLog(QStringLiteral("SSH ERROR on writing Channel Data: Zeitüberschreitung"));  // untranslated
        return false;
      }
      pollfd pf{ssh_get_fd(FSSHClient), POLLIN, 0};
      ::poll(&pf, 1, 20);
      // libssh takes in what arrived, the window adjustment among it, only
      // when a read finds the channel empty: what the device sent meanwhile
      // is kept for the next ReadCCCI.
      bool failed = false;
      while (ReadChannel(FSSHChannel, FHeldCCCI, failed) > 0 && !failed) {
      }
      if (failed) {
        WriteLog(QStringLiteral("SSH ERROR on writing Channel Data: ") + QString::fromUtf8(ssh_get_error(FSSHClient)));
        return false;
      }
      continue;
    }
    const uint32_t len = uint32_t(qMin<qsizetype>(qsizetype(window), bytes.size() - at));
    const int n = ssh_channel_write(FSSHChannel, bytes.constData() + at, len);
    if (n == SSH_ERROR) {
      WriteLog(QStringLiteral("SSH ERROR on writing Channel Data: ") + QString::fromUtf8(ssh_get_error(FSSHClient)));
      return false;
    }
    if (n > 0) quiet.restart();
    at += n;
    if (sent) *sent = at;
  }
  return true;
}

void TSSHUnit::ReleaseThreadState() { OPENSSL_thread_stop(); }

bool TSSHUnit::WriteTerminal(const QByteArray& text) {
  if (!FSSHShell) return false;
  if (ssh_channel_write(FSSHShell, text.constData(), uint32_t(text.size())) == SSH_ERROR) {
    WriteLog(QStringLiteral("Except Write To Terminal"));
    return false;
  }
  return true;
}

void TSSHUnit::WaitForData(int ms) {
  if (FSSHChannel && ssh_channel_poll_timeout(FSSHChannel, ms, 0) > 0) return;
  if (FSSHShell) ssh_channel_poll_timeout(FSSHShell, FSSHChannel ? 1 : ms, 0);
}

void TSSHUnit::KeepAlive() {
  if (FSSHClient) ssh_send_keepalive(FSSHClient);
}

}  // namespace vanta
