// A preload library that records how a program changes a folder tree. With
// VQ_CREATION_LOG naming a file and VQ_CREATION_ROOT a folder, every
// successful change below that folder is appended to the file as one line,
// in the order the calls returned:
//   mkdir <path>
//   create <path>            (a file that did not exist before the call)
//   rename <from> -> <to>
//   unlink <path>
//   rmdir <path>
// Paths are relative to the root; the side of a rename that lies outside it
// is written in full. Calls made through glibc's own internals (fopen's open,
// remove's unlink) never reach the interceptors below, so fopen, creat and
// remove are taken over as well.
//
// The fortified wrappers of <fcntl.h> would clash with the definitions here.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <optional>
#include <string>

namespace {

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using OpenFunction = int (*)(const char*, int, ...);
using OpenAtFunction = int (*)(int, const char*, int, ...);

// The folder `dirfd` stands for, as an absolute path.
std::string FolderOf(int dirfd) {
  char buffer[PATH_MAX];
  if (dirfd == AT_FDCWD) return getcwd(buffer, sizeof buffer) ? buffer : "";
  const std::string link = "/proc/self/fd/" + std::to_string(dirfd);
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
}

// The absolute path of `path` seen from `dirfd`, its folder resolved
// through links, so it compares with the root whatever way it was named.
std::string Absolute(int dirfd, const char* path) {
  std::string full = path[0] == '/' ? std::string(path) : FolderOf(dirfd) + "/" + path;
  while (full.size() > 1 && full.back() == '/') full.pop_back();
  const size_t slash = full.rfind('/');
  std::string folder = slash == 0 ? "/" : full.substr(0, slash);
  char resolved[PATH_MAX];
  if (realpath(folder.c_str(), resolved)) folder = resolved;
  return (folder == "/" ? "" : folder) + "/" + full.substr(slash + 1);
}

// The log file and the watched folder, read once from the environment.
class Recorder {
 public:
  Recorder() {
    const char* log = getenv("VQ_CREATION_LOG");
    const char* root = getenv("VQ_CREATION_ROOT");
    if (!log || !*log || !root || !*root) return;
    // The root may not exist yet: the program may be the one to make it.
    char resolved[PATH_MAX];
    root_ = realpath(root, resolved) ? std::string(resolved) : Absolute(AT_FDCWD, root);
    fd_ = Real<OpenFunction>("open")(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  bool Active() const { return fd_ >= 0; }

  // `path` below the root, relative to it; nothing for the root itself and
  // for paths outside it.
  std::optional<std::string> Inside(const std::string& path) const {
    if (path.size() <= root_.size() + 1 || path.compare(0, root_.size(), root_) != 0 || path[root_.size()] != '/') {
      return std::nullopt;
    }
    return path.substr(root_.size() + 1);
  }

  // One line, under the lock: lines of several threads never mix.
  void Write(const std::string& line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (size_t done = 0; done < line.size();) {
      const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

 private:
  std::string root_;
  int fd_ = -1;
  std::mutex mutex_;
};

// Never destroyed: threads the program leaves running may still call in.
Recorder& TheRecorder() {
  static auto* recorder = new Recorder;
  return *recorder;
}

void Record(const char* what, int dirfd, const char* path) {
  Recorder& recorder = TheRecorder();
  if (const auto inside = recorder.Inside(Absolute(dirfd, path))) recorder.Write(std::string(what) + " " + *inside + "\n");
}

void RecordRename(int fromFd, const char* from, int toFd, const char* to) {
  Recorder& recorder = TheRecorder();
  const std::string fromPath = Absolute(fromFd, from);
  const std::string toPath = Absolute(toFd, to);
  const auto fromInside = recorder.Inside(fromPath);
  const auto toInside = recorder.Inside(toPath);
  if (fromInside || toInside) {
    recorder.Write("rename " + fromInside.value_or(fromPath) + " -> " + toInside.value_or(toPath) + "\n");
  }
}

bool Exists(int dirfd, const char* path) {
  struct stat st {};
  return fstatat(dirfd, path, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool TakesMode(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

// Runs `call`, an open of `path` from `dirfd`, and records a file it created.
template <typename Call>
int Open(int dirfd, const char* path, int flags, Call call) {
  const bool fresh = (flags & O_CREAT) != 0 && TheRecorder().Active() && !Exists(dirfd, path);
  const int fd = call();
  if (fd >= 0 && fresh) Record("create", dirfd, path);
  return fd;
}

template <typename Call>
FILE* OpenStream(const char* path, const char* mode, Call call) {
  const bool creates = mode[0] == 'w' || mode[0] == 'a';
  const bool fresh = creates && TheRecorder().Active() && !Exists(AT_FDCWD, path);
  FILE* file = call();
  if (file && fresh) Record("create", AT_FDCWD, path);
  return file;
}

// Records `what` for `path` when `result` says the call succeeded.
int Changed(int result, const char* what, int dirfd, const char* path) {
  if (result == 0 && TheRecorder().Active()) Record(what, dirfd, path);
  return result;
}

int Renamed(int result, int fromFd, const char* from, int toFd, const char* to) {
  if (result == 0 && TheRecorder().Active()) RecordRename(fromFd, from, toFd, to);
  return result;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  static const auto real = Real<OpenFunction>("open");
  va_list args;
  va_start(args, flags);
  const mode_t mode = TakesMode(flags) ? va_arg(args, mode_t) : 0;
  va_end(args);
  return Open(AT_FDCWD, path, flags, [&] { return real(path, flags, mode); });
}

int open64(const char* path, int flags, ...) {
  static const auto real = Real<OpenFunction>("open64");
  va_list args;
  va_start(args, flags);
  const mode_t mode = TakesMode(flags) ? va_arg(args, mode_t) : 0;
  va_end(args);
  return Open(AT_FDCWD, path, flags, [&] { return real(path, flags, mode); });
}

int openat(int dirfd, const char* path, int flags, ...) {
  static const auto real = Real<OpenAtFunction>("openat");
  va_list args;
  va_start(args, flags);
  const mode_t mode = TakesMode(flags) ? va_arg(args, mode_t) : 0;
  va_end(args);
  return Open(dirfd, path, flags, [&] { return real(dirfd, path, flags, mode); });
}

int openat64(int dirfd, const char* path, int flags, ...) {
  static const auto real = Real<OpenAtFunction>("openat64");
  va_list args;
  va_start(args, flags);
  const mode_t mode = TakesMode(flags) ? va_arg(args, mode_t) : 0;
  va_end(args);
  return Open(dirfd, path, flags, [&] { return real(dirfd, path, flags, mode); });
}

int creat(const char* path, mode_t mode) {
  static const auto real = Real<int (*)(const char*, mode_t)>("creat");
  return Open(AT_FDCWD, path, O_CREAT, [&] { return real(path, mode); });
}

int creat64(const char* path, mode_t mode) {
  static const auto real = Real<int (*)(const char*, mode_t)>("creat64");
  return Open(AT_FDCWD, path, O_CREAT, [&] { return real(path, mode); });
}

FILE* fopen(const char* path, const char* mode) {
  static const auto real = Real<FILE* (*)(const char*, const char*)>("fopen");
  return OpenStream(path, mode, [&] { return real(path, mode); });
}

FILE* fopen64(const char* path, const char* mode) {
  static const auto real = Real<FILE* (*)(const char*, const char*)>("fopen64");
  return OpenStream(path, mode, [&] { return real(path, mode); });
}

int mkdir(const char* path, mode_t mode) {
  static const auto real = Real<int (*)(const char*, mode_t)>("mkdir");
  return Changed(real(path, mode), "mkdir", AT_FDCWD, path);
}

int mkdirat(int dirfd, const char* path, mode_t mode) {
  static const auto real = Real<int (*)(int, const char*, mode_t)>("mkdirat");
  return Changed(real(dirfd, path, mode), "mkdir", dirfd, path);
}

int rename(const char* from, const char* to) {
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  return Renamed(real(from, to), AT_FDCWD, from, AT_FDCWD, to);
}

int renameat(int fromFd, const char* from, int toFd, const char* to) {
  static const auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
  return Renamed(real(fromFd, from, toFd, to), fromFd, from, toFd, to);
}

int renameat2(int fromFd, const char* from, int toFd, const char* to, unsigned int flags) {
  static const auto real = Real<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
  return Renamed(real(fromFd, from, toFd, to, flags), fromFd, from, toFd, to);
}

int unlink(const char* path) {
  static const auto real = Real<int (*)(const char*)>("unlink");
  return Changed(real(path), "unlink", AT_FDCWD, path);
}

int rmdir(const char* path) {
  static const auto real = Real<int (*)(const char*)>("rmdir");
  return Changed(real(path), "rmdir", AT_FDCWD, path);
}

int unlinkat(int dirfd, const char* path, int flags) {
  static const auto real = Real<int (*)(int, const char*, int)>("unlinkat");
  return Changed(real(dirfd, path, flags), (flags & AT_REMOVEDIR) != 0 ? "rmdir" : "unlink", dirfd, path);
}

int remove(const char* path) {
  static const auto real = Real<int (*)(const char*)>("remove");
  struct stat st {};
  const bool folder = lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
  return Changed(real(path), folder ? "rmdir" : "unlink", AT_FDCWD, path);
}

}  // extern "C"
