#include "net/ex_string_list.h"

#include <algorithm>

namespace vellumark {

namespace {

std::string_view NamePart(std::string_view line) {
  const std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? line : line.substr(0, colon);
}

unsigned char Lower(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 32) : b;
}

// Compares without regard to the case of A to Z: below 0, 0 or above 0.
int CompareText(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int d = Lower(a[i]) - Lower(b[i]);
    if (d != 0) return d;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace

void TExStringList::SetSorted(bool sorted) {
  sorted_ = sorted;
  if (sorted_) {
    std::stable_sort(lines_.begin(), lines_.end(), [](const std::string& a, const std::string& b) {
      return CompareText(NamePart(a), NamePart(b)) < 0;
    });
  }
}

int TExStringList::Add(const std::string& line) {
  if (!sorted_) {
    lines_.push_back(line);
    return Count() - 1;
  }
  auto it = std::upper_bound(lines_.begin(), lines_.end(), line,
                             [](const std::string& a, const std::string& b) {
                               return CompareText(NamePart(a), NamePart(b)) < 0;
                             });
  return static_cast<int>(lines_.insert(it, line) - lines_.begin());
}

void TExStringList::Delete(int index) { lines_.erase(lines_.begin() + index); }

std::string TExStringList::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

int TExStringList::IndexOfHeaderName(std::string_view name) const {
  if (!sorted_) {
    for (int i = 0; i < Count(); ++i) {
      const std::string& line = lines_[static_cast<std::size_t>(i)];
      if (line.find(':') == std::string::npos) continue;
      if (CompareText(NamePart(line), name) == 0) return i;
    }
    return -1;
  }
  int lo = 0, hi = Count() - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const std::string& line = lines_[static_cast<std::size_t>(mid)];
    const int c = CompareText(NamePart(line), name);
    if (c == 0) {
      // The first of equal names, as in the unsorted search.
      int first = mid;
      while (first > 0 && CompareText(NamePart(lines_[first - 1]), name) == 0) --first;
      return line.find(':') == std::string::npos ? -1 : first;
    }
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return -1;
}

void TExStringList::SetHeaderValue(const std::string& name, const std::string& value) {
  const int index = IndexOfHeaderName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  const std::string entry = name + ": " + value;
  if (index < 0) {
    Add(entry);
  } else {
    // The name part compares equal, so a sorted list stays in order.
    lines_[static_cast<std::size_t>(index)] = entry;
  }
}

}  // namespace vellumark
