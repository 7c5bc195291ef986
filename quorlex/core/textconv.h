// Text conversions and printf-style formatting into std::string/std::wstring.
// Narrow text in this library is in the process's ANSI code page unless a
// function says UTF-8.
#pragma once

#include <cstdarg>
#include <string>

namespace tarn {

std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);

// Wide formats take wide strings as %ls.
std::string FormatA(const char* format, ...);
std::string FormatVA(const char* format, va_list args);
std::wstring FormatW(const wchar_t* format, ...);
std::wstring FormatVW(const wchar_t* format, va_list args);

}  // namespace tarn
