#pragma once
// A growable byte buffer with a read/write position, the unit in which frames
// travel between the reader threads and the command queue.
#include <QByteArray>

namespace vanta {

class TMemoryStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(QByteArray bytes) : FData(std::move(bytes)) {}

  qsizetype Size() const { return FData.size(); }
  qsizetype Position() const { return FPosition; }
  void SetPosition(qsizetype p) { FPosition = qBound<qsizetype>(0, p, FData.size()); }
  bool AtEnd() const { return FPosition >= FData.size(); }

  const QByteArray& Bytes() const { return FData; }
  QByteArray& Bytes() { return FData; }

  void Append(const QByteArray& b) { FData.append(b); }
  // Writes at the position, growing the buffer as needed.
  void Write(const char* data, qsizetype n);
  // Reads up to n bytes from the position.
  QByteArray Read(qsizetype n);
  void Clear() {
    FData.clear();
    FPosition = 0;
  }
  // Drops the bytes before the position: what is left moves to the start.
  void DiscardBeforePosition();

 private:
  QByteArray FData;
  qsizetype FPosition = 0;
};

inline void TMemoryStream::Write(const char* data, qsizetype n) {
  if (n <= 0) return;
  if (FPosition + n > FData.size()) FData.resize(FPosition + n);
  std::copy(data, data + n, FData.begin() + FPosition);
  FPosition += n;
}

inline QByteArray TMemoryStream::Read(qsizetype n) {
  const qsizetype take = qBound<qsizetype>(0, n, FData.size() - FPosition);
  QByteArray out = FData.mid(FPosition, take);
  FPosition += take;
  return out;
}

inline void TMemoryStream::DiscardBeforePosition() {
  FData.remove(0, FPosition);
  FPosition = 0;
}

}  // namespace vanta
