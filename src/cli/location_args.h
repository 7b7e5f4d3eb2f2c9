// The location dialog of the command-line tool: the URL and description come from the
// arguments; a description not given keeps what the dialog shows.
#pragma once

#include <optional>
#include <string>

#include "indexer/location_commands.h"

namespace vellumark::cli {

class ArgumentsDialog final : public LocationDialog {
 public:
  ArgumentsDialog(std::string url, std::optional<std::string> description)
      : url_(std::move(url)), description_(std::move(description)) {}
  bool Execute(const std::string&, std::string& url, std::string& description) override {
    url = url_;
    if (description_) description = *description_;
    return true;
  }

 private:
  std::string url_;
  std::optional<std::string> description_;
};

}  // namespace vellumark::cli
