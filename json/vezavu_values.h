// The value classes behind VeZavu handles, and the reader and writer they use.
// Callers work through Handle and Document (vezavu.h); this header is for the
// library itself and its tests.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vezavu.h"

namespace VeZavu {

// Reading position in a text. Only the first error recorded counts: an outer
// level that fails because an inner one did keeps the inner code and place.
class Reader {
 public:
  Reader(const wchar_t* text, size_t length) : text_(text), length_(length) {}

  void Restart() { pos_ = 0; depth_ = 0; error_ = Error(); }

  bool AtEnd() const { return pos_ >= length_; }
  size_t Left() const { return length_ - pos_; }
  wchar_t Peek() const { return AtEnd() ? L'\0' : text_[pos_]; }
  wchar_t Next() { return text_[pos_++]; }  // only when !AtEnd()
  void Advance() { ++pos_; }
  size_t Position() const { return pos_; }

  // TAB, LF, CR and space.
  void SkipBlanks();
  // Consumes `word` when the text continues with exactly it.
  bool Take(const wchar_t* word);

  // Records `code` at the current position, or at `at` (a position read).
  void Fail(int code) { Fail(code, pos_); }
  void Fail(int code, size_t at);
  const Error& error() const { return error_; }

  // Nesting guard around arrays and objects.
  bool Enter();
  void Leave() { --depth_; }

 private:
  const wchar_t* text_;
  size_t length_;
  size_t pos_ = 0;
  int depth_ = 0;
  Error error_;
};

// Output of a write: the text so far, the indentation step and the nesting.
class Writer {
 public:
  explicit Writer(int step) : step_(step < 0 ? 0 : step) {}
  std::wstring& out() { return out_; }
  int step() const { return step_; }
  void Indent(int n) { out_.append(static_cast<size_t>(n), L' '); }
  bool Enter() { return ++depth_ <= kMaxDepth; }
  void Leave() { --depth_; }

 private:
  std::wstring out_;
  int step_;
  int depth_ = 0;
};

class Value {
 public:
  explicit Value(int kind) : kind_(kind) {}
  virtual ~Value();
  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;

  // Reads this kind of value at the reader's position (blanks first).
  virtual bool Parse(Reader& reader);
  // Appends the value's text; `indent` is the current indentation in spaces.
  virtual bool Write(Writer& writer, bool pretty, int indent) const;

  int kind() const { return kind_; }
  bool IsContainer() const { return kind_ == kArray || kind_ == kObject; }

  // Slots of containers (arrays, objects, a document's root slot).
  virtual Value* Child(int index, const std::wstring& key) const;
  // Puts `fresh` (the caller's reference) into the slot, dropping the old
  // value; false, and nothing taken, when the slot does not exist.
  virtual bool SetChild(int index, const std::wstring& key, Value* fresh);
  // Hands over every child reference, for destruction without recursion.
  virtual void TakeChildren(std::vector<Value*>& out);

  void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Drops one reference; a value whose last reference goes is destroyed,
  // with everything only it held, without recursing into the tree.
  friend void Release(Value* value);

 private:
  int kind_;
  std::atomic<long> refs_{1};
};

void Release(Value* value);

// A new value of a kind code (reference count 1); nullptr for codes 0 and 6
// and unknown codes.
Value* CreateValue(int kind);

class ValueNull : public Value {
 public:
  ValueNull() : Value(kNull) {}
  bool Parse(Reader& reader) override;
  bool Write(Writer& writer, bool pretty, int indent) const override;
};

class ValueBool : public Value {
 public:
  ValueBool() : Value(kBool) {}
  bool Parse(Reader& reader) override;
  bool Write(Writer& writer, bool pretty, int indent) const override;
  int value = 0;  // 1 true, 0 false
};

class ValueLong : public Value {
 public:
  ValueLong() : Value(kLong) {}
  bool Parse(Reader& reader) override;
  bool Write(Writer& writer, bool pretty, int indent) const override;
  int32_t value = 0;
};

class ValueString : public Value {
 public:
  ValueString() : Value(kString) {}
  bool Parse(Reader& reader) override;
  bool Write(Writer& writer, bool pretty, int indent) const override;
  std::wstring value;

  // The quoted string at the reader's position (object keys use it too).
  static bool ReadQuoted(Reader& reader, std::wstring* out);
  // False, with nothing appended, for a text that holds unit 0.
  static bool WriteQuoted(std::wstring& out, const std::wstring& text);
};

class ValueArray : public Value {
 public:
  ValueArray() : Value(kArray) {}
  ~ValueArray() override;
  bool Parse(Reader& reader) override;
  bool Write(Writer& writer, bool pretty, int indent) const override;
  Value* Child(int index, const std::wstring& key) const override;
  bool SetChild(int index, const std::wstring& key, Value* fresh) override;
  void TakeChildren(std::vector<Value*>& out) override;

  size_t Size() const { return items_.size(); }
  // Shrinking destroys the removed values; growing appends nulls. False,
  // with the array as it was, when memory runs out while growing.
  bool Resize(size_t n);
  void Append(Value* value) { items_.push_back(value); }  // takes the reference

 private:
  std::vector<Value*> items_;
};

class ValueObject : public Value {
 public:
  ValueObject() : Value(kObject) {}
  ~ValueObject() override;
  bool Parse(Reader& reader) override;
  bool Write(Writer& writer, bool pretty, int indent) const override;
  Value* Child(int index, const std::wstring& key) const override;
  bool SetChild(int index, const std::wstring& key, Value* fresh) override;
  void TakeChildren(std::vector<Value*>& out) override;

  size_t Size() const { return members_.size(); }
  std::vector<std::wstring> Keys() const;

 private:
  // Ordinal order of UTF-16 units: members are written in key order.
  std::map<std::wstring, Value*> members_;
};

// Chooses the kind of an element or member value by its first unit and reads
// it; nullptr when there is none or it cannot be read.
Value* ParseNested(Reader& reader);

}  // namespace VeZavu
