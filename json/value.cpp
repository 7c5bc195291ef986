// The value tree: creation, reference counting, container slots.
#include "vezavu_values.h"

#include <new>

namespace VeZavu {

Value::~Value() = default;

bool Value::Parse(Reader&) { return false; }
bool Value::Write(Writer&, bool, int) const { return false; }
Value* Value::Child(int, const std::wstring&) const { return nullptr; }
bool Value::SetChild(int, const std::wstring&, Value*) { return false; }
void Value::TakeChildren(std::vector<Value*>&) {}

void Release(Value* value) {
  if (!value || value->refs_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  // A tree can be as deep as its builder made it: destroy it from a work list
  // rather than by containers destroying their children recursively.
  std::vector<Value*> work;
  value->TakeChildren(work);
  delete value;
  while (!work.empty()) {
    Value* v = work.back();
    work.pop_back();
    if (v->refs_.fetch_sub(1, std::memory_order_acq_rel) != 1) continue;
    v->TakeChildren(work);
    delete v;
  }
}

Value* CreateValue(int kind) {
  switch (kind) {
    case kNull: return new ValueNull;
    case kObject: return new ValueObject;
    case kBool: return new ValueBool;
    case kString: return new ValueString;
    case kLong: return new ValueLong;
    case kArray: return new ValueArray;
    default: return nullptr;
  }
}

// --- arrays -----------------------------------------------------------------

ValueArray::~ValueArray() {
  for (Value* v : items_) Release(v);
}

Value* ValueArray::Child(int index, const std::wstring&) const {
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return nullptr;
  return items_[index];
}

bool ValueArray::SetChild(int index, const std::wstring&, Value* fresh) {
  if (!fresh || index < 0 || static_cast<size_t>(index) >= items_.size()) return false;
  Value* old = items_[index];
  items_[index] = fresh;
  Release(old);
  return true;
}

void ValueArray::TakeChildren(std::vector<Value*>& out) {
  out.insert(out.end(), items_.begin(), items_.end());
  items_.clear();
}

bool ValueArray::Resize(size_t n) {
  while (items_.size() > n) {
    Value* v = items_.back();
    items_.pop_back();
    Release(v);
  }
  // No exact reserve here: growing one element at a time (h[size()] = ...)
  // must keep the vector's geometric growth.
  const size_t before = items_.size();
  try {
    while (items_.size() < n) {
      Value* v = new ValueNull;
      try {
        items_.push_back(v);
      } catch (...) {
        delete v;
        throw;
      }
    }
  } catch (const std::bad_alloc&) {
    Resize(before);
    return false;
  }
  return true;
}

// --- objects ----------------------------------------------------------------

ValueObject::~ValueObject() {
  for (auto& m : members_) Release(m.second);
}

Value* ValueObject::Child(int, const std::wstring& key) const {
  auto it = members_.find(key);
  return it == members_.end() ? nullptr : it->second;
}

bool ValueObject::SetChild(int, const std::wstring& key, Value* fresh) {
  if (!fresh) return false;
  auto ins = members_.emplace(key, fresh);
  if (!ins.second) {
    // A key met again (in the text or by assignment): the later value wins.
    Value* old = ins.first->second;
    ins.first->second = fresh;
    Release(old);
  }
  return true;
}

void ValueObject::TakeChildren(std::vector<Value*>& out) {
  for (auto& m : members_) out.push_back(m.second);
  members_.clear();
}

std::vector<std::wstring> ValueObject::Keys() const {
  std::vector<std::wstring> keys;
  keys.reserve(members_.size());
  for (auto& m : members_) keys.push_back(m.first);
  return keys;
}

}  // namespace VeZavu
