// The comparison that orders the page queue, the link list and a page's word list: the user's
// locale, letter case ignored. It is ICU's collator for the default locale (taken from the
// environment: LC_ALL, LC_COLLATE, LANG; the root collation for the C and POSIX locales) at
// secondary strength, so "A" and "a" are equal while "a" and "á" are not. Texts are UTF-8.
//
// Lists compare sort keys rather than calling the collator on every comparison: two texts
// compare equal exactly when their sort keys are byte-equal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Collator;
U_NAMESPACE_END

namespace vellumark {

class TCollation final {
 public:
  // The collator of the user's locale; falls back to the root locale when that has none.
  TCollation();
  ~TCollation();
  TCollation(const TCollation&) = delete;
  TCollation& operator=(const TCollation&) = delete;

  // The sort key of `text`: keys compare bytewise as the texts compare under the collation.
  std::string SortKey(std::string_view text) const;
  // -1, 0 or 1.
  int Compare(std::string_view a, std::string_view b) const;

  // The one collation of the process (the locale does not change while the program runs).
  static const TCollation& Default();

  // Tells this collation from every other made in the process, also from one made later at
  // the same address (keys remembered for one must not serve another).
  std::uint64_t Serial() const { return serial_; }

 private:
  std::unique_ptr<icu::Collator> collator_;
  std::uint64_t serial_;
};

}  // namespace vellumark
