#include "indexer/collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vellumark {

TCollation::TCollation() {
  static std::atomic<std::uint64_t> made{0};
  serial_ = ++made;
  // The C and POSIX locales map onto "en_US_POSIX", whose collation orders by code point and
  // tells every letter from its capital at the first level; they name no language, so the
  // root collation stands in for them.
  icu::Locale locale = icu::Locale::getDefault();
  if (std::strcmp(locale.getVariant(), "POSIX") == 0) locale = icu::Locale::getRoot();
  UErrorCode status = U_ZERO_ERROR;
  collator_.reset(icu::Collator::createInstance(locale, status));
  if (U_FAILURE(status) || !collator_) {
    status = U_ZERO_ERROR;
    collator_.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
  }
  // Secondary strength: base letters and accents count, letter case does not.
  collator_->setStrength(icu::Collator::SECONDARY);
}

TCollation::~TCollation() = default;

std::string TCollation::SortKey(std::string_view text) const {
  const icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  std::vector<uint8_t> buffer(text.size() * 2 + 16);
  int32_t length = collator_->getSortKey(u, buffer.data(), static_cast<int32_t>(buffer.size()));
  if (length > static_cast<int32_t>(buffer.size())) {
    buffer.resize(length);
    length = collator_->getSortKey(u, buffer.data(), length);
  }
  // The key ends with a zero byte, which adds nothing to comparisons.
  if (length > 0) --length;
  return std::string(reinterpret_cast<const char*>(buffer.data()), length);
}

int TCollation::Compare(std::string_view a, std::string_view b) const {
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult r =
      collator_->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                             icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
  return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

const TCollation& TCollation::Default() {
  static const TCollation collation;
  return collation;
}

}  // namespace vellumark
