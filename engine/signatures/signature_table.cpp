#include "signatures/signature_table.h"

#include <windows.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "bytes.h"
#include "module_name.h"

namespace {

std::mutex gFolderLock;
std::string gFolderOverride;

// The program's folder in the active code page, from the whole wide name;
// "" when the code page would change it (its best fit can turn one folder's
// name into a look-alike's) or it cannot be had whole.
std::string ProgramFolder() {
  std::wstring path = WholeModuleFileName(nullptr);
  size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return std::string();
  path.resize(slash);
  std::string narrow;
  return ToCodePageExactly(path, &narrow) ? narrow : std::string();
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

SignatureTableStatus SignatureTable::LoadFromBytes(const uint8_t* data, size_t size) {
  records_.clear();
  if (!data || size < kSignatureHeaderSize || std::memcmp(data, "BRNK", 4) != 0)
    return SignatureTableStatus::kDamaged;
  std::vector<SignatureRecord> records;
  // A trailing partial record is not a record; a table that ends without its
  // end mark keeps the whole records it has.
  for (size_t off = kSignatureHeaderSize; off + sizeof(SignatureRecord) <= size; off += sizeof(SignatureRecord)) {
    SignatureRecord r;
    std::memcpy(&r, data + off, sizeof r);
    if (r.slotCount == kSignatureEndMark) break;
    for (const SignatureSlot& s : r.slots)
      if (s.length > kSignatureMaxPattern) return SignatureTableStatus::kDamaged;
    records.push_back(r);
  }
  records_.swap(records);
  return SignatureTableStatus::kOk;
}

SignatureTableStatus SignatureTable::Load(const std::string& path) {
  records_.clear();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return SignatureTableStatus::kMissing;
  LARGE_INTEGER size;
  SignatureTableStatus status = SignatureTableStatus::kMissing;
  if (GetFileSizeEx(h, &size)) {
    if (size.QuadPart < static_cast<LONGLONG>(kSignatureHeaderSize) ||
        size.QuadPart > static_cast<LONGLONG>(kSignatureMaxFileSize)) {
      status = SignatureTableStatus::kDamaged;
    } else {
      std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
      DWORD got = 0;
      if (ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size())
        status = LoadFromBytes(bytes.data(), bytes.size());
    }
  }
  CloseHandle(h);
  return status;
}

std::string SignatureTable::TypeName(size_t i) const {
  const char* n = records_[i].name;
  size_t len = 0;
  while (len < sizeof records_[i].name && n[len]) ++len;
  return std::string(n, len);
}

uint64_t SignatureTable::SizeCap(size_t i) const {
  const SignatureRecord& r = records_[i];
  const SignatureSlot& fifth = r.slots[kSignatureSlotCount - 1];
  if (r.slotCount >= kSignatureSlotCount || fifth.length != 0) return 0;
  if (std::memcmp(fifth.pattern, kSignatureCapMarker, sizeof kSignatureCapMarker) != 0) return 0;
  const uint8_t* k = fifth.pattern + 2;
  const uint32_t kib = ReadLe32(k);
  return static_cast<uint64_t>(kib) * 1024;
}

int SignatureTable::FindType(const std::string& extension) const {
  if (extension.empty() || extension.size() > sizeof(SignatureRecord::name)) return -1;
  for (size_t i = 0; i < records_.size(); ++i) {
    std::string name = TypeName(i);
    if (name.size() != extension.size()) continue;
    bool same = true;
    for (size_t k = 0; k < name.size() && same; ++k) same = LowerAscii(name[k]) == LowerAscii(extension[k]);
    if (same) return static_cast<int>(i);
  }
  return -1;
}

int SignatureTable::MatchRecord(size_t i, const uint8_t* data, size_t size) const {
  const SignatureRecord& r = records_[i];
  size_t slots = r.slotCount < kSignatureSlotCount ? r.slotCount : kSignatureSlotCount;
  for (size_t s = 0; s < slots; ++s) {
    const SignatureSlot& slot = r.slots[s];
    if (slot.length > size) continue;
    if (std::memcmp(data, slot.pattern, slot.length) == 0) return static_cast<int>(s);
  }
  return -1;
}

bool SignatureTable::MatchSector(const uint8_t* data, size_t size, size_t* recordIndex, int* slot) const {
  for (size_t i = 0; i < records_.size(); ++i) {
    int s = MatchRecord(i, data, size);
    if (s >= 0) {
      if (recordIndex) *recordIndex = i;
      if (slot) *slot = s;
      return true;
    }
  }
  return false;
}

std::string SignatureTablePath(const char* fileName) {
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(gFolderLock);
    folder = gFolderOverride;
  }
  if (folder.empty()) folder = ProgramFolder();
  // Never a name of whatever folder is current.
  if (folder.empty()) return std::string();
  if (folder.back() != '\\') folder += '\\';
  return folder + fileName;
}

void SetSignatureTableFolder(const char* folder) {
  std::lock_guard<std::mutex> lock(gFolderLock);
  gFolderOverride = folder ? folder : "";
}
