// The search bar as the search handlers see it: the sample box with its history, the mode and
// the two check boxes of the options panel, and the enabled state of Find, Next and the sample
// box. The Qt search bar implements it; tests and the command-line tool pass their own.
#pragma once

#include <string>
#include <vector>

#include "util/search_mode.h"

namespace vellumark {

class SearchView {
 public:
  virtual ~SearchView() = default;

  // edSearchText: the sample as typed, and the focus.
  virtual std::string SearchText() = 0;
  virtual void FocusSearchText() = 0;
  // The items of edSearchText's list, first item first.
  virtual std::vector<std::string> History() = 0;
  virtual void SetHistory(const std::vector<std::string>& items) = 0;

  // The mode set from cbSearchOptions, and the check boxes cbSubWord ("Included") and
  // cbShowSample ("Show").
  virtual TSearchMode SearchMode() = 0;
  virtual bool SubWord() = 0;
  virtual bool ShowSample() = 0;

  // bbFind, bbNext and edSearchText together.
  virtual void SetFindEnabled(bool enabled) = 0;
};

}  // namespace vellumark
