// Whole-file operations on native paths, and the mapping of a program's code page 936 file names onto the
// UTF-8 file system.
//   std::filesystem::path out = ProgramDirectory() / PathFromText(u8"情话.txt"_text);
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "text/text.h"

namespace qh {

// Returns the native (UTF-8) path for the code page 936 file name `name`.
std::filesystem::path PathFromText(const Text& name);

// Returns whether a file or directory of that name exists.
bool FileExists(const std::filesystem::path& path);
// Returns the whole content of the file; empty if the path is empty or the file can't be opened or read.
Bytes ReadWholeFile(const std::filesystem::path& path);
// Replaces the file's content by `content`; returns false for an empty path or a failure, in which case the
// former content is kept (the bytes go to a temporary file that is renamed over the target).
bool WriteWholeFile(const std::filesystem::path& path, const Bytes& content);
// Returns the directory of the running executable.
std::filesystem::path ProgramDirectory();

// What failed in a file operation: the step ("open", "inspect", "write to", "flush") and the system's reason.
struct FileError {
  const char* step;
  std::error_code reason;
};

// Appends `content` to the file in place, creating it when missing; returns the failure, if any, after which
// a regular file has been cut back to its former length.
std::optional<FileError> AppendToFile(const std::filesystem::path& path, std::string_view content);
// Flushes what was written to the file to the storage device; returns the failure, if any. A path that is no
// regular file, or that cannot be opened at all, has nothing to flush.
std::optional<FileError> SyncFile(const std::filesystem::path& path);

}  // namespace qh
