#pragma once
// A file-size limit for the test process: every write beyond `bytes` in one
// file fails as on a full disk (EFBIG), also for root, without mount rights.
#include <sys/resource.h>

#include <csignal>

namespace vanta::test {

class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &FWas);
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
    struct rlimit small = FWas;
    small.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &small);
  }
  ~TFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &FWas);
    std::signal(SIGXFSZ, FOldHandler);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  struct rlimit FWas {};
  void (*FOldHandler)(int) = nullptr;
};

}  // namespace vanta::test
