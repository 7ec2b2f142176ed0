#include "app/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "text/codepage.h"
#include "text/file.h"

namespace qh {
namespace {

// Closes the descriptor on every path out of a function; Close() lets the caller see close's own error.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Returns 0, or the errno of a failed close.
  int Close() {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

AppendResult Failure(std::string_view what, const std::filesystem::path& path, int error) {
  return {std::string(what) + " " + path.string() + ": " + std::strerror(error)};
}

// Returns 0 once all of `bytes` is written, else the errno of the write that failed (ENOSPC for a write
// that makes no progress).
int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return ENOSPC;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

}  // namespace

std::filesystem::path DefaultOutputPath() {
  return ProgramDirectory() / PathFromText(u8"情话.txt"_text);
}

AppendResult AppendToOutputFile(const std::filesystem::path& path, const Text& text) {
  if (path.empty()) return {"cannot append to an empty path"};
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (!file.valid()) return Failure("cannot open", path, errno);

  struct stat before {};
  if (::fstat(file.get(), &before) != 0) return Failure("cannot inspect", path, errno);
  // Only a regular file can be cut back; a pipe or a device simply takes the bytes.
  const bool regular = S_ISREG(before.st_mode);

  if (const int error = WriteAll(file.get(), text.view()); error != 0) {
    if (regular) (void)::ftruncate(file.get(), before.st_size);
    return Failure("cannot write to", path, error);
  }
  if (const int error = file.Close(); error != 0) {
    // Delayed write errors show up at close; the bytes may or may not be there, so take them out again.
    if (regular) (void)::truncate(path.c_str(), before.st_size);
    return Failure("cannot write to", path, error);
  }
  return {};
}

AppendResult SyncOutputFile(const std::filesystem::path& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) file = FileDescriptor(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  // A file that cannot be opened at all took none of this run's bytes either: nothing to flush.
  if (!file.valid()) return {};
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return Failure("cannot inspect", path, errno);
  if (!S_ISREG(status.st_mode)) return {};
  if (::fsync(file.get()) != 0) return Failure("cannot flush", path, errno);
  return {};
}

}  // namespace qh
