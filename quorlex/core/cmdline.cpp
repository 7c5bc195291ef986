#include "cmdline.h"

namespace tarn {

namespace {
inline wchar_t Fold(wchar_t c) { return (c >= L'a' && c <= L'z') ? (wchar_t)(c - 32) : c; }
}  // namespace

uint32_t NoCaseWideTraits::Hash(const std::wstring& key) {
  uint32_t h = 0;
  for (wchar_t c : key) h = h * 33 + (uint32_t)(uint16_t)Fold(c);
  return h;
}

bool NoCaseWideTraits::Equal(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

}  // namespace tarn

CCommandLine::CCommandLine() { Parse(nullptr); }

bool CCommandLine::Parse(const wchar_t* text) {
  if (!text) return false;
  text_ = text;

  enum State { Outside, NameStart, Name, ValueStart, Value };
  State state = Outside;
  bool quoted = false;
  const wchar_t* p = text;
  const wchar_t* nameBegin = nullptr;
  std::wstring name;
  const wchar_t* valueBegin = nullptr;

  // The terminating NUL is scanned too: it ends a name or value in progress.
  for (;; ++p) {
    wchar_t c = *p;
    switch (state) {
      case Outside:
        if (quoted) {
          if (c == L'"') quoted = false;
        } else if (c == L'"') {
          quoted = true;  // quoted text outside an option is skipped whole
        } else if (c == L'-' || c == L'/') {
          state = NameStart;
        }
        break;
      case NameStart:
        // The character after the dash is the first of the name, whatever it
        // is; only the NUL cannot be, or the scan would run past the end.
        if (c == L'\0') return true;
        nameBegin = p;
        state = Name;
        break;
      case Name:
        if (c == L' ' || c == L'\0') {
          map_.Set(std::wstring(nameBegin, p), std::wstring());
          state = Outside;
        } else if (c == L':') {
          name.assign(nameBegin, p);
          state = ValueStart;
        }
        break;
      case ValueStart:
        if (c == L' ' || c == L'\0') {
          map_.Set(name, std::wstring());
          state = Outside;
        } else if (c == L'"') {
          // The character after an opening quote belongs to the value without
          // being examined; a quote that closes the text gives an empty value.
          if (p[1] == L'\0') {
            map_.Set(name, std::wstring());
            return true;
          }
          quoted = true;
          valueBegin = p + 1;
          ++p;
          state = Value;
        } else {
          valueBegin = p;
          state = Value;
        }
        break;
      case Value:
        if (c == L' ' || c == L'\0' || (c == L'"' && quoted)) {
          map_.Set(name, std::wstring(valueBegin, p));
          quoted = false;
          state = Outside;
        }
        break;
    }
    if (c == L'\0') break;
  }
  return true;
}

bool CCommandLine::Set(const wchar_t* name, const wchar_t* value) {
  map_.Set(name ? std::wstring(name) : std::wstring(), value ? std::wstring(value) : std::wstring());
  return true;
}

bool CCommandLine::Has(const wchar_t* name) const {
  return name && map_.Find(name) != nullptr;
}

std::wstring CCommandLine::Get(const wchar_t* name) const {
  if (!name) return std::wstring();
  const std::wstring* v = map_.Find(name);
  return v ? *v : std::wstring();
}

std::wstring CCommandLine::GetInitOption() const { return Get(L"tarninit"); }

std::wstring CCommandLine::Build() const {
  std::wstring out;
  map_.ForEach([&out](const std::wstring& name, const std::wstring& value) {
    out += L" -";
    out += name;
    if (!value.empty()) {
      out += L':';
      out += value;
    }
  });
  return out;
}
