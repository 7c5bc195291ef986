#include "fw_string.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "fw_app.h"

namespace fw {

int GbkCharLength(const char* text, int length, int pos) {
  if (pos + 1 < length && IsGbkLeadByte(static_cast<unsigned char>(text[pos])) &&
      static_cast<unsigned char>(text[pos + 1]) >= 0x40)
    return 2;
  return 1;
}

int GbkPrefixLength(const char* text, int length, int maxBytes) {
  if (maxBytes >= length) return length;
  int pos = 0;
  while (pos < maxBytes) {
    int n = GbkCharLength(text, length, pos);
    if (pos + n > maxBytes) break;
    pos += n;
  }
  return pos;
}

static unsigned char AsciiUpper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

int GbkCompareNoCase(const char* a, int la, const char* b, int lb) {
  int i = 0, j = 0;
  while (i < la && j < lb) {
    int na = GbkCharLength(a, la, i), nb = GbkCharLength(b, lb, j);
    if (na == 1 && nb == 1) {
      unsigned char ca = AsciiUpper(static_cast<unsigned char>(a[i]));
      unsigned char cb = AsciiUpper(static_cast<unsigned char>(b[j]));
      if (ca != cb) return ca < cb ? -1 : 1;
    } else {
      // Byte order decides; a one-byte character sorts by its own byte.
      for (int k = 0; k < 2; ++k) {
        unsigned char ca = k < na ? static_cast<unsigned char>(a[i + k]) : 0;
        unsigned char cb = k < nb ? static_cast<unsigned char>(b[j + k]) : 0;
        if (ca != cb) return ca < cb ? -1 : 1;
      }
    }
    i += na;
    j += nb;
  }
  if (i < la) return 1;
  if (j < lb) return -1;
  return 0;
}

std::wstring ToWide(const char* text, int length, UINT codePage) {
  if (!text || length <= 0) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text, length, &out[0], n);
  return out;
}

