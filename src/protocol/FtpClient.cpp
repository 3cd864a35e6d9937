#include "FtpClient.h"
#include "Language.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <curl/curl.h>
#include <memory>

namespace vanta {

namespace {
struct TCurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
using TCurl = std::unique_ptr<CURL, TCurlDeleter>;

TCurl NewHandle(const TFtpClient& ftp, const QByteArray& url) {
  static const bool initialised = (curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK);
  (void)initialised;
  TCurl c(curl_easy_init());
  if (!c) return c;
  curl_easy_setopt(c.get(), CURLOPT_URL, url.constData());
  const QByteArray login = (ftp.User + QLatin1Char(':') + ftp.Password).toUtf8();
  curl_easy_setopt(c.get(), CURLOPT_USERPWD, login.constData());  // copied by libcurl
  curl_easy_setopt(c.get(), CURLOPT_FTP_USE_EPSV, 1L);            // passive
  curl_easy_setopt(c.get(), CURLOPT_TRANSFERTEXT, 0L);            // binary
  curl_easy_setopt(c.get(), CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(c.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c.get(), CURLOPT_LOW_SPEED_TIME, long(ftp.StallSec));
  curl_easy_setopt(c.get(), CURLOPT_NOSIGNAL, 1L);
  return c;
}

// The file is unbuffered: a short count comes straight from the kernel, and
// asking for the rest brings its reason (a full disk) instead of a buffer
// that fails unseen when it is flushed.
size_t WriteToFile(char* data, size_t size, size_t n, void* user) {
  auto* f = static_cast<QFile*>(user);
  const qint64 want = qint64(size * n);
  qint64 done = 0;
  while (done < want) {
    const qint64 w = f->write(data + done, want - done);
    if (w <= 0) break;
    done += w;
  }
  return size_t(done);
}

size_t WriteToBuffer(char* data, size_t size, size_t n, void* user) {
  static_cast<QByteArray*>(user)->append(data, qsizetype(size * n));
  return size * n;
}

size_t ReadFromFile(char* data, size_t size, size_t n, void* user) {
  auto* f = static_cast<QFile*>(user);
  const qint64 got = f->read(data, qint64(size * n));
  return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
}

int Progress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow) {
  auto* ftp = static_cast<const TFtpClient*>(user);
  if (ftp->OnProgress) {
    if (ultotal > 0)
      ftp->OnProgress(int64_t(ulnow), int64_t(ultotal));
    else
      ftp->OnProgress(int64_t(dlnow), int64_t(dltotal));
  }
  return 0;
}

QString CurlText(CURLcode rc, const char* buffer) {
  return *buffer ? QString::fromUtf8(buffer) : QString::fromUtf8(curl_easy_strerror(rc));
}
}  // namespace

QByteArray TFtpClient::Url(const QString& remotePath) const {
  QString path = remotePath;
  if (!path.startsWith(QLatin1Char('/'))) path.prepend(QLatin1Char('/'));
  return "ftp://" + Host.toUtf8() + ':' + QByteArray::number(Port) + QUrl::toPercentEncoding(path, "/");
}

bool TFtpClient::Connect(QString& error) {
  TCurl c = NewHandle(*this, Url(QStringLiteral("/")));
  if (!c) {
    error = TEn::tr("libcurl not usable");
    return false;
  }
  QByteArray listing;
  char err[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c.get(), CURLOPT_ERRORBUFFER, err);
  curl_easy_setopt(c.get(), CURLOPT_DIRLISTONLY, 1L);
  curl_easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, WriteToBuffer);
  curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, &listing);
  const CURLcode rc = curl_easy_perform(c.get());
  if (rc != CURLE_OK) error = CurlText(rc, err);
  return rc == CURLE_OK;
}

int64_t TFtpClient::RemoteSize(const QString& remotePath, QString& error) {
  TCurl c = NewHandle(*this, Url(remotePath));
  char err[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c.get(), CURLOPT_ERRORBUFFER, err);
  curl_easy_setopt(c.get(), CURLOPT_NOBODY, 1L);
  const CURLcode rc = curl_easy_perform(c.get());
  if (rc != CURLE_OK) {
    error = CurlText(rc, err);
    return -1;
  }
  curl_off_t size = -1;
  curl_easy_getinfo(c.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
  return int64_t(size);
}

bool TFtpClient::Get(const QString& remotePath, const QString& localPath, bool resume, QString& error) {
  const int64_t remote = RemoteSize(remotePath, error);
  if (remote < 0) return false;
  QFile f(localPath);
  const int64_t have = resume && f.exists() ? f.size() : 0;
  if (!f.open(QIODevice::Unbuffered | (resume ? QIODevice::Append : (QIODevice::WriteOnly | QIODevice::Truncate)))) {
    error = f.errorString();
    return false;
  }
  if (have < remote) {
    TCurl c = NewHandle(*this, Url(remotePath));
    char err[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c.get(), CURLOPT_ERRORBUFFER, err);
    curl_easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, &f);
    curl_easy_setopt(c.get(), CURLOPT_RESUME_FROM_LARGE, curl_off_t(have));
    curl_easy_setopt(c.get(), CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(c.get(), CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(c.get(), CURLOPT_NOPROGRESS, OnProgress ? 0L : 1L);
    const CURLcode rc = curl_easy_perform(c.get());
    if (rc == CURLE_WRITE_ERROR && f.error() != QFileDevice::NoError) {
      error = QStringLiteral("%1: %2").arg(localPath, f.errorString());
      return false;
    }
    if (rc != CURLE_OK) {
      error = CurlText(rc, err);
      return false;
    }
  }
  f.close();
  const int64_t local = QFileInfo(localPath).size();
  if (local != remote) {
    error = TEn::tr("size check failed: %1 of %2 bytes").arg(local).arg(remote);
    return false;
  }
  return true;
}

bool TFtpClient::GetToBuffer(const QString& remotePath, QByteArray& out, QString& error) {
  TCurl c = NewHandle(*this, Url(remotePath));
  QByteArray data;
  char err[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c.get(), CURLOPT_ERRORBUFFER, err);
  curl_easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, WriteToBuffer);
  curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, &data);
  const CURLcode rc = curl_easy_perform(c.get());
  if (rc != CURLE_OK) {
    error = CurlText(rc, err);
    return false;
  }
  out = data;
  return true;
}

bool TFtpClient::Put(const QString& localPath, const QString& remoteFolder, QString& error) {
  QFile f(localPath);
  if (!f.open(QIODevice::ReadOnly)) {
    error = f.errorString();
    return false;
  }
  QString folder = remoteFolder;
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  TCurl c = NewHandle(*this, Url(folder + QFileInfo(localPath).fileName()));
  char err[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c.get(), CURLOPT_ERRORBUFFER, err);
  curl_easy_setopt(c.get(), CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c.get(), CURLOPT_READFUNCTION, ReadFromFile);
  curl_easy_setopt(c.get(), CURLOPT_READDATA, &f);
  curl_easy_setopt(c.get(), CURLOPT_INFILESIZE_LARGE, curl_off_t(f.size()));
  curl_easy_setopt(c.get(), CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(c.get(), CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(c.get(), CURLOPT_NOPROGRESS, OnProgress ? 0L : 1L);
  const CURLcode rc = curl_easy_perform(c.get());
  if (rc != CURLE_OK) error = CurlText(rc, err);
  return rc == CURLE_OK;
}

}  // namespace vanta
