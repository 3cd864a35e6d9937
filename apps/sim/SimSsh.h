#pragma once
// The simulator's SSH server (libssh): password login against the device's
// users (an expired user must change the password through
// keyboard-interactive prompts), a host key generated into the device root
// on first start, direct-tcpip to the device's own CCCI service, and a shell
// that runs each typed line as a Lua statement and ends its output with
// 0x1A 0x1B.
#include <QString>
#include <atomic>
#include <thread>
#include <vector>

struct ssh_bind_struct;
struct ssh_session_struct;

namespace vanta::sim {

class TSimDevice;

class TSimSshServer {
 public:
  explicit TSimSshServer(TSimDevice& device) : FDevice(device) {}
  ~TSimSshServer();
  bool Start(const QString& bind, uint16_t port, QString& error);
  uint16_t Port() const { return FPort; }
  // The port this simulator's CCCI service really listens on: a tunnel to
  // 5040, where a device's CCCI service is, reaches it there.
  void SetCcciPort(uint16_t port) { FCcciPort = port; }
  void Stop();

 private:
  void AcceptLoop();
  void Serve(ssh_session_struct* session);
  TSimDevice& FDevice;
  ssh_bind_struct* FBind = nullptr;
  uint16_t FPort = 0;
  uint16_t FCcciPort = 0;
  std::atomic<bool> FStop{false};
  std::atomic<int> FActive{0};
  std::thread FAccept;
  std::vector<std::thread> FSessions;
};

// Runs Lua lines from stdin and answers each with its output and the end
// marker, as the device shell does (for a real sshd's ForceCommand).
int RunLuaShell(TSimDevice& device, const QString& user);

}  // namespace vanta::sim
