#include "app/output_file.h"

#include "text/codepage.h"
#include "text/file.h"

namespace qh {
namespace {

AppendResult Reported(const std::optional<FileError>& error, const std::filesystem::path& path) {
  if (!error) return {};
  return {"cannot " + std::string(error->step) + " " + path.string() + ": " + error->reason.message()};
}

}  // namespace

std::filesystem::path DefaultOutputPath() {
  return ProgramDirectory() / PathFromText(u8"情话.txt"_text);
}

AppendResult AppendToOutputFile(const std::filesystem::path& path, const Text& text) {
  if (path.empty()) return {"cannot append to an empty path"};
  return Reported(AppendToFile(path, text.view()), path);
}

AppendResult SyncOutputFile(const std::filesystem::path& path) {
  return Reported(SyncFile(path), path);
}

}  // namespace qh