std::string ToNarrow(const wchar_t* text, int length, UINT codePage) {
  if (!text || length <= 0) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, text, length, &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace fw

using fw::GbkCharLength;

// ---- CString -----------------------------------------------------------------

CString::CString(const wchar_t* text)
    : s_(fw::ToNarrow(text, text ? static_cast<int>(wcslen(text)) : 0)) {}
CString::CString(const CStringW& text) : s_(fw::ToNarrow(text.GetString(), text.GetLength())) {}

int CString::Compare(const char* text) const {
  return s_.compare(text ? text : "");
}

int CString::CompareNoCase(const char* text) const {
  if (!text) text = "";
  return fw::GbkCompareNoCase(s_.data(), GetLength(), text, static_cast<int>(strlen(text)));
}

CString CString::Left(int count) const {
  if (count <= 0) return CString();
  return CString(s_.substr(0, static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
  if (count <= 0) return CString();
  if (count >= GetLength()) return *this;
  return CString(s_.substr(s_.size() - static_cast<size_t>(count)));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
  if (first < 0) first = 0;
  if (first >= GetLength() || count <= 0) return CString();
  return CString(s_.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

int CString::Find(char ch, int start) const {
  const int n = GetLength();
  if (start < 0) start = 0;
  // Walk from the beginning so that character boundaries are known.
  for (int i = 0; i < n; i += GbkCharLength(s_.data(), n, i)) {
    if (i >= start && GbkCharLength(s_.data(), n, i) == 1 && s_[i] == ch) return i;
  }
  return -1;
}

int CString::Find(const char* sub, int start) const {
  if (!sub) return -1;
  const int n = GetLength();
  const size_t subLen = strlen(sub);
  if (start < 0) start = 0;
  for (int i = 0; i < n; i += GbkCharLength(s_.data(), n, i)) {
    if (i >= start && s_.compare(static_cast<size_t>(i), subLen, sub) == 0 &&
        static_cast<size_t>(i) + subLen <= s_.size())
      return i;
  }
  if (subLen == 0 && start <= n) return start;
  return -1;
}

int CString::ReverseFind(char ch) const {
  const int n = GetLength();
  int found = -1;
  for (int i = 0; i < n; i += GbkCharLength(s_.data(), n, i))
    if (GbkCharLength(s_.data(), n, i) == 1 && s_[i] == ch) found = i;
  return found;
}

int CString::FindOneOf(const char* chars) const {
  if (!chars) return -1;
  const int n = GetLength();
  for (int i = 0; i < n; i += GbkCharLength(s_.data(), n, i))
    if (GbkCharLength(s_.data(), n, i) == 1 && s_[i] != '\0' && strchr(chars, s_[i])) return i;
  return -1;
}

int CString::Replace(char from, char to) {
  int count = 0;
  const int n = GetLength();
  for (int i = 0; i < n; i += GbkCharLength(s_.data(), n, i))
    if (GbkCharLength(s_.data(), n, i) == 1 && s_[i] == from) {
      s_[i] = to;
      ++count;
    }
  return count;
}

int CString::Replace(const char* from, const char* to) {
  if (!from || !*from) return 0;
  if (!to) to = "";
  const size_t fromLen = strlen(from);
  std::string out;
  int count = 0;
  const int n = GetLength();
  int i = 0;
  while (i < n) {
    if (s_.compare(static_cast<size_t>(i), fromLen, from) == 0 &&
        static_cast<size_t>(i) + fromLen <= s_.size()) {
      out += to;
      i += static_cast<int>(fromLen);
      ++count;
    } else {
      int len = GbkCharLength(s_.data(), n, i);
      out.append(s_, static_cast<size_t>(i), static_cast<size_t>(len));
      i += len;
    }
  }
  s_.swap(out);
  return count;
}

int CString::Remove(char ch) {
  std::string out;
  int count = 0;
  const int n = GetLength();
  for (int i = 0; i < n;) {
    int len = GbkCharLength(s_.data(), n, i);
    if (len == 1 && s_[i] == ch)
      ++count;
    else
      out.append(s_, static_cast<size_t>(i), static_cast<size_t>(len));
    i += len;
  }
  s_.swap(out);
  return count;
}

int CString::Insert(int index, char ch) {
  if (index < 0) index = 0;
  if (index > GetLength()) index = GetLength();
  s_.insert(static_cast<size_t>(index), 1, ch);
  return GetLength();
}

int CString::Insert(int index, const char* text) {
  if (index < 0) index = 0;
  if (index > GetLength()) index = GetLength();
  if (text) s_.insert(static_cast<size_t>(index), text);
  return GetLength();
}

int CString::Delete(int index, int count) {
  if (index < 0) index = 0;
  if (count > 0 && index < GetLength()) s_.erase(static_cast<size_t>(index), static_cast<size_t>(count));
  return GetLength();
}

CString& CString::MakeUpper() {
  const int n = GetLength();
  for (int i = 0; i < n; i += GbkCharLength(s_.data(), n, i))
    if (GbkCharLength(s_.data(), n, i) == 1 && s_[i] >= 'a' && s_[i] <= 'z') s_[i] -= 32;
  return *this;
}

CString& CString::MakeLower() {
  const int n = GetLength();
  for (int i = 0; i < n; i += GbkCharLength(s_.data(), n, i))
    if (GbkCharLength(s_.data(), n, i) == 1 && s_[i] >= 'A' && s_[i] <= 'Z') s_[i] += 32;
  return *this;
}

static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < s_.size() && IsBlank(s_[i])) ++i;
  s_.erase(0, i);
  return *this;
}

CString& CString::TrimRight() {
  // A blank or the given character is never a trail byte (trail bytes are
  // 0x40 and above), so trimming from the end cannot split a character.
  while (!s_.empty() && IsBlank(s_.back())) s_.pop_back();
  return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft(char ch) {
  size_t i = 0;
  while (i < s_.size() && s_[i] == ch) ++i;
  s_.erase(0, i);
  return *this;
}

CString& CString::TrimRight(char ch) {
  // For characters that can be trail bytes ('@' and above) check boundaries.
  while (!s_.empty() && s_.back() == ch) {
    const int n = GetLength();
    int last = 0;
    for (int i = 0; i < n; i += GbkCharLength(s_.data(), n, i)) last = i;
    if (last != n - 1) break;  // the byte is the trail of a two-byte character
    s_.pop_back();
  }
  return *this;
}

CString& CString::Trim(char ch) { return TrimRight(ch).TrimLeft(ch); }

void CString::FormatV(const char* format, va_list args) {
  if (!format) {
    s_.clear();
    return;
  }
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) {
    s_.clear();
    return;
  }
  if (n < static_cast<int>(sizeof small)) {
    s_.assign(small, static_cast<size_t>(n));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  vsnprintf(big.data(), big.size(), format, args);
  s_.assign(big.data(), static_cast<size_t>(n));
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void CString::AppendFormat(const char* format, ...) {
  CString tail;
  va_list args;
  va_start(args, format);
  tail.FormatV(format, args);
  va_end(args);
  s_ += tail.s_;
}

BOOL CString::LoadString(UINT id) { return LoadString(AfxGetResourceHandle(), id); }

BOOL CString::LoadString(HINSTANCE instance, UINT id) {
  // The wide entry is the resource itself; converting it keeps its full length.
  const wchar_t* text = nullptr;
  int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) {
    s_.clear();
    return FALSE;
  }
  s_ = fw::ToNarrow(text, length);
  return TRUE;
}

char* CString::GetBuffer(int minLength) {
  if (minLength > GetLength()) s_.resize(static_cast<size_t>(minLength));
  // Room for the terminator that Win32 calls write after minLength bytes.
  s_.reserve(s_.size() + 1);
  return &s_[0];
}

char* CString::GetBufferSetLength(int length) {
  s_.resize(static_cast<size_t>(length > 0 ? length : 0));
  return &s_[0];
}

void CString::ReleaseBuffer(int newLength) {
  if (newLength < 0)
    s_.resize(strlen(s_.c_str()));
  else if (static_cast<size_t>(newLength) <= s_.size())
    s_.resize(static_cast<size_t>(newLength));
}

// ---- CStringW ----------------------------------------------------------------

CStringW::CStringW(const char* text)
    : s_(fw::ToWide(text, text ? static_cast<int>(strlen(text)) : 0)) {}
CStringW::CStringW(const CString& text) : s_(fw::ToWide(text.GetString(), text.GetLength())) {}

int CStringW::Find(wchar_t ch, int start) const {
  if (start < 0) start = 0;
  size_t p = s_.find(ch, static_cast<size_t>(start));
  return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CStringW::Find(const wchar_t* sub, int start) const {
  if (!sub) return -1;
  if (start < 0) start = 0;
  size_t p = s_.find(sub, static_cast<size_t>(start));
  return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CStringW::ReverseFind(wchar_t ch) const {
  size_t p = s_.rfind(ch);
  return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

CStringW CStringW::Left(int count) const {
  if (count <= 0) return CStringW();
  return CStringW(s_.substr(0, static_cast<size_t>(count)));
}

CStringW CStringW::Mid(int first) const { return Mid(first, GetLength()); }

CStringW CStringW::Mid(int first, int count) const {
  if (first < 0) first = 0;
  if (first >= GetLength() || count <= 0) return CStringW();
  return CStringW(s_.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

int CStringW::CompareNoCase(const wchar_t* text) const {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, s_.c_str(), GetLength(), text ? text : L"",
                        -1) - CSTR_EQUAL;
}

void CStringW::FormatV(const wchar_t* format, va_list args) {
  if (!format) {
    s_.clear();
    return;
  }
  // _vsnwprintf is the C runtime's own: %s is a wide string there, as the
  // system's format texts expect.
  std::vector<wchar_t> buf(256);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    int n = _vsnwprintf(buf.data(), buf.size(), format, copy);
    va_end(copy);
    if (n >= 0 && static_cast<size_t>(n) < buf.size()) {
      s_.assign(buf.data(), static_cast<size_t>(n));
      return;
    }
    if (buf.size() > (1u << 24)) {  // a format that never fits: give up
      s_.clear();
      return;
    }
    buf.resize(buf.size() * 2);
  }
}

void CStringW::Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

BOOL CStringW::LoadString(UINT id) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) {
    s_.clear();
    return FALSE;
  }
  s_.assign(text, static_cast<size_t>(length));
  return TRUE;
}

wchar_t* CStringW::GetBuffer(int minLength) {
  if (minLength > GetLength()) s_.resize(static_cast<size_t>(minLength));
  s_.reserve(s_.size() + 1);
  return &s_[0];
}

void CStringW::ReleaseBuffer(int newLength) {
  if (newLength < 0)
    s_.resize(wcslen(s_.c_str()));
  else if (static_cast<size_t>(newLength) <= s_.size())
    s_.resize(static_cast<size_t>(newLength));
}
