#include "unformat_results.h"

#include <cstring>

#include "recovery_totals.h"

namespace {

// A path field read from a record: NUL-terminated within its field.
CString FieldText(const char* field, size_t size) {
  const void* end = std::memchr(field, 0, size);
  return CString(field, end ? static_cast<int>(static_cast<const char*>(end) - field) : static_cast<int>(size));
}

template <typename Record>
void AddVector(CResultTree* tree, const std::vector<Record>& records, UnformatVector vector, const volatile bool* stop) {
  for (size_t i = 0; i < records.size(); ++i) {
    if (stop && *stop) return;
    const CString path = FieldText(records[i].path, sizeof records[i].path);
    if (!path.IsEmpty()) tree->AddInRecordOrder(path, static_cast<uint8_t>(vector), static_cast<int32_t>(i));
  }
}

}  // namespace

void BuildUnformatTree(CResultTree* tree, const volatile bool* stop) {
  AddVector(tree, gUnformatFat32Files, UnformatVector::kFat32, stop);
  AddVector(tree, gUnformatNtfsFiles, UnformatVector::kNtfs, stop);
  AddVector(tree, gUnformatFat16Files, UnformatVector::kFat16, stop);
}

bool UnformatResultsExist() {
  return !gUnformatFat32Files.empty() || !gUnformatNtfsFiles.empty() || !gUnformatFat16Files.empty();
}

CString UnformatDateText(const SYSTEMTIME& t) { return RecordDateText(t); }

UnformatRowTexts UnformatRowTextsOf(UnformatVector vector, int32_t recordIndex) {
  UnformatRowTexts texts;
  if (recordIndex < 0) return texts;
  const size_t i = static_cast<size_t>(recordIndex);
  // The records are packed: their times are copied out before use.
  SYSTEMTIME created = {}, modified = {}, accessed = {};
  switch (vector) {
    case UnformatVector::kFat32:
    case UnformatVector::kFat16: {
      const auto& files = vector == UnformatVector::kFat32 ? gUnformatFat32Files : gUnformatFat16Files;
      if (i >= files.size()) return texts;
      const UnformatFatRecord& r = files[i];
      if (vector == UnformatVector::kFat32)
        texts.size = FileSizeText(r.size);
      else
        texts.size.Format("%u Byte", static_cast<unsigned>(r.size));
      created = r.created;
      modified = r.modified;
      accessed = r.accessed;
      break;
    }
    case UnformatVector::kNtfs: {
      if (i >= gUnformatNtfsFiles.size()) return texts;
      const UnformatNtfsRecord& r = gUnformatNtfsFiles[i];
      texts.size = FileSizeText(UnformatNtfsSize(r));
      created = r.created;
      modified = r.modified;
      accessed = r.accessed;
      break;
    }
    default:
      return texts;
  }
  texts.created = RecordTimeText(created);
  texts.modified = RecordTimeText(modified);
  texts.accessed = UnformatDateText(accessed);
  return texts;
}

uint8_t* UnformatSelectedByte(UnformatVector vector, int32_t recordIndex) {
  if (recordIndex < 0) return nullptr;
  const size_t i = static_cast<size_t>(recordIndex);
  switch (vector) {
    case UnformatVector::kFat32:
      return i < gUnformatFat32Files.size() ? &gUnformatFat32Files[i].selected : nullptr;
    case UnformatVector::kFat16:
      return i < gUnformatFat16Files.size() ? &gUnformatFat16Files[i].selected : nullptr;
    case UnformatVector::kNtfs:
      return i < gUnformatNtfsFiles.size() ? &gUnformatNtfsFiles[i].selected : nullptr;
    default:
      return nullptr;
  }
}

void ClearUnformatSelection() {
  for (auto& r : gUnformatFat32Files) r.selected = 0;
  for (auto& r : gUnformatFat16Files) r.selected = 0;
  for (auto& r : gUnformatNtfsFiles) r.selected = 0;
}

uint64_t SelectedUnformatSectors() {
  uint64_t total = 0;
  for (const auto& r : gUnformatNtfsFiles)
    if (r.selected) AddSelectedSize(&total, UnformatNtfsSize(r));
  for (const auto* files : {&gUnformatFat32Files, &gUnformatFat16Files})
    for (const auto& r : *files)
      if (r.selected) AddSelectedSize(&total, r.size);
  return total;
}
