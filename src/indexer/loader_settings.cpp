#include "indexer/loader_settings.h"

#include "util/inifile.h"

namespace vellumark {

LoaderSettings ReadLoaderSettings(const TPIniFile& /*settings*/, int /*task_no*/) {
  return LoaderSettings{};
}

std::optional<LoaderKind> LoaderKindFromName(std::string_view name) {
  if (name == "browser") return LoaderKind::kBrowser;
  if (name == "fast") return LoaderKind::kFast;
  return std::nullopt;
}

std::string_view LoaderKindName(LoaderKind kind) {
  return kind == LoaderKind::kFast ? "fast" : "browser";
}

}  // namespace vellumark
