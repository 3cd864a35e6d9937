#include "ByteOrder.h"

#include <cstring>

namespace vanta {

bool TByteReader::Seek(qsizetype pos) {
  if (pos < 0 || pos > FSize) {
    if (!FFailed) FFailedAt = pos;
    FFailed = true;
    return false;
  }
  FPos = pos;
  return true;
}

bool TByteReader::Take(qsizetype count, const char** out) {
  if (count < 0 || FPos + count > FSize) {
    if (!FFailed) FFailedAt = FPos + count;
    FFailed = true;
    FPos = FSize;
    return false;
  }
  *out = FData + FPos;
  FPos += count;
  return true;
}

uint8_t TByteReader::U8() {
  const char* p = nullptr;
  if (!Take(1, &p)) return 0;
  return static_cast<uint8_t>(p[0]);
}

uint16_t TByteReader::U16() {
  const char* p = nullptr;
  if (!Take(2, &p)) return 0;
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}

uint32_t TByteReader::U32() {
  const char* p = nullptr;
  if (!Take(4, &p)) return 0;
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}

uint64_t TByteReader::U64() {
  const char* p = nullptr;
  if (!Take(8, &p)) return 0;
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}

float TByteReader::F32() {
  const uint32_t bits = U32();
  float f = 0;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

QByteArray TByteReader::Bytes(qsizetype count) {
  const char* p = nullptr;
  if (!Take(count, &p)) return {};
  return QByteArray(p, count);
}

QByteArray TByteReader::FixedText(qsizetype fieldSize) {
  const char* p = nullptr;
  if (!Take(fieldSize, &p)) return {};
  const void* zero = std::memchr(p, 0, static_cast<size_t>(fieldSize));
  const qsizetype len = zero ? static_cast<const char*>(zero) - p : fieldSize;
  return QByteArray(p, len);
}

QByteArray TByteReader::Rest() { return Bytes(Remaining()); }

void TByteWriter::U16(uint16_t v) {
  FOut.append(static_cast<char>(v & 0xFF));
  FOut.append(static_cast<char>(v >> 8));
}

void TByteWriter::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) FOut.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void TByteWriter::U64(uint64_t v) {
  for (int i = 0; i < 8; ++i) FOut.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void TByteWriter::F32(float v) {
  uint32_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  U32(bits);
}

void TByteWriter::FixedText(const QByteArray& text, qsizetype fieldSize) {
  const qsizetype n = qMin(text.size(), fieldSize);
  FOut.append(text.constData(), n);
  FOut.append(fieldSize - n, '\0');
}

bool PutU32At(QByteArray& buf, qsizetype offset, uint32_t v) {
  if (offset < 0 || offset + 4 > buf.size()) return false;
  for (int i = 0; i < 4; ++i) buf[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return true;
}

uint32_t GetU32At(const QByteArray& buf, qsizetype offset, bool* ok) {
  TByteReader r(buf);
  r.Seek(offset);
  const uint32_t v = r.U32();
  if (ok) *ok = r.Ok();
  return v;
}

}  // namespace vanta
