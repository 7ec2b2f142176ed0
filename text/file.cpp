// Whole-file operations over POSIX file descriptors.
#include "text/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "text/codepage.h"

namespace qh {
namespace {

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
  // Closes now and returns whether the close succeeded (a failed close can mean lost data).
  bool Close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Returns 0 once all of `data` is written, else the errno of the write that failed (ENOSPC for a write that
// makes no progress).
int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

FileError Failure(const char* step, int error) {
  return {step, std::error_code(error, std::generic_category())};
}

}  // namespace

std::filesystem::path PathFromText(const Text& name) {
  return std::filesystem::path(Utf8FromText(name));
}

bool FileExists(const std::filesystem::path& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::exists(path, ec);
}

Bytes ReadWholeFile(const std::filesystem::path& path) {
  if (path.empty()) return {};
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return {};
  std::string content;
  if (S_ISREG(st.st_mode)) content.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {};
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  return Bytes(std::move(content));
}

bool WriteWholeFile(const std::filesystem::path& path, const Bytes& content) {
  if (path.empty()) return false;
  // Writing through a symbolic link replaces the file it points to, not the link.
  struct stat link {};
  std::error_code ec;
  const bool isLink = ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
  const std::filesystem::path target = isLink ? std::filesystem::canonical(path, ec) : path;
  if (ec || target.empty()) return false;

  // A file that could not be opened for writing is left alone, as a plain rewrite would fail to open it.
  mode_t mode = 0666;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return false;
    FileDescriptor probe(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
    if (!probe.valid()) return false;
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }

  // The new content goes to a temporary file beside the target, reaches the disk, and only then replaces the
  // target in one rename: a failed write leaves the former content whole.
  std::string temporary = target.parent_path() / ".";
  temporary.append(target.filename().string()).append(".XXXXXX");
  FileDescriptor fd(::mkstemp(temporary.data()));
  if (!fd.valid()) return false;
  const bool written = ::fchmod(fd.get(), mode) == 0 && WriteAll(fd.get(), content.view()) == 0 &&
                       ::fsync(fd.get()) == 0 && fd.Close();
  if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::filesystem::path ProgramDirectory() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path(ec) : exe.parent_path();
}

std::optional<FileError> AppendToFile(const std::filesystem::path& path, std::string_view content) {
  if (path.empty()) return Failure("open", ENOENT);
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (!file.valid()) return Failure("open", errno);
  struct stat before {};
  if (::fstat(file.get(), &before) != 0) return Failure("inspect", errno);
  // Only a regular file can be cut back; a pipe or a device simply takes the bytes.
  const bool regular = S_ISREG(before.st_mode);
  if (const int error = WriteAll(file.get(), content); error != 0) {
    if (regular) (void)::ftruncate(file.get(), before.st_size);
    return Failure("write to", error);
  }
  if (!file.Close()) {
    // Delayed write errors show up at close; the bytes may or may not be there, so take them out again.
    const int error = errno;
    if (regular) (void)::truncate(path.c_str(), before.st_size);
    return Failure("write to", error);
  }
  return std::nullopt;
}

std::optional<FileError> SyncFile(const std::filesystem::path& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) file = FileDescriptor(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  if (!file.valid()) return std::nullopt;
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return Failure("inspect", errno);
  if (!S_ISREG(status.st_mode)) return std::nullopt;
  if (::fsync(file.get()) != 0) return Failure("flush", errno);
  return std::nullopt;
}

}  // namespace qh
