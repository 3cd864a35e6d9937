#include "Pcapng.h"
#include "Language.h"

#include <QDateTime>

#include "ByteOrder.h"

namespace vanta {

namespace {
constexpr uint32_t CShb = 0x0A0D0D0A, CIdb = 0x00000001, CEpb = 0x00000006;
constexpr uint32_t CMagic = 0x1A2B3C4D;
constexpr uint16_t CLinkUser0 = 147;
constexpr uint16_t COptEnd = 0, COptComment = 1, COptEpbFlags = 2;

void U16(QByteArray& b, uint16_t v) {
  b.append(char(v & 0xFF));
  b.append(char(v >> 8));
}
void U32(QByteArray& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}
void Pad(QByteArray& b) {
  while (b.size() % 4) b.append('\0');
}
void Option(QByteArray& b, uint16_t code, const QByteArray& value) {
  U16(b, code);
  U16(b, uint16_t(value.size()));
  b.append(value);
  Pad(b);
}
QByteArray Block(uint32_t type, const QByteArray& body) {
  QByteArray b;
  const uint32_t len = uint32_t(12 + body.size());
  U32(b, type);
  U32(b, len);
  b.append(body);
  U32(b, len);
  return b;
}
uint32_t Get32(const QByteArray& b, qsizetype at) { return at >= 0 && at + 4 <= b.size() ? GetU32At(b, at) : 0; }
uint16_t Get16(const QByteArray& b, qsizetype at) {
  return at + 2 <= b.size() ? uint16_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8)) : 0;
}
}  // namespace

bool TPcapngWriter::Open(const QString& path, QString& error) {
  FFile.setFileName(path);
  if (!FFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    error = QStringLiteral("%1: %2").arg(path, FFile.errorString());
    return false;
  }
  QByteArray shb;
  U32(shb, CMagic);
  U16(shb, 1);
  U16(shb, 0);
  U32(shb, 0xFFFFFFFF);  // section length unknown
  U32(shb, 0xFFFFFFFF);
  Option(shb, 4, QByteArrayLiteral("vanta CCCI trace"));  // shb_userappl
  Option(shb, COptEnd, {});
  QByteArray idb;
  U16(idb, CLinkUser0);
  U16(idb, 0);
  U32(idb, 0);  // no snap length
  Option(idb, 2, QByteArrayLiteral("ccci"));  // if_name
  Option(idb, COptEnd, {});
  FFile.write(Block(CShb, shb) + Block(CIdb, idb));
  FFile.flush();
  return true;
}

void TPcapngWriter::Append(TTraceDir dir, const QByteArray& bytes, const QString& comment, int64_t timeUs) {
  if (!FFile.isOpen()) return;
  const uint64_t t = uint64_t(timeUs >= 0 ? timeUs : QDateTime::currentMSecsSinceEpoch() * 1000);
  QByteArray epb;
  U32(epb, 0);  // interface
  U32(epb, uint32_t(t >> 32));
  U32(epb, uint32_t(t & 0xFFFFFFFF));
  U32(epb, uint32_t(bytes.size()));
  U32(epb, uint32_t(bytes.size()));
  epb.append(bytes);
  Pad(epb);
  QByteArray flags;
  U32(flags, uint32_t(dir));
  Option(epb, COptEpbFlags, flags);
  if (!comment.isEmpty()) Option(epb, COptComment, comment.toUtf8());
  Option(epb, COptEnd, {});
  FFile.write(Block(CEpb, epb));
  FFile.flush();  // a trace is most wanted when the program does not end well
}

QString ReadPcapng(const QByteArray& f, std::vector<TTracePacket>& out) {
  out.clear();
  if (Get32(f, 0) != CShb || Get32(f, 8) != CMagic) return TEn::tr("trace: not a little-endian pcapng file");
  qsizetype at = 0;
  while (at < f.size()) {
    const uint32_t type = Get32(f, at), len = Get32(f, at + 4);
    if (len < 12 || len % 4 || at + qsizetype(len) > f.size()) return TEn::tr("trace: damaged block at offset %1").arg(at);
    if (Get32(f, at + qsizetype(len) - 4) != len) return TEn::tr("trace: block at offset %1 does not close").arg(at);
    if (type == CEpb) {
      const qsizetype body = at + 8;
      if (len < 32) return TEn::tr("trace: short packet block at offset %1").arg(at);
      const uint32_t caplen = Get32(f, body + 12);
      const qsizetype data = body + 20;
      const qsizetype end = at + qsizetype(len) - 4;
      if (data + qsizetype(caplen) > end) return TEn::tr("trace: packet longer than its block at offset %1").arg(at);
      TTracePacket p;
      p.TimeUs = int64_t((uint64_t(Get32(f, body + 4)) << 32) | Get32(f, body + 8));
      p.Bytes = f.mid(data, caplen);
      qsizetype opt = data + ((qsizetype(caplen) + 3) & ~qsizetype(3));
      while (opt + 4 <= end) {
        const uint16_t code = Get16(f, opt), olen = Get16(f, opt + 2);
        if (code == COptEnd) break;
        if (opt + 4 + olen > end) return TEn::tr("trace: damaged option at offset %1").arg(opt);
        if (code == COptEpbFlags && olen >= 4) p.Dir = (Get32(f, opt + 4) & 3) == 2 ? TTraceDir::tdOut : TTraceDir::tdIn;
        if (code == COptComment) p.Comment = QString::fromUtf8(f.mid(opt + 4, olen));
        opt += 4 + ((olen + 3) & ~3);
      }
      out.push_back(std::move(p));
    }
    at += qsizetype(len);
  }
  return {};
}

}  // namespace vanta
