// VeZavu: a small JSON document model over UTF-16 text.
//
// A document is parsed into a tree of reference-counted values (null, bool,
// 32-bit integer, string, array, object). A Handle names one slot of that
// tree: a container (array, object, or the document's root) and the place in
// it. Reading through a handle always sees the slot's current value, so a
// value replaced through one handle is what every copy of it sees. A handle
// keeps its container alive: it may outlive the Document it came from.
//
// Reading a member or element with operator[] builds what is missing (like
// the assignment it usually precedes); Find and At only look.
//
// Hostile text never crashes the parser: nesting is capped at kMaxDepth
// arrays/objects (deeper text fails with kErrTooDeep), and an integer outside
// the 32-bit signed range fails with kErrOutOfRange instead of wrapping.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace VeZavu {

// Kind codes of values (6 is not used).
enum Kind {
  kNone = 0,  // no value
  kNull = 1,
  kObject = 2,
  kBool = 3,
  kString = 4,
  kLong = 5,
  kArray = 7,
};

// Parse error codes (0 = none).
enum ErrorCode {
  kErrNone = 0,
  kErrMissingBrace = 1,      // '{' expected
  kErrMissingQuote = 3,      // opening '"' of a string expected
  kErrEndInString = 4,       // the text ends inside a string
  kErrDashAtEnd = 5,         // '-' is the last unit of the text
  kErrMissingColon = 6,      // ':' expected after a member's key
  kErrMissingSeparator = 7,  // ',' or the closing bracket expected
  kErrBadEscape = 8,         // unknown escape, bad hex digit, or \u0000
  kErrBadValue = 9,          // an element or member value could not be parsed
  kErrMissingBracket = 10,   // '[' expected
  kErrTooDeep = 11,          // arrays/objects nested deeper than kMaxDepth
  kErrOutOfRange = 12,       // an integer outside -2147483648..2147483647
};

// Deepest nesting of arrays and objects that is read or written. It bounds
// the stack the recursive reader and writer use (about 44 KB at the cap in
// the 64-bit build, less in the 32-bit one), so a document from the network
// cannot exhaust a worker thread's stack.
const int kMaxDepth = 256;

// Most elements an array is grown to by indexing or Resize. An index read
// from elsewhere (a count in a message, a user's number) must not be able to
// make the library allocate gigabytes and end the process: beyond this the
// call fails cleanly. Arrays read from text are bounded by the text instead.
const int kMaxGrowElements = 1 << 20;

// Where a parse failed. Line and column count from 1 (-1 while no error):
// every UTF-16 unit moves the column on by one, an LF starts a new line.
struct Error {
  int code = kErrNone;
  int line = -1;
  int column = -1;
};

class Value;
class Reader;
class Writer;

class Handle {
 public:
  Handle();
  Handle(const Handle& other);
  Handle& operator=(const Handle& other);  // names the other's slot (no copy of values)
  virtual ~Handle();

  // The value's kind code; kNone for an empty handle.
  int Kind() const;
  bool IsEmpty() const { return Kind() == kNone; }
  // True when empty or holding a null value.
  bool IsNull() const;

  // Conversions: only from a value of the matching kind, else 0 / false /
  // nullptr. The text pointer stays valid until the value is replaced.
  int ToInt() const;
  bool ToBool() const;
  const wchar_t* ToText() const;

  // Element i. A value that is not an array is first replaced in its slot by
  // an empty array; an index at or past the end grows the array with nulls.
  // A negative index, one that would grow the array past kMaxGrowElements,
  // memory running out, or a slot that no longer exists gives an empty
  // handle (and leaves the value as it was).
  Handle operator[](int index);
  // Member `key`. A value that is not an object is first replaced in its slot
  // by an empty object; a missing key is added with a null value.
  Handle operator[](const wchar_t* key);
  Handle operator[](const std::wstring& key);

  // Assignment of content. When the kind differs, a new value of the
  // assigned kind replaces the old one in its slot; a handle without a value
  // ignores the assignment. Narrow text is UTF-8.
  Handle& operator=(std::nullptr_t);
  Handle& operator=(bool value);
  Handle& operator=(int value);
  Handle& operator=(long value);
  Handle& operator=(const wchar_t* text);
  Handle& operator=(const std::wstring& text);
  Handle& operator=(const char* utf8);

  // Looking without building: an empty handle when absent or of another kind.
  Handle Find(const wchar_t* key) const;
  Handle Find(const std::wstring& key) const;
  Handle At(int index) const;
  // Elements of an array or members of an object; 0 for other kinds.
  int Size() const;
  // The keys of an object in the order they are written.
  std::vector<std::wstring> Keys() const;
  // Resizes an array: removed elements are destroyed, new ones are null.
  // False, with the array unchanged, when the value is not an array, n is
  // negative, growing would pass kMaxGrowElements, or memory runs out.
  bool Resize(int n);

  // The value as JSON text: compact, or pretty with `step` spaces per level
  // (lines end with CR LF). Empty when there is no value or it cannot be
  // written: nested deeper than kMaxDepth, or a string or key holding unit 0
  // (the reader refuses its escape, and what is written must read back).
  std::wstring Write(bool pretty = false, int step = 4) const;
  // The same text converted to a code page (CP_UTF8 = 65001, 936, ...),
  // without byte-order mark; empty on failure.
  std::string WriteNarrow(unsigned codePage, bool pretty = false, int step = 4) const;

 protected:
  Handle(Value* owner, int index, const std::wstring& key);  // takes a reference on owner
  Value* Get() const;
  bool Replace(Value* fresh);  // takes the caller's reference on success
  template <int K> Value* Ensure();

  Value* owner_;      // the container: array, object or a document's root slot
  int index_;         // place in an array
  std::wstring key_;  // place in an object
};

class Document : public Handle {
 public:
  Document();
  ~Document() override;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  Document& operator=(const Handle&) = delete;
  using Handle::operator=;

  // Parses `text` (NUL-terminated, or `length` units). On success the root is
  // the value read and the error is cleared; on failure the document has no
  // root and GetError() says why and where.
  bool Parse(const wchar_t* text);
  bool Parse(const wchar_t* text, size_t length);
  bool Parse(const std::wstring& text) { return Parse(text.data(), text.size()); }
  const Error& GetError() const { return error_; }

  // Writes the document's text to `path` in `codePage` (no byte-order mark),
  // making the missing folders. The text goes to a new file beside `path`
  // that then replaces it, so a save that fails (disk full, no text to
  // write) leaves the old file as it was and no partial file behind. True
  // when the whole text was written and is in place.
  bool Save(const wchar_t* path, unsigned codePage, bool pretty = true, int step = 4) const;

 private:
  Error error_;
};

// UTF-16 text in a code page and back; empty on failure.
std::string ToCodePage(const std::wstring& text, unsigned codePage);
std::wstring FromCodePage(const std::string& text, unsigned codePage);

}  // namespace VeZavu
