// Reading JSON text into values.
#include "vezavu_values.h"

namespace VeZavu {

namespace {

bool IsBlank(wchar_t c) { return c == L'\t' || c == L'\n' || c == L'\r' || c == L' '; }

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

void Reader::SkipBlanks() {
  while (!AtEnd() && IsBlank(text_[pos_])) ++pos_;
}

bool Reader::Take(const wchar_t* word) {
  size_t n = 0;
  while (word[n]) ++n;
  if (Left() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (text_[pos_ + i] != word[i]) return false;
  pos_ += n;
  return true;
}

void Reader::Fail(int code, size_t at) {
  if (error_.code != kErrNone) return;
  error_.code = code;
  int line = 1, column = 1;
  for (size_t i = 0; i < at && i < length_; ++i) {
    if (text_[i] == L'\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  error_.line = line;
  error_.column = column;
}

bool Reader::Enter() {
  if (++depth_ <= kMaxDepth) return true;
  --depth_;
  Fail(kErrTooDeep);
  return false;
}

Value* ParseNested(Reader& reader) {
  reader.SkipBlanks();
  if (reader.AtEnd()) return nullptr;
  int kind;
  wchar_t c = reader.Peek();
  if (c == L'"') kind = kString;
  else if (c == L'-' || (c >= L'0' && c <= L'9')) kind = kLong;
  else if (c == L'[') kind = kArray;
  else if (c == L'f' || c == L't') kind = kBool;
  else if (c == L'n') kind = kNull;
  else if (c == L'{') kind = kObject;
  else return nullptr;
  Value* v = CreateValue(kind);
  if (v->Parse(reader)) return v;
  Release(v);
  return nullptr;
}

bool ValueNull::Parse(Reader& reader) {
  reader.SkipBlanks();
  return reader.Take(L"null");
}

bool ValueBool::Parse(Reader& reader) {
  reader.SkipBlanks();
  if (reader.Take(L"true")) {
    value = 1;
    return true;
  }
  if (reader.Take(L"false")) {
    value = 0;
    return true;
  }
  return false;
}

bool ValueLong::Parse(Reader& reader) {
  reader.SkipBlanks();
  bool negative = false;
  if (reader.Peek() == L'-' && !reader.AtEnd()) {
    negative = true;
    reader.Advance();
    if (reader.AtEnd()) {
      reader.Fail(kErrDashAtEnd);
      return false;
    }
  }
  // Accumulate in 64 bits and stop at the first digit that leaves the 32-bit
  // range: a number that does not fit is an error, not some other number.
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  int64_t v = 0;
  bool digits = false;
  while (!reader.AtEnd()) {
    wchar_t c = reader.Peek();
    if (c < L'0' || c > L'9') break;
    v = v * 10 + (c - L'0');
    if (v > limit) {
      reader.Fail(kErrOutOfRange);
      return false;
    }
    digits = true;
    reader.Advance();
  }
  if (!digits) return false;
  value = static_cast<int32_t>(negative ? -v : v);
  return true;
}

bool ValueString::ReadQuoted(Reader& reader, std::wstring* out) {
  reader.SkipBlanks();
  if (reader.AtEnd() || reader.Peek() != L'"') {
    reader.Fail(kErrMissingQuote);
    return false;
  }
  reader.Advance();
  out->clear();
  for (;;) {
    if (reader.AtEnd()) {
      reader.Fail(kErrEndInString);
      return false;
    }
    wchar_t c = reader.Next();
    if (c == L'"') return true;
    if (c != L'\\') {
      out->push_back(c);
      continue;
    }
    size_t escape = reader.Position() - 1;
    if (reader.AtEnd()) {
      reader.Fail(kErrEndInString);
      return false;
    }
    // Errors point at the escape letter or the bad hex digit (a \u0000 at its backslash).
    wchar_t e = reader.Peek();
    if (e == L'u') {
      reader.Advance();
      // One UTF-16 unit; a surrogate pair arrives as two escapes and is kept
      // as the two units it is.
      unsigned unit = 0;
      for (int i = 0; i < 4; ++i) {
        if (reader.AtEnd()) {
          reader.Fail(kErrEndInString);
          return false;
        }
        int d = HexDigit(reader.Peek());
        if (d < 0) {
          reader.Fail(kErrBadEscape);
          return false;
        }
        reader.Advance();
        unit = unit * 16 + d;
      }
      if (unit == 0) {
        reader.Fail(kErrBadEscape, escape);
        return false;
      }
      out->push_back(static_cast<wchar_t>(unit));
      continue;
    }
    wchar_t unit;
    switch (e) {
      case L'"': unit = L'"'; break;
      case L'/': unit = L'/'; break;
      case L'\\': unit = L'\\'; break;
      case L'b': unit = L'\b'; break;
      case L'f': unit = L'\f'; break;
      case L'n': unit = L'\n'; break;
      case L'r': unit = L'\r'; break;
      case L't': unit = L'\t'; break;
      default:
        reader.Fail(kErrBadEscape);
        return false;
    }
    reader.Advance();
    out->push_back(unit);
  }
}

bool ValueString::Parse(Reader& reader) { return ReadQuoted(reader, &value); }

namespace {

// The frame that arrays and objects share: the opening mark, members read by
// member() and separated by commas up to the closing mark, and the nesting
// depth kept. member() reports its own error when it returns false.
template <class Member>
bool ParseContainer(Reader& reader, wchar_t open, wchar_t close, int missingOpen, Member member) {
  reader.SkipBlanks();
  if (reader.AtEnd() || reader.Peek() != open) {
    reader.Fail(missingOpen);
    return false;
  }
  if (!reader.Enter()) return false;
  reader.Advance();
  bool ok = false;
  reader.SkipBlanks();
  if (reader.Peek() == close && !reader.AtEnd()) {
    reader.Advance();
    ok = true;
  } else {
    for (;;) {
      if (!member()) break;
      reader.SkipBlanks();
      wchar_t c = reader.AtEnd() ? L'\0' : reader.Peek();
      if (c == close) {
        reader.Advance();
        ok = true;
        break;
      }
      if (c != L',') {
        reader.Fail(kErrMissingSeparator);
        break;
      }
      reader.Advance();
    }
  }
  reader.Leave();
  return ok;
}

}  // namespace

bool ValueArray::Parse(Reader& reader) {
  return ParseContainer(reader, L'[', L']', kErrMissingBracket, [&] {
    Value* v = ParseNested(reader);
    if (!v) {
      reader.Fail(kErrBadValue);
      return false;
    }
    items_.push_back(v);
    return true;
  });
}

bool ValueObject::Parse(Reader& reader) {
  std::wstring key;
  return ParseContainer(reader, L'{', L'}', kErrMissingBrace, [&] {
    if (!ValueString::ReadQuoted(reader, &key)) return false;
    reader.SkipBlanks();
    if (reader.AtEnd() || reader.Peek() != L':') {
      reader.Fail(kErrMissingColon);
      return false;
    }
    reader.Advance();
    Value* v = ParseNested(reader);
    if (!v) {
      reader.Fail(kErrBadValue);
      return false;
    }
    SetChild(0, key, v);
    return true;
  });
}

}  // namespace VeZavu
