// One level of the update index: an INI-format text held as ordered
// sections of ordered keys. Names compare with A-Z folded to a-z and no other
// folding; a name keeps the spelling of its first occurrence.
//
// The text is UTF-8 after EF BB BF, UTF-16 LE after FF FE, else the thread's
// ANSI code page. Grammar: "[name]" heads a section (the rest of the line is
// ignored; a header without ']' or with an empty name is dropped and so are
// the key lines up to the next good header); "key = value" lines inside a
// section (trimmed, the value taken literally up to the line's end; a
// repeated key keeps its last value); lines beginning with ';' are comments.
#pragma once

#include <windows.h>

#include <cstddef>
#include <map>
#include <memory>
#include <string>

namespace BKIni {

struct NameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};

typedef std::map<std::wstring, std::wstring, NameLess> KeyMap;

struct Section {
  KeyMap keys;
};

typedef std::map<std::wstring, std::unique_ptr<Section>, NameLess> SectionMap;

class Document;

// A null handle (every part null) stands for a failed lookup.
struct SectionHandle {
  const Document* document = nullptr;
  Section* section = nullptr;
  const std::wstring* name = nullptr;
  bool IsNull() const { return !section; }
};

struct KeyHandle {
  const Document* document = nullptr;
  Section* section = nullptr;
  const std::wstring* name = nullptr;
  std::wstring* value = nullptr;
  bool IsNull() const { return !value; }
  // The value, or "" through an incomplete handle.
  std::wstring Value() const { return (document && section && value) ? *value : std::wstring(); }
};

class Document {
 public:
  // An empty document that keeps the context text (never interpreted).
  explicit Document(const std::wstring& context);
  // The same, then Load(path); a failed load leaves it empty.
  Document(const std::wstring& context, const wchar_t* path);
  virtual ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  HRESULT Load(const wchar_t* path);
  HRESULT Parse(const void* bytes, size_t size);

  bool HasSection(const wchar_t* name) const;
  // Created empty when absent; null for an empty name.
  SectionHandle GetSection(const wchar_t* name);
  // Looks without creating; null when absent.
  SectionHandle FindSection(const wchar_t* name) const;
  bool HasKey(const SectionHandle& section, const wchar_t* name) const;
  // Added with an empty value when absent; null for a null section or an
  // empty name.
  KeyHandle GetKey(const SectionHandle& section, const wchar_t* name);
  KeyHandle SetKey(const SectionHandle& section, const wchar_t* name, const wchar_t* value);
  // The value of a key, "" when the section or the key is absent; creates nothing.
  std::wstring KeyValue(const SectionHandle& section, const wchar_t* name) const;

  const std::wstring& Context() const { return context_; }
  const SectionMap& Sections() const { return sections_; }

 private:
  HRESULT ParseText(const wchar_t* text, size_t length);

  SectionMap sections_;
  std::wstring context_;
};

}  // namespace BKIni
