// The location dialog of the command-line tool: the URL, description and page loader come from
// the arguments; a description or loader not given keeps what the dialog shows.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "indexer/location_commands.h"

namespace vellumark::cli {

// The --loader option of add, edit and index: "browser" or "fast"; any other name is a usage
// error. `name` stays unset when the option is not given.
inline CLI::Option* AddLoaderOption(CLI::App* sub, std::optional<std::string>& name,
                                    const std::string& help) {
  return sub->add_option("--loader", name, help)
      ->check(CLI::IsMember({std::string(LoaderKindName(LoaderKind::kBrowser)),
                             std::string(LoaderKindName(LoaderKind::kFast))}))
      ->option_text("browser|fast");
}

// The kind a checked --loader value names (unset when not given).
inline std::optional<LoaderKind> ChosenLoader(const std::optional<std::string>& name) {
  return name ? LoaderKindFromName(*name) : std::nullopt;
}

class ArgumentsDialog final : public LocationDialog {
 public:
  ArgumentsDialog(std::string url, std::optional<std::string> description,
                  std::optional<LoaderKind> loader)
      : url_(std::move(url)), description_(std::move(description)), loader_(loader) {}
  bool Execute(const std::string&, std::string& url, std::string& description,
               LoaderKind& loader) override {
    url = url_;
    if (description_) description = *description_;
    if (loader_) loader = *loader_;
    return true;
  }

 private:
  std::string url_;
  std::optional<std::string> description_;
  std::optional<LoaderKind> loader_;
};

}  // namespace vellumark::cli
