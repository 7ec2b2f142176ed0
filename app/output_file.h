// Appends page texts to the output file in place, so that the file always ends on a whole page: a write
// that fails or falls short is cut back off again. The file is closed after every page.
//   std::filesystem::path path = DefaultOutputPath();              // "情话.txt" next to the executable
//   if (AppendResult r = AppendToOutputFile(path, text); !r.ok()) std::cerr << r.error;
#pragma once

#include <filesystem>
#include <string>

#include "text/text.h"

namespace qh {

// The outcome of one file operation: an empty error means it succeeded.
struct AppendResult {
  std::string error;  // what failed and why, naming the path (UTF-8)
  bool ok() const { return error.empty(); }
};

// Returns the file a run appends to when none is given: "情话.txt" in the executable's directory.
std::filesystem::path DefaultOutputPath();

// Returns whether the bytes of `text` were appended to the file at `path` (created when missing, with
// nothing added or converted). On failure the file keeps its former length and content.
AppendResult AppendToOutputFile(const std::filesystem::path& path, const Text& text);

// Returns whether what earlier appends wrote to `path` reached the storage device. A path that is no
// regular file, or that cannot be opened (so took no appends either), has nothing to flush and succeeds.
AppendResult SyncOutputFile(const std::filesystem::path& path);

}  // namespace qh
