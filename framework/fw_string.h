// CString (8-bit, code page 936) and CStringW (UTF-16): plain value strings.
//
// The program's narrow text is code page 936 (GBK): a byte 0x81..0xFE starts a
// two-byte character whose second byte may be anything from 0x40 up, including
// '\\', 'A'..'Z' and 'a'..'z'. Every operation here that looks at single bytes
// (Find of a character, upper/lower case, no-case compare, trimming) steps over
// whole characters so that it never acts on a trail byte. Lengths and positions
// stay in bytes, as callers of the A functions expect.
//
// A CString may hold NUL bytes (file-dialog filters, packed lists): the length is
// the string's own, not strlen. Passing a CString through "..." is not possible;
// write s.GetString() or (LPCSTR)s in Format arguments.
#pragma once
#include <windows.h>

#include <cstdarg>
#include <string>

namespace fw {

// True when b starts a two-byte character of code page 936.
inline bool IsGbkLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// Length in bytes of the character that starts at text[pos] (1 or 2; 1 at the
// end of the text or for a lead byte without a valid trail).
int GbkCharLength(const char* text, int length, int pos);

// The longest prefix of text (at most maxBytes long) that does not cut a
// two-byte character in half.
int GbkPrefixLength(const char* text, int length, int maxBytes);

// Case-insensitive compare of ASCII letters; bytes of two-byte characters are
// compared exactly. Returns <0, 0, >0.
int GbkCompareNoCase(const char* a, int lengthA, const char* b, int lengthB);

// Code page conversions (CP_ACP by default); embedded NULs are kept.
std::wstring ToWide(const char* text, int length, UINT codePage = CP_ACP);
std::string ToNarrow(const wchar_t* text, int length, UINT codePage = CP_ACP);

}  // namespace fw

class CStringW;

class CString {
 public:
  CString() = default;
  CString(const char* text) : s_(text ? text : "") {}
  CString(const char* text, int length) : s_(text ? text : "", text ? length : 0) {}
  explicit CString(char ch, int repeat = 1) : s_(repeat > 0 ? repeat : 0, ch) {}
  CString(const std::string& text) : s_(text) {}
  explicit CString(const wchar_t* text);     // converted with the active code page
  explicit CString(const CStringW& text);

  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  const char* GetString() const { return s_.c_str(); }
  operator const char*() const { return s_.c_str(); }
  const std::string& str() const { return s_; }

  char GetAt(int i) const { return s_.at(static_cast<size_t>(i)); }
  void SetAt(int i, char ch) { s_.at(static_cast<size_t>(i)) = ch; }
  char operator[](int i) const { return GetAt(i); }

  CString& operator=(const char* text) { s_ = text ? text : ""; return *this; }
  CString& operator=(char ch) { s_.assign(1, ch); return *this; }
  CString& operator+=(const CString& t) { s_ += t.s_; return *this; }
  CString& operator+=(const char* t) { if (t) s_ += t; return *this; }
  CString& operator+=(char ch) { s_ += ch; return *this; }
  CString& Append(const char* text, int length) { s_.append(text, length); return *this; }

  friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
  friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
  friend CString operator+(const char* a, const CString& b) { CString r(a); r += b; return r; }
  friend CString operator+(const CString& a, char b) { CString r(a); r += b; return r; }

  friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
  friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
  friend bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
  friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
  friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
  friend bool operator!=(const char* a, const CString& b) { return !(b == a); }
  friend bool operator<(const CString& a, const CString& b) { return a.s_ < b.s_; }

  // Byte-wise compare with a NUL-terminated text (a CString with NULs inside
  // compares longer).
  int Compare(const char* text) const;
  int CompareNoCase(const char* text) const;

  // Pieces, by byte position (clamped to the string).
  CString Left(int count) const;
  CString Right(int count) const;
  CString Mid(int first) const;
  CString Mid(int first, int count) const;

  // Searches; -1 when not found. Find(char) never matches a trail byte.
  int Find(char ch, int start = 0) const;
  int Find(const char* sub, int start = 0) const;
  int ReverseFind(char ch) const;
  int FindOneOf(const char* chars) const;

  int Replace(char from, char to);
  int Replace(const char* from, const char* to);
  int Remove(char ch);
  int Insert(int index, char ch);
  int Insert(int index, const char* text);
  int Delete(int index, int count = 1);

  CString& MakeUpper();   // ASCII letters outside two-byte characters
  CString& MakeLower();
  CString& Trim();        // blanks, tabs, CR, LF
  CString& TrimLeft();
  CString& TrimRight();
  CString& Trim(char ch);
  CString& TrimLeft(char ch);
  CString& TrimRight(char ch);

  // printf-style; %s takes a const char*.
  void Format(const char* format, ...);
  void FormatV(const char* format, va_list args);
  void AppendFormat(const char* format, ...);

  // String-table entry of the resource module, converted to the active code page.
  BOOL LoadString(UINT id);
  BOOL LoadString(HINSTANCE instance, UINT id);

  // Direct buffer access for Win32 calls that write text.
  char* GetBuffer(int minLength);
  char* GetBufferSetLength(int length);
  void ReleaseBuffer(int newLength = -1);   // -1: up to the first NUL

 private:
  std::string s_;
};

// A string-table entry of the resource module ("" when there is none).
inline CString LoadText(UINT id) {
  CString s;
  s.LoadString(id);
  return s;
}

class CStringW {
 public:
  CStringW() = default;
  CStringW(const wchar_t* text) : s_(text ? text : L"") {}
  CStringW(const wchar_t* text, int length) : s_(text ? text : L"", text ? length : 0) {}
  CStringW(const std::wstring& text) : s_(text) {}
  explicit CStringW(const char* text);     // converted with the active code page
  explicit CStringW(const CString& text);

  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  const wchar_t* GetString() const { return s_.c_str(); }
  operator const wchar_t*() const { return s_.c_str(); }
  const std::wstring& str() const { return s_; }
  wchar_t GetAt(int i) const { return s_.at(static_cast<size_t>(i)); }

  CStringW& operator=(const wchar_t* text) { s_ = text ? text : L""; return *this; }
  CStringW& operator+=(const CStringW& t) { s_ += t.s_; return *this; }
  CStringW& operator+=(const wchar_t* t) { if (t) s_ += t; return *this; }
  CStringW& operator+=(wchar_t ch) { s_ += ch; return *this; }
  friend CStringW operator+(const CStringW& a, const CStringW& b) { return CStringW(a.s_ + b.s_); }
  friend bool operator==(const CStringW& a, const CStringW& b) { return a.s_ == b.s_; }
  friend bool operator==(const CStringW& a, const wchar_t* b) { return a.s_ == (b ? b : L""); }
  friend bool operator!=(const CStringW& a, const CStringW& b) { return !(a == b); }

  int Find(wchar_t ch, int start = 0) const;
  int Find(const wchar_t* sub, int start = 0) const;
  int ReverseFind(wchar_t ch) const;
  CStringW Left(int count) const;
  CStringW Mid(int first) const;
  CStringW Mid(int first, int count) const;
  int CompareNoCase(const wchar_t* text) const;

  // Windows printf conventions: in a wide format %s takes a const wchar_t* and
  // %S a const char* (%ls and %hs say the same explicitly).
  void Format(const wchar_t* format, ...);
  void FormatV(const wchar_t* format, va_list args);

  BOOL LoadString(UINT id);

  wchar_t* GetBuffer(int minLength);
  void ReleaseBuffer(int newLength = -1);

 private:
  std::wstring s_;
};
