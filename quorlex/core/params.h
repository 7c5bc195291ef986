// Request parameters: narrow name=value pairs joined by '&', from which every
// request text is built. Nothing is escaped.
//  - ordered: insertion order, a name may occur more than once;
//  - keyed: a 17-bucket h*33 hash map over the name's bytes; the serialised
//    order is the bucket order, which the statistics servers expect.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "chainmap.h"

namespace tarn {

struct ExactNarrowTraits {
  static uint32_t Hash(const std::string& key);
  static bool Equal(const std::string& a, const std::string& b) { return a == b; }
};

class TarnParams {
 public:
  enum Form { Ordered, Keyed };
  explicit TarnParams(Form form) : form_(form) {}

  Form GetForm() const { return form_; }
  void SetString(const std::string& name, const std::string& value);
  void SetInt(const std::string& name, int value);  // "%d"
  // The value (the first one in an ordered list), "" when missing.
  std::string GetString(const std::string& name) const;
  int GetInt(const std::string& name) const;  // StrToIntA; 0 when missing
  void Clear();
  size_t Count() const;
  std::string Serialize() const;

 private:
  Form form_;
  std::vector<std::pair<std::string, std::string>> ordered_;
  ChainMap<std::string, std::string, ExactNarrowTraits> keyed_;
};

}  // namespace tarn
