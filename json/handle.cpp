// Handles, documents and saving.
#include <windows.h>

#include <algorithm>
#include <string>

#include "vezavu_values.h"

namespace VeZavu {

namespace {

// The one slot a document keeps its root in. Handles that name the root hold
// this slot, so they stay valid after the document is gone.
class RootSlot : public Value {
 public:
  RootSlot() : Value(kNone) {}
  ~RootSlot() override { Release(root_); }
  Value* Child(int, const std::wstring&) const override { return root_; }
  bool SetChild(int, const std::wstring&, Value* fresh) override {
    Value* old = root_;
    root_ = fresh;
    Release(old);
    return true;
  }
  void TakeChildren(std::vector<Value*>& out) override {
    if (root_) out.push_back(root_);
    root_ = nullptr;
  }

 private:
  Value* root_ = nullptr;
};

}  // namespace

// --- handles ----------------------------------------------------------------

Handle::Handle() : owner_(nullptr), index_(0) {}

Handle::Handle(Value* owner, int index, const std::wstring& key)
    : owner_(owner), index_(index), key_(key) {
  if (owner_) owner_->AddRef();
}

Handle::Handle(const Handle& other) : owner_(other.owner_), index_(other.index_), key_(other.key_) {
  if (owner_) owner_->AddRef();
}

Handle& Handle::operator=(const Handle& other) {
  if (this == &other) return *this;
  if (other.owner_) other.owner_->AddRef();
  Release(owner_);
  owner_ = other.owner_;
  index_ = other.index_;
  key_ = other.key_;
  return *this;
}

Handle::~Handle() { Release(owner_); }

Value* Handle::Get() const { return owner_ ? owner_->Child(index_, key_) : nullptr; }

bool Handle::Replace(Value* fresh) { return owner_ && owner_->SetChild(index_, key_, fresh); }

int Handle::Kind() const {
  Value* v = Get();
  return v ? v->kind() : kNone;
}

bool Handle::IsNull() const {
  Value* v = Get();
  return !v || v->kind() == kNull;
}

int Handle::ToInt() const {
  Value* v = Get();
  return v && v->kind() == kLong ? static_cast<ValueLong*>(v)->value : 0;
}

bool Handle::ToBool() const {
  Value* v = Get();
  return v && v->kind() == kBool && static_cast<ValueBool*>(v)->value != 0;
}

const wchar_t* Handle::ToText() const {
  Value* v = Get();
  return v && v->kind() == kString ? static_cast<ValueString*>(v)->value.c_str() : nullptr;
}

// The slot's value as kind K, replacing a value of another kind (or filling
// an empty root slot); nullptr when the slot no longer exists.
template <int K>
Value* Handle::Ensure() {
  Value* v = Get();
  if (v && v->kind() == K) return v;
  Value* fresh = CreateValue(K);
  if (!Replace(fresh)) {
    Release(fresh);
    return nullptr;
  }
  return fresh;
}

Handle Handle::operator[](int index) {
  if (index < 0) return Handle();
  // Refused before anything changes: an index past the cap must not turn
  // the value into an array either.
  Value* current = Get();
  const size_t size = current && current->kind() == kArray ? static_cast<ValueArray*>(current)->Size() : 0;
  if (static_cast<size_t>(index) >= size && index >= kMaxGrowElements) return Handle();
  Value* v = Ensure<kArray>();
  if (!v) return Handle();
  ValueArray* a = static_cast<ValueArray*>(v);
  if (static_cast<size_t>(index) >= a->Size() && !a->Resize(static_cast<size_t>(index) + 1)) return Handle();
  return Handle(a, index, std::wstring());
}

Handle Handle::operator[](const wchar_t* key) { return (*this)[std::wstring(key ? key : L"")]; }

Handle Handle::operator[](const std::wstring& key) {
  Value* v = Ensure<kObject>();
  if (!v) return Handle();
  if (!v->Child(0, key)) v->SetChild(0, key, new ValueNull);
  return Handle(v, 0, key);
}

Handle& Handle::operator=(std::nullptr_t) {
  if (Get()) Ensure<kNull>();
  return *this;
}

Handle& Handle::operator=(bool value) {
  if (!Get()) return *this;
  if (Value* v = Ensure<kBool>()) static_cast<ValueBool*>(v)->value = value ? 1 : 0;
  return *this;
}

Handle& Handle::operator=(int value) {
  if (!Get()) return *this;
  if (Value* v = Ensure<kLong>()) static_cast<ValueLong*>(v)->value = value;
  return *this;
}

Handle& Handle::operator=(long value) { return *this = static_cast<int>(value); }

Handle& Handle::operator=(const std::wstring& text) {
  if (!Get()) return *this;
  if (Value* v = Ensure<kString>()) static_cast<ValueString*>(v)->value = text;
  return *this;
}

Handle& Handle::operator=(const wchar_t* text) { return *this = std::wstring(text ? text : L""); }

Handle& Handle::operator=(const char* utf8) {
  return *this = FromCodePage(utf8 ? std::string(utf8) : std::string(), CP_UTF8);
}

Handle Handle::Find(const wchar_t* key) const { return Find(std::wstring(key ? key : L"")); }

Handle Handle::Find(const std::wstring& key) const {
  Value* v = Get();
  if (!v || v->kind() != kObject || !v->Child(0, key)) return Handle();
  return Handle(v, 0, key);
}

Handle Handle::At(int index) const {
  Value* v = Get();
  if (!v || v->kind() != kArray || !v->Child(index, std::wstring())) return Handle();
  return Handle(v, index, std::wstring());
}

int Handle::Size() const {
  Value* v = Get();
  if (!v) return 0;
  if (v->kind() == kArray) return static_cast<int>(static_cast<ValueArray*>(v)->Size());
  if (v->kind() == kObject) return static_cast<int>(static_cast<ValueObject*>(v)->Size());
  return 0;
}

std::vector<std::wstring> Handle::Keys() const {
  Value* v = Get();
  if (!v || v->kind() != kObject) return std::vector<std::wstring>();
  return static_cast<ValueObject*>(v)->Keys();
}

bool Handle::Resize(int n) {
  Value* v = Get();
  if (n < 0 || !v || v->kind() != kArray) return false;
  ValueArray* a = static_cast<ValueArray*>(v);
  if (static_cast<size_t>(n) > a->Size() && n > kMaxGrowElements) return false;
  return a->Resize(static_cast<size_t>(n));
}

std::wstring Handle::Write(bool pretty, int step) const {
  Value* v = Get();
  if (!v) return std::wstring();
  Writer writer(step);
  if (!v->Write(writer, pretty, 0)) return std::wstring();
  return std::move(writer.out());
}

std::string Handle::WriteNarrow(unsigned codePage, bool pretty, int step) const {
  return ToCodePage(Write(pretty, step), codePage);
}

// --- documents --------------------------------------------------------------

Document::Document() : Handle(new RootSlot, 0, std::wstring()) {
  Release(owner_);  // the base took its own reference on the new slot
}

Document::~Document() {
  // Let go of the tree now; handles still naming parts of it keep those alive.
  owner_->SetChild(0, std::wstring(), nullptr);
}

bool Document::Parse(const wchar_t* text) {
  size_t n = 0;
  if (text)
    while (text[n]) ++n;
  return Parse(text ? text : L"", n);
}

bool Document::Parse(const wchar_t* text, size_t length) {
  static const int kOrder[] = {kBool, kLong, kString, kArray, kObject};
  Reader reader(text ? text : L"", text ? length : 0);
  owner_->SetChild(0, std::wstring(), nullptr);
  for (int kind : kOrder) {
    reader.Restart();
    Value* v = CreateValue(kind);
    if (v->Parse(reader)) {
      owner_->SetChild(0, std::wstring(), v);
      error_ = Error();
      return true;
    }
    Release(v);
  }
  error_ = reader.error();
  if (error_.code == kErrNone) {
    // Every failing object read records a code; keep a failure visible anyway.
    error_.code = kErrMissingBrace;
    error_.line = error_.column = 1;
  }
  return false;
}

namespace {

// Makes each missing folder on the way to `path`, one level at a time.
// Failures are left to the file's own creation to report.
void MakeFolders(const std::wstring& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] != L'\\' && path[i] != L'/') continue;
    if (path[i - 1] == L':' || path[i - 1] == L'\\' || path[i - 1] == L'/') continue;
    CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
}

}  // namespace

bool Document::Save(const wchar_t* path, unsigned codePage, bool pretty, int step) const {
  if (!path || !*path) return false;
  std::string bytes = WriteNarrow(codePage, pretty, step);
  if (bytes.empty()) return false;
  MakeFolders(path);
  // The text goes to a file of its own beside the target first: until it is
  // complete on disk, the old file stays what it was.
  std::wstring temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (unsigned n = 0; n < 100 && h == INVALID_HANDLE_VALUE; ++n) {
    temp = std::wstring(path) + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(n) + L".tmp";
    h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD wrote = 0;
    ok = WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr) && wrote == chunk;
    done += wrote;
  }
  if (ok && !FlushFileBuffers(h)) ok = false;
  if (!CloseHandle(h)) ok = false;
  if (ok) ok = MoveFileExW(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}

}  // namespace VeZavu
