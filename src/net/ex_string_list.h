// TExStringList is a list of text lines, unsorted or kept sorted, that can find, set, add and
// remove header entries ("name: value") by name. The HTTP client keeps its request header
// lines in one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vellumark {

class TExStringList final {
 public:
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& operator[](int index) const { return lines_[static_cast<std::size_t>(index)]; }
  const std::vector<std::string>& Lines() const { return lines_; }

  // A sorted list keeps its entries ordered by their name part (the text before the first
  // ":", or the whole text), compared without regard to case; Add then inserts in order.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);

  int Add(const std::string& line);  // returns the index of the new entry
  void Delete(int index);
  void Clear() { lines_.clear(); }

  // Every entry followed by CR LF.
  std::string Text() const;

  // The index of the first entry whose name part equals `name` without regard to case, or -1.
  // Entries without ":" never match.
  int IndexOfHeaderName(std::string_view name) const;

  // Sets the entry of `name` to name + ": " + value (the name spelled as passed), appending it
  // when there is none; an empty value removes the entry.
  void SetHeaderValue(const std::string& name, const std::string& value);

 private:
  std::vector<std::string> lines_;
  bool sorted_ = false;
};

}  // namespace vellumark
