// The search mode of the search bar, set from the text of its mode combo box and read by the
// Find command and find in page.
#pragma once

#include <string_view>

namespace vellumark {

enum TSearchMode : int {
  smAnyWords = 0,
  smAllWords = 1,
  smExactPhrase = 2,
  smInvalid = 3,
};

// "Any Words", "All Words" and "Exact Phrase", compared exactly (letter case included); any
// other text is smInvalid.
inline TSearchMode SearchModeFromText(std::string_view text) {
  if (text == "Any Words") return smAnyWords;
  if (text == "All Words") return smAllWords;
  if (text == "Exact Phrase") return smExactPhrase;
  return smInvalid;
}

}  // namespace vellumark
