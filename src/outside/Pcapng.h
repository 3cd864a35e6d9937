#pragma once
// Protocol traces as pcapng files (one interface, link type USER0 = 147):
// every block is an Enhanced Packet Block whose flags carry the direction
// (1 inbound = device to client, 2 outbound = client to device) and whose
// comment names special payloads ("shell": text typed into or read from the
// SSH shell). Wireshark opens them; the simulator replays them.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <vector>

namespace vanta {

enum class TTraceDir : uint8_t { tdIn = 1, tdOut = 2 };

struct TTracePacket {
  TTraceDir Dir = TTraceDir::tdIn;
  int64_t TimeUs = 0;  // since 1970, microseconds
  QByteArray Bytes;
  QString Comment;
};

class TPcapngWriter {
 public:
  // Creates (truncates) the file and writes the section and interface
  // headers. False with the reason.
  bool Open(const QString& path, QString& error);
  bool IsOpen() const { return FFile.isOpen(); }
  void Append(TTraceDir dir, const QByteArray& bytes, const QString& comment = {}, int64_t timeUs = -1);
  void Close() { FFile.close(); }

 private:
  QFile FFile;
};

// Reads a trace written by TPcapngWriter (or any pcapng with one
// interface): the packets in file order. Damaged or truncated blocks end
// the read with an error; the packets before them are kept.
QString ReadPcapng(const QByteArray& file, std::vector<TTracePacket>& out);

}  // namespace vanta
