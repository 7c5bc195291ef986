#include "bkini.h"

#include <cwctype>
#include <new>
#include <vector>

namespace BKIni {

namespace {

inline unsigned Fold(wchar_t c) {
  unsigned u = (unsigned)(unsigned short)c;
  return (u >= 'A' && u <= 'Z') ? u + 32 : u;
}

inline bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n' || c == L'\0'; }
inline bool IsSpace(wchar_t c) { return iswspace((wint_t)c) != 0; }

std::wstring Trim(const wchar_t* begin, const wchar_t* end) {
  while (begin < end && IsSpace(*begin)) ++begin;
  while (end > begin && IsSpace(end[-1])) --end;
  return std::wstring(begin, end);
}

// Bytes up to the first zero byte, converted from a code page.
std::wstring Convert(UINT codePage, const unsigned char* bytes, size_t size) {
  size_t n = 0;
  while (n < size && bytes[n] != 0) ++n;
  if (n == 0 || n > 0x7FFFFFFF) return std::wstring();
  int units = MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(bytes), (int)n,
                                  nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring text((size_t)units, L'\0');
  MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(bytes), (int)n, &text[0], units);
  return text;
}

}  // namespace

bool NameLess::operator()(const std::wstring& a, const std::wstring& b) const {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

Document::Document(const std::wstring& context) : context_(context) {}

Document::Document(const std::wstring& context, const wchar_t* path) : context_(context) {
  Load(path);
}

Document::~Document() = default;

HRESULT Document::Load(const wchar_t* path) {
  if (!path) return E_POINTER;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
  HRESULT hr = S_OK;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) {
    hr = HRESULT_FROM_WIN32(GetLastError());
  } else if (size.QuadPart < 0xFFFFFFFFLL) {
    std::vector<unsigned char> bytes;
    try {
      bytes.resize((size_t)size.QuadPart);
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
      DWORD got = 0;
      if (!bytes.empty() && (!ReadFile(file, bytes.data(), (DWORD)bytes.size(), &got, nullptr) ||
                             got < bytes.size()))
        hr = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
      else
        hr = Parse(bytes.data(), bytes.size());
    }
  }
  CloseHandle(file);
  return hr;
}

HRESULT Document::Parse(const void* data, size_t size) {
  sections_.clear();
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  if (!bytes) size = 0;
  try {
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
      std::wstring text = Convert(CP_UTF8, bytes + 3, size - 3);
      return ParseText(text.data(), text.size());
    }
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
      size_t units = (size - 2) / 2;
      std::wstring text(units, L'\0');
      for (size_t i = 0; i < units; ++i)
        text[i] = (wchar_t)(bytes[2 + 2 * i] | bytes[3 + 2 * i] << 8);
      return ParseText(text.data(), text.size());
    }
    std::wstring text = Convert(CP_THREAD_ACP, bytes, size);
    return ParseText(text.data(), text.size());
  } catch (const std::bad_alloc&) {
    sections_.clear();
    return E_OUTOFMEMORY;
  }
}

HRESULT Document::ParseText(const wchar_t* text, size_t length) {
  // Parsing ends at the first zero unit.
  const wchar_t* p = text;
  const wchar_t* end = text;
  while ((size_t)(end - text) < length && *end) ++end;

  auto lineEnd = [end](const wchar_t* q) {
    while (q < end && !IsLineEnd(*q)) ++q;
    return q;
  };

  SectionHandle current;  // null: outside a section
  while (p < end) {
    while (p < end && IsSpace(*p)) ++p;
    if (p >= end) break;
    const wchar_t* eol = lineEnd(p);
    if (*p == L'[') {
      const wchar_t* close = p + 1;
      while (close < eol && *close != L']') ++close;
      current = SectionHandle();
      if (close < eol) {
        std::wstring name = Trim(p + 1, close);
        if (!name.empty()) {
          current = GetSection(name.c_str());
          if (current.IsNull()) return E_OUTOFMEMORY;
        }
      }
    } else if (!current.IsNull() && *p != L';') {
      const wchar_t* eq = p;
      while (eq < eol && *eq != L'=') ++eq;
      if (eq < eol) {
        std::wstring key = Trim(p, eq);
        if (!key.empty()) {
          std::wstring value = Trim(eq + 1, eol);
          SetKey(current, key.c_str(), value.c_str());
        }
      }
    }
    p = eol;
  }
  return S_OK;
}

bool Document::HasSection(const wchar_t* name) const {
  return name && sections_.find(name) != sections_.end();
}

SectionHandle Document::FindSection(const wchar_t* name) const {
  SectionHandle h;
  if (!name || !*name) return h;
  auto it = sections_.find(name);
  if (it == sections_.end()) return h;
  h.document = this;
  h.section = it->second.get();
  h.name = &it->first;
  return h;
}

SectionHandle Document::GetSection(const wchar_t* name) {
  SectionHandle h;
  if (!name || !*name) return h;
  try {
    auto it = sections_.find(name);
    if (it == sections_.end())
      it = sections_.emplace(std::wstring(name), std::unique_ptr<Section>(new Section)).first;
    h.document = this;
    h.section = it->second.get();
    h.name = &it->first;
  } catch (const std::bad_alloc&) {
    return SectionHandle();
  }
  return h;
}

bool Document::HasKey(const SectionHandle& section, const wchar_t* name) const {
  if (section.IsNull() || section.document != this || !name) return false;
  return section.section->keys.find(name) != section.section->keys.end();
}

KeyHandle Document::GetKey(const SectionHandle& section, const wchar_t* name) {
  KeyHandle h;
  if (section.IsNull() || section.document != this || !name || !*name) return h;
  try {
    auto it = section.section->keys.find(name);
    if (it == section.section->keys.end())
      it = section.section->keys.emplace(std::wstring(name), std::wstring()).first;
    h.document = this;
    h.section = section.section;
    h.name = &it->first;
    h.value = &it->second;
  } catch (const std::bad_alloc&) {
    return KeyHandle();
  }
  return h;
}

KeyHandle Document::SetKey(const SectionHandle& section, const wchar_t* name, const wchar_t* value) {
  KeyHandle h = GetKey(section, name);
  if (h.IsNull()) return h;
  try {
    *h.value = value ? value : L"";
  } catch (const std::bad_alloc&) {
    return KeyHandle();
  }
  return h;
}

std::wstring Document::KeyValue(const SectionHandle& section, const wchar_t* name) const {
  if (section.IsNull() || section.document != this || !name) return std::wstring();
  auto it = section.section->keys.find(name);
  return it == section.section->keys.end() ? std::wstring() : it->second;
}

}  // namespace BKIni
