#include "params.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>

namespace tarn {

uint32_t ExactNarrowTraits::Hash(const std::string& key) {
  uint32_t h = 0;
  for (unsigned char c : key) h = h * 33 + c;
  return h;
}

void TarnParams::SetString(const std::string& name, const std::string& value) {
  if (form_ == Ordered)
    ordered_.emplace_back(name, value);
  else
    keyed_.Set(name, value);
}

void TarnParams::SetInt(const std::string& name, int value) {
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  SetString(name, text);
}

std::string TarnParams::GetString(const std::string& name) const {
  if (form_ == Ordered) {
    for (const auto& p : ordered_)
      if (p.first == name) return p.second;
    return std::string();
  }
  const std::string* v = keyed_.Find(name);
  return v ? *v : std::string();
}

int TarnParams::GetInt(const std::string& name) const {
  return StrToIntA(GetString(name).c_str());
}

void TarnParams::Clear() {
  ordered_.clear();
  keyed_.Clear();
}

size_t TarnParams::Count() const { return form_ == Ordered ? ordered_.size() : keyed_.Count(); }

std::string TarnParams::Serialize() const {
  std::string out;
  auto add = [&out](const std::string& name, const std::string& value) {
    if (!out.empty()) out += '&';
    out += name;
    out += '=';
    out += value;
  };
  if (form_ == Ordered)
    for (const auto& p : ordered_) add(p.first, p.second);
  else
    keyed_.ForEach(add);
  return out;
}

}  // namespace tarn
