#include "indexer/page_rules.h"

#include <functional>

#include "indexer/link_url.h"

namespace vellumark {

namespace {

std::string WithoutFragment(std::string url) {
  if (const std::size_t hash = url.find('#'); hash != std::string::npos) url.resize(hash);
  return url;
}

bool IsWebAddress(std::string_view url) {
  return url.starts_with("http://") || url.starts_with("https://");
}

std::uint64_t Hash(std::string_view text) { return std::hash<std::string_view>{}(text); }

}  // namespace

std::string NormalAddress(std::string_view url) {
  std::optional<std::string> normal = ResolveUrl(url, "");
  return WithoutFragment(normal ? std::move(*normal) : std::string(url));
}

LocationAddress LocationAddressOf(std::string_view url) {
  TURL location;
  const std::string start = SetBaseAddress(location, url);
  if (start.empty()) return {start, location.GetURL()};
  const std::optional<std::string> normal = ResolveUrl(start, "");
  if (!normal) return {start, location.GetURL()};
  // The directory rule applies to the normal form, as it does to every link.
  LocationAddress address;
  address.start = SetBaseAddress(location, WithoutFragment(*normal));
  address.base = location.GetURL();
  return address;
}

void LocationLinks::SetBase(const std::string& base_address) {
  base_.Clear();
  base_.SetURL(base_address);
  base_length_ = base_address.size();
}

void LocationLinks::SetPage(const std::string& page_address) {
  page_address_ = page_address;
  page_.Clear();
  page_.SetURL(page_address);
}

LinkPlace LocationLinks::Place(std::string_view href, std::string& relative) {
  // Browsers give links in normal form already; another loader, or a page that names its
  // links in other forms, gets the same treatment here.
  const std::optional<std::string> normal = ResolveUrl(page_address_, href);
  if (!normal || !IsWebAddress(*normal)) return LinkPlace::kNoPage;
  link_.Clear();
  link_.SetURL(*normal);
  link_.SetAnchor("");
  if (SamePage(page_, link_)) return LinkPlace::kNoPage;
  if (!IsInside(link_, base_)) return LinkPlace::kOutside;
  const std::string url = link_.GetURL();
  if (url.size() < base_length_) return LinkPlace::kOutside;
  relative = url.substr(base_length_);
  return LinkPlace::kInside;
}

bool IsErrorStatus(int status) { return status >= 400 && status != 405 && status != 501; }

int StatusOfHeader(std::string_view header) {
  const std::size_t blank = header.find(' ');
  if (!header.starts_with("HTTP/") || blank == std::string_view::npos) return 0;
  int status = 0;
  for (std::size_t i = blank + 1; i < header.size() && i < blank + 4; ++i) {
    if (header[i] < '0' || header[i] > '9') return 0;
    status = status * 10 + (header[i] - '0');
  }
  return status;
}

void PageOutcomes::Clear() {
  final_addresses_.clear();
  contents_.clear();
  not_found_ = 0;
  excluded_ = 0;
}

PageOutcome PageOutcomes::Judge(const LoadedPage& page) {
  if (page.robots_excluded) {
    ++excluded_;
    return PageOutcome::kExcluded;
  }
  if (IsErrorStatus(page.status)) {
    ++not_found_;
    return PageOutcome::kNotFound;
  }
  if (!page.final_url.empty() &&
      !final_addresses_.insert(Hash(NormalAddress(page.final_url))).second) {
    return PageOutcome::kDuplicate;
  }
  if (!page.text.empty()) {
    const Content content{Hash(page.text) ^ (Hash(page.title) * 0x9E3779B97F4A7C15ull),
                          page.text.size(), page.title.size()};
    if (!contents_.insert(content).second) return PageOutcome::kDuplicate;
  }
  return PageOutcome::kIndex;
}

}  // namespace vellumark
