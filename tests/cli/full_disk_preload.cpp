// A preload library that makes the disk run full: writes to regular files
// fail with ENOSPC once VQ_FULL_AFTER bytes have been written in all. Writes
// to terminals, pipes and the like are never counted or failed.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace {

using WriteFunction = ssize_t (*)(int, const void*, size_t);

std::atomic<long long> written{0};

long long Limit() {
  static const long long limit = [] {
    const char* text = std::getenv("VQ_FULL_AFTER");
    return text ? std::atoll(text) : -1LL;
  }();
  return limit;
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  static const auto real = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
  struct stat st {};
  if (Limit() < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return real(fd, data, size);
  const long long before = written.fetch_add(static_cast<long long>(size));
  if (before >= Limit()) {
    written.fetch_sub(static_cast<long long>(size));
    errno = ENOSPC;
    return -1;
  }
  // The last bytes that fit go, as a short write.
  const auto room = static_cast<size_t>(Limit() - before);
  if (room < size) written.fetch_sub(static_cast<long long>(size - room));
  return real(fd, data, room < size ? room : size);
}
