// Writing values as JSON text, compact or pretty.
#include <windows.h>

#include <climits>

#include "vezavu_values.h"

namespace VeZavu {

namespace {

const wchar_t kHex[] = L"0123456789abcdef";

bool NeedsLines(const std::vector<Value*>& items) {
  if (items.size() >= 2) return true;
  for (const Value* v : items)
    if (v->IsContainer()) return true;
  return false;
}

}  // namespace

bool ValueNull::Write(Writer& writer, bool, int) const {
  writer.out() += L"null";
  return true;
}

bool ValueBool::Write(Writer& writer, bool, int) const {
  writer.out() += value ? L"true" : L"false";
  return true;
}

bool ValueLong::Write(Writer& writer, bool, int) const {
  wchar_t buf[16];
  wchar_t* p = buf + 16;
  int64_t v = value;
  bool negative = v < 0;
  if (negative) v = -v;
  do {
    *--p = static_cast<wchar_t>(L'0' + v % 10);
    v /= 10;
  } while (v);
  if (negative) *--p = L'-';
  writer.out().append(p, buf + 16);
  return true;
}

bool ValueString::WriteQuoted(std::wstring& out, const std::wstring& text) {
  // The reader refuses the escape of unit 0 (it would end the text wherever
  // it is handled as a C string), so a text holding one cannot be written in
  // a form that reads back: the write fails rather than change the text.
  if (text.find(L'\0') != std::wstring::npos) return false;
  out.push_back(L'"');
  for (wchar_t c : text) {
    switch (c) {
      case L'\b': out += L"\\b"; break;
      case L'\t': out += L"\\t"; break;
      case L'\n': out += L"\\n"; break;
      case L'\f': out += L"\\f"; break;
      case L'\r': out += L"\\r"; break;
      case L'"': out += L"\\\""; break;
      case L'/': out += L"\\/"; break;
      case L'\\': out += L"\\\\"; break;
      default:
        if (c < 32 || (c >= 127 && c <= 255)) {
          out += L"\\u00";
          out.push_back(kHex[(c >> 4) & 15]);
          out.push_back(kHex[c & 15]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back(L'"');
  return true;
}

bool ValueString::Write(Writer& writer, bool, int) const { return WriteQuoted(writer.out(), value); }

bool ValueArray::Write(Writer& writer, bool pretty, int indent) const {
  if (!writer.Enter()) return false;
  std::wstring& out = writer.out();
  bool ok = true;
  const std::vector<Value*>& items = items_;
  if (pretty && NeedsLines(items)) {
    int inner = indent + writer.step();
    out += L"[\r\n";
    for (size_t i = 0; ok && i < items.size(); ++i) {
      if (i) out += L"\r\n";
      writer.Indent(inner);
      ok = items[i]->Write(writer, pretty, inner);
      if (i + 1 < items.size()) out += L", ";
    }
    out += L"\r\n";
    writer.Indent(indent);
    out.push_back(L']');
  } else {
    out.push_back(L'[');
    for (size_t i = 0; ok && i < items.size(); ++i) {
      if (i) out += pretty ? L", " : L",";
      ok = items[i]->Write(writer, pretty, indent);
    }
    out.push_back(L']');
  }
  writer.Leave();
  return ok;
}

bool ValueObject::Write(Writer& writer, bool pretty, int indent) const {
  if (!writer.Enter()) return false;
  std::wstring& out = writer.out();
  bool ok = true;
  if (pretty) {
    int inner = indent + writer.step();
    out += L"{\r\n";
    size_t left = members_.size();
    for (auto it = members_.begin(); ok && it != members_.end(); ++it) {
      writer.Indent(inner);
      ok = ValueString::WriteQuoted(out, it->first);
      out += L" : ";
      ok = ok && it->second->Write(writer, pretty, inner);
      if (--left) out.push_back(L',');
      out += L"\r\n";
    }
    writer.Indent(indent);
    out.push_back(L'}');
  } else {
    out.push_back(L'{');
    bool first = true;
    for (auto it = members_.begin(); ok && it != members_.end(); ++it) {
      if (!first) out.push_back(L',');
      first = false;
      ok = ValueString::WriteQuoted(out, it->first);
      out.push_back(L':');
      ok = ok && it->second->Write(writer, pretty, indent);
    }
    out.push_back(L'}');
  }
  writer.Leave();
  return ok;
}

std::string ToCodePage(const std::wstring& text, unsigned codePage) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                          nullptr, nullptr);
  if (n <= 0) return std::string();
  out.resize(static_cast<size_t>(n));
  return out;
}

std::wstring FromCodePage(const std::string& text, unsigned codePage) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  if (n <= 0) return std::wstring();
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace VeZavu
