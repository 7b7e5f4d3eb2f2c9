// Fields of a record: the current value of one column of a table's or query's cursor, read and
// written as text, integer or bytes, or empty (null). Dates and times are kept as text in the
// forms "YYYY-MM-DD" and "HH:MM:SS"; assigning text to a date, time or integer field converts
// it, and raises EDatabaseError when it cannot.
//
// TDataSet is the common base of TTable and TQuery: it owns the fields and decides whether
// they may be written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vellumark {

enum class TFieldKind { kInteger, kText, kDate, kTime, kBlob };

class TDataSet;

class TField final {
 public:
  TField(TDataSet* owner, std::string name, TFieldKind kind)
      : owner_(owner), name_(std::move(name)), kind_(kind) {}

  const std::string& FieldName() const { return name_; }
  TFieldKind Kind() const { return kind_; }

  bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
  // Text of the value: "" when null, decimal for an integer, the bytes of a text or blob.
  std::string AsString() const;
  // Integer value: 0 when null; a text value is converted (raises when it is no number).
  std::int64_t AsInteger() const;
  // The bytes of a text or blob value ("" when null).
  std::string AsBlob() const { return AsString(); }

  // Writing requires the owning table to be in edit or insert state.
  // Text is converted to the field's kind; the empty text makes a date, time or integer
  // field null. A date accepts "YYYY-MM-DD" and "MM/DD/YYYY", a time "H:MM" or "H:MM:SS".
  void SetString(std::string_view text);
  void SetInteger(std::int64_t value);
  void SetBlob(std::string bytes);  // the whole value, replacing the old one
  void Clear();                     // makes the value null

  // --- for the table layer ---
  using Value = std::variant<std::monostate, std::int64_t, std::string>;
  const Value& RawValue() const { return value_; }
  void Load(Value v) { value_ = std::move(v); }

 private:
  void Assign(Value v);

  TDataSet* owner_;
  std::string name_;
  TFieldKind kind_;
  Value value_;
};

class TDataSet {
 public:
  virtual ~TDataSet() = default;

  // Closes the data set (its database disconnects or it is closed directly).
  virtual void Close() = 0;
  bool Active() const { return active_; }

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  // Field by position, counting from 0. Raises EDatabaseError when out of range.
  TField& Fields(int index);
  // Field by name (exact comparison). Raises EDatabaseError when there is none.
  TField& FieldByName(std::string_view name);

 protected:
  friend class TField;
  // Called before a field takes a new value; raises when the data set cannot be written.
  virtual void FieldChanging(TField& field) = 0;

  std::vector<TField> fields_;
  bool active_ = false;
};

// Today's date as "YYYY-MM-DD" and the time now as "HH:MM:SS", local time.
std::string CurrentDateText();
std::string CurrentTimeText();

}  // namespace vellumark
