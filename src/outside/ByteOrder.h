#pragma once
// Little-endian access to wire bytes. Nothing here lays a struct over a buffer:
// every field is assembled byte by byte, so the host's endianness and padding
// never leak into the protocol.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace vanta {

// Reads little-endian fields from a byte range. A read past the end does not
// touch memory outside the range: it yields 0 and marks the reader as failed,
// so a decoder can read a whole record and check Ok() once at the end.
class TByteReader {
 public:
  TByteReader(const char* data, qsizetype size) : FData(data), FSize(size < 0 ? 0 : size) {}
  explicit TByteReader(const QByteArray& bytes) : TByteReader(bytes.constData(), bytes.size()) {}

  bool Ok() const { return !FFailed; }
  qsizetype Pos() const { return FPos; }
  qsizetype Size() const { return FSize; }
  qsizetype Remaining() const { return FSize - FPos; }
  // Where the first failed read wanted to go; useful for error texts.
  qsizetype FailedAt() const { return FFailedAt; }

  bool Seek(qsizetype pos);
  bool Skip(qsizetype count) { return Seek(FPos + count); }
  bool Has(qsizetype count) const { return count >= 0 && FPos + count <= FSize; }

  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  uint64_t U64();
  int32_t I32() { return static_cast<int32_t>(U32()); }
  float F32();
  // Raw bytes; empty and failed when fewer are left.
  QByteArray Bytes(qsizetype count);
  // A fixed-size 8-bit text field: the text ends at the first zero byte or at
  // the end of the field, whichever comes first.
  QByteArray FixedText(qsizetype fieldSize);
  // Everything from here to the end.
  QByteArray Rest();

 private:
  bool Take(qsizetype count, const char** out);

  const char* FData;
  qsizetype FSize;
  qsizetype FPos = 0;
  bool FFailed = false;
  qsizetype FFailedAt = -1;
};

// Appends little-endian fields to a byte array.
class TByteWriter {
 public:
  explicit TByteWriter(QByteArray& target) : FOut(target) {}
  void U8(uint8_t v) { FOut.append(static_cast<char>(v)); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void U64(uint64_t v);
  void F32(float v);
  void Bytes(const QByteArray& b) { FOut.append(b); }
  void Zeros(qsizetype count) { FOut.append(count, '\0'); }
  // Zero-filled field of fieldSize bytes; a text as long as the field leaves
  // no terminator, a longer one is cut.
  void FixedText(const QByteArray& text, qsizetype fieldSize);

 private:
  QByteArray& FOut;
};

// Patches a u32 into an existing buffer (used for the Size field once the
// frame length is known). Returns false when it would not fit.
bool PutU32At(QByteArray& buf, qsizetype offset, uint32_t v);
uint32_t GetU32At(const QByteArray& buf, qsizetype offset, bool* ok = nullptr);

}  // namespace vanta
