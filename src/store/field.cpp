#include "store/field.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "store/database.h"

namespace vellumark {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ParseInt(std::string_view s, std::int64_t& out) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

// Reads an unsigned decimal of 1 to `max_digits` digits at `pos`.
bool ReadNumber(std::string_view s, std::size_t& pos, std::size_t max_digits, int& out) {
  std::size_t start = pos;
  out = 0;
  while (pos < s.size() && pos - start < max_digits && s[pos] >= '0' && s[pos] <= '9') {
    out = out * 10 + (s[pos] - '0');
    ++pos;
  }
  return pos > start;
}

bool Expect(std::string_view s, std::size_t& pos, char c) {
  if (pos < s.size() && s[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

bool ValidDate(int y, int m, int d) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return !(m == 2 && d == 29 && !leap);
}

bool ParseDate(std::string_view s, std::string& out) {
  s = Trim(s);
  std::size_t pos = 0;
  int y, m, d;
  if (s.find('-') != std::string_view::npos) {
    if (!ReadNumber(s, pos, 4, y) || !Expect(s, pos, '-') || !ReadNumber(s, pos, 2, m) ||
        !Expect(s, pos, '-') || !ReadNumber(s, pos, 2, d))
      return false;
  } else {
    if (!ReadNumber(s, pos, 2, m) || !Expect(s, pos, '/') || !ReadNumber(s, pos, 2, d) ||
        !Expect(s, pos, '/') || !ReadNumber(s, pos, 4, y))
      return false;
  }
  if (pos != s.size() || !ValidDate(y, m, d)) return false;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  out = buf;
  return true;
}

bool ParseTime(std::string_view s, std::string& out) {
  s = Trim(s);
  std::size_t pos = 0;
  int h, m, sec = 0;
  if (!ReadNumber(s, pos, 2, h) || !Expect(s, pos, ':') || !ReadNumber(s, pos, 2, m)) return false;
  if (Expect(s, pos, ':') && !ReadNumber(s, pos, 2, sec)) return false;
  if (pos != s.size() || h > 23 || m > 59 || sec > 59) return false;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, m, sec);
  out = buf;
  return true;
}

std::string LocalTimeText(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, format, &tm);
  return buf;
}

}  // namespace

std::string TField::AsString() const {
  if (auto* i = std::get_if<std::int64_t>(&value_)) return std::to_string(*i);
  if (auto* s = std::get_if<std::string>(&value_)) return *s;
  return {};
}

std::int64_t TField::AsInteger() const {
  if (auto* i = std::get_if<std::int64_t>(&value_)) return *i;
  if (auto* s = std::get_if<std::string>(&value_)) {
    std::int64_t v;
    if (!ParseInt(*s, v)) throw EDatabaseError("'" + *s + "' is not a valid integer value");
    return v;
  }
  return 0;
}

void TField::Assign(Value v) {
  owner_->FieldChanging(*this);
  value_ = std::move(v);
}

void TField::SetString(std::string_view text) {
  switch (kind_) {
    case TFieldKind::kText:
    case TFieldKind::kBlob:
      Assign(std::string(text));
      return;
    case TFieldKind::kInteger: {
      if (Trim(text).empty()) return Assign(std::monostate{});
      std::int64_t v;
      if (!ParseInt(text, v)) {
        throw EDatabaseError("'" + std::string(text) + "' is not a valid integer value");
      }
      return Assign(v);
    }
    case TFieldKind::kDate:
    case TFieldKind::kTime: {
      if (Trim(text).empty()) return Assign(std::monostate{});
      std::string norm;
      bool ok = kind_ == TFieldKind::kDate ? ParseDate(text, norm) : ParseTime(text, norm);
      if (!ok) {
        throw EDatabaseError("'" + std::string(text) + "' is not a valid " +
                             (kind_ == TFieldKind::kDate ? "date" : "time"));
      }
      return Assign(std::move(norm));
    }
  }
}

void TField::SetInteger(std::int64_t value) {
  if (kind_ == TFieldKind::kInteger) return Assign(value);
  SetString(std::to_string(value));
}

void TField::SetBlob(std::string bytes) {
  if (kind_ != TFieldKind::kBlob && kind_ != TFieldKind::kText) return SetString(bytes);
  Assign(std::move(bytes));
}

void TField::Clear() { Assign(std::monostate{}); }

TField& TDataSet::Fields(int index) {
  if (index < 0 || index >= FieldCount()) {
    throw EDatabaseError("Field index " + std::to_string(index) + " out of range");
  }
  return fields_[index];
}

TField& TDataSet::FieldByName(std::string_view name) {
  for (auto& f : fields_) {
    if (f.FieldName() == name) return f;
  }
  throw EDatabaseError("Field '" + std::string(name) + "' not found");
}

std::string CurrentDateText() { return LocalTimeText("%Y-%m-%d"); }
std::string CurrentTimeText() { return LocalTimeText("%H:%M:%S"); }

}  // namespace vellumark
