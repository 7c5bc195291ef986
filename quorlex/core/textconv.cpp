#include "textconv.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace tarn {

namespace {

std::string FromWide(UINT codePage, const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), nullptr, 0, nullptr,
                              nullptr);
  if (n <= 0) return std::string();
  std::string out(n, '\0');
  WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring ToWide(UINT codePage, const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(n, L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), &out[0], n);
  return out;
}

}  // namespace

std::string WideToAnsi(const std::wstring& text) { return FromWide(CP_ACP, text); }
std::wstring AnsiToWide(const std::string& text) { return ToWide(CP_ACP, text); }
std::string WideToUtf8(const std::wstring& text) { return FromWide(CP_UTF8, text); }
std::wstring Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, text); }

std::string FormatVA(const char* format, va_list args) {
  if (!format) return std::string();
  va_list probe;
  va_copy(probe, args);
  int n = vsnprintf(nullptr, 0, format, probe);
  va_end(probe);
  if (n <= 0) return std::string();
  std::string out((size_t)n + 1, '\0');
  vsnprintf(&out[0], out.size(), format, args);
  out.resize((size_t)n);
  return out;
}

std::string FormatA(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = FormatVA(format, args);
  va_end(args);
  return out;
}

std::wstring FormatVW(const wchar_t* format, va_list args) {
  if (!format) return std::wstring();
  // vswprintf cannot measure; grow until the text fits.
  std::vector<wchar_t> buf(256);
  for (;;) {
    va_list attempt;
    va_copy(attempt, args);
    int n = vswprintf(buf.data(), buf.size(), format, attempt);
    va_end(attempt);
    if (n >= 0 && (size_t)n < buf.size()) return std::wstring(buf.data(), (size_t)n);
    if (buf.size() >= (1u << 24)) return std::wstring();
    buf.resize(buf.size() * 4);
  }
}

std::wstring FormatW(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring out = FormatVW(format, args);
  va_end(args);
  return out;
}

}  // namespace tarn
