#include "Rs232Unit.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vanta {

namespace {
QString SystemError() { return QString::fromLocal8Bit(std::strerror(errno)); }
}  // namespace

TRS232Unit::~TRS232Unit() {
  QString ignored;
  Disconnect(ignored);
}

QString TRS232Unit::DevicePathForNumber(int number) {
#ifdef Q_OS_WIN
  return QStringLiteral("//./com%1/").arg(number);
#else
  return QStringLiteral("/dev/ttyUSB%1").arg(number);
#endif
}

void TRS232Unit::SetPort(const QString& path) { FPort = path; }

bool TRS232Unit::OpenPort(QString& error) {
  if (FHandle >= 0) return true;
  FHandle = ::open(FPort.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (FHandle < 0) {
    error = SystemError();
    return false;
  }
  termios t{};
  if (::tcgetattr(FHandle, &t) != 0) {
    error = SystemError();
    ::close(FHandle);
    FHandle = -1;
    return false;
  }
  ::cfmakeraw(&t);
  ::cfsetispeed(&t, B9600);
  ::cfsetospeed(&t, B9600);
  t.c_cflag &= ~(PARENB | CSTOPB | CSIZE);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 1;  // 100 ms read time-out
  ::tcsetattr(FHandle, TCSANOW, &t);
  const int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(FHandle, TIOCMBIS, &lines);  // not every device (a pty, say) has them
  ClearBuffer();
  return true;
}

bool TRS232Unit::CheckConnection() const {
  if (FHandle < 0) return false;
  termios t{};
  if (::tcgetattr(FHandle, &t) != 0) return false;
  pollfd p{FHandle, POLLIN, 0};
  if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return false;
  return true;
}

void TRS232Unit::ClearBuffer() {
  if (FHandle >= 0) ::tcflush(FHandle, TCIOFLUSH);
}

bool TRS232Unit::WriteData(const QByteArray& data, qint64& count, const std::function<void(qint64)>& progress,
                           QString& error) {
  count = 0;
  while (count < data.size()) {
    const qint64 piece = qMin<qint64>(CSerialPiece, data.size() - count);
    qint64 done = 0;
    while (done < piece) {
      const ssize_t n = ::write(FHandle, data.constData() + count + done, size_t(piece - done));
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        error = SystemError();
        return false;
      }
      done += n;
    }
    count += piece;
    if (progress) progress(count);
  }
  return true;
}

QByteArray TRS232Unit::ReadData(QString& error) {
  if (FHandle < 0) return {};
  QByteArray buf(CSerialPiece, '\0');
  const ssize_t n = ::read(FHandle, buf.data(), size_t(buf.size()));
  if (n < 0) {
    if (errno != EAGAIN && errno != EINTR) error = SystemError();
    return {};
  }
  buf.truncate(qsizetype(n));
  return buf;
}

bool TRS232Unit::Disconnect(QString& error) {
  if (FHandle < 0) return true;
  const bool ok = ::close(FHandle) == 0;
  if (!ok) error = SystemError();
  FHandle = -1;
  return ok;
}

}  // namespace vanta
