#pragma once
// The device's Lua engine: Lua 5.4 with the device library the workspace
// uses (user, log, fs, uti, gpio, pq, ips, omap), `print` collected as the
// statement's output, and file access (io, dofile, loadfile, os.remove)
// confined to the device root. Runaway statements are stopped by an
// instruction budget and a memory cap.
#include <QByteArray>
#include <QString>

struct lua_State;

namespace vanta::sim {

class TSimDevice;

// Whether `text` is one of the device's result texts (uti.err2ascii).
bool KnownResultText(const QString& text);

class TSimLua {
 public:
  TSimLua(TSimDevice& device, QString user);
  ~TSimLua();
  TSimLua(const TSimLua&) = delete;
  TSimLua& operator=(const TSimLua&) = delete;

  struct TResult {
    QByteArray Output;
    bool Failed = false;
    QByteArray Error;
  };
  TResult Run(const QByteArray& statement);

  // Used by the library functions.
  TSimDevice& Device() { return FDevice; }
  const QString& User() const { return FUser; }
  void Print(const QByteArray& text) {
    if (!FMuted) FOut += text;
  }
  void SetMuted(bool m) { FMuted = m; }
  // Error output of a function that still returns normally (the device's
  // update call prints its failure and returns the code as well).
  void AddError(const QByteArray& text) { FPendingError += text; }
  size_t MemoryUsed = 0;

 private:
  void OpenLibraries();
  QByteArray FPendingError;

  TSimDevice& FDevice;
  QString FUser;
  QByteArray FOut;
  bool FMuted = false;
  lua_State* L = nullptr;
};

}  // namespace vanta::sim
