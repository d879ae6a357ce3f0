#include "utils/file_system.h"

#include <sys/statfs.h>

#include <cstring>

namespace utils {
namespace {

// The f_type values of statfs (linux/magic.h).
constexpr decltype(statfs::f_type) kTmpfsMagic = 0x01021994;
constexpr decltype(statfs::f_type) kRamfsMagic = static_cast<decltype(statfs::f_type)>(0x858458f6);

}  // namespace

bool onMemoryFileSystem(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  struct statfs info;
  if (::statfs(folder.c_str(), &info) != 0) return false;
  return info.f_type == kTmpfsMagic || info.f_type == kRamfsMagic;
}

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
  struct sigaction ignore;
  std::memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  signalSet_ = ::sigaction(SIGXFSZ, &ignore, &action_) == 0;
  if (::getrlimit(RLIMIT_FSIZE, &limit_) != 0) return;
  if (limit_.rlim_cur != RLIM_INFINITY && limit_.rlim_cur <= bytes) return;
  struct rlimit lower = limit_;
  lower.rlim_cur = static_cast<rlim_t>(bytes);
  limitSet_ = ::setrlimit(RLIMIT_FSIZE, &lower) == 0;
}

FileSizeLimit::~FileSizeLimit() {
  if (limitSet_) ::setrlimit(RLIMIT_FSIZE, &limit_);
  if (signalSet_) ::sigaction(SIGXFSZ, &action_, nullptr);
}

}  // namespace utils
