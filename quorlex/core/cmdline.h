// Command-line map: options written "-name" or "-name:value" (or with '/')
// become a case-insensitive name -> value map, and a map can be written back
// as " -name:value" items. Used for the host's start parameters and by the
// companion programs.
#pragma once

#include <cstdint>
#include <string>

#include "chainmap.h"

namespace tarn {

// Names hash over their UTF-16 units with 'a'..'z' folded to upper case.
struct NoCaseWideTraits {
  static uint32_t Hash(const std::wstring& key);
  static bool Equal(const std::wstring& a, const std::wstring& b);
};

}  // namespace tarn

class CCommandLine {
 public:
  CCommandLine();

  // Adds every option of text to the map (without clearing it first); false
  // and no change when text is null.
  bool Parse(const wchar_t* text);
  // Sets name to value; a null value sets the empty string (a flag).
  bool Set(const wchar_t* name, const wchar_t* value);

  bool Has(const wchar_t* name) const;
  // The value under name, or "" when there is none.
  std::wstring Get(const wchar_t* name) const;
  // The value of the host's init option "tarninit", or "".
  std::wstring GetInitOption() const;

  // " -name:value" per entry (" -name" for an empty value), in the map's
  // bucket order; nothing is quoted.
  std::wstring Build() const;

  const std::wstring& Text() const { return text_; }
  size_t Count() const { return map_.Count(); }

 private:
  std::wstring text_;
  tarn::ChainMap<std::wstring, std::wstring, tarn::NoCaseWideTraits> map_;
};
