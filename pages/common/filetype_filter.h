// The search conditions of the deleted-file road: kinds of files (six tables
// of extensions), a name part, a date range and a size range, in one value
// object that the location page and the result page each own. How a record
// is matched against them belongs to the result-tree model.
#pragma once

#include <cstdint>
#include <ctime>

// One category: dotted extensions of at most six characters, each
// NUL-terminated and NUL-padded to 7 bytes.
class CExtensionTable {
 public:
  static constexpr int kRecordSize = 7;

  CExtensionTable() = default;
  ~CExtensionTable();
  CExtensionTable(const CExtensionTable&) = delete;
  CExtensionTable& operator=(const CExtensionTable&) = delete;

  // Fills the table with rows (disabled). When the memory cannot be had the
  // user is told (string 19) and the table stays empty: count 0, no records.
  // False in that case.
  bool Build(const char* const* rows, int count);

  void SetEnabled(uint8_t enabled) { m_enabled = enabled; }
  uint8_t GetEnabled() const { return m_enabled; }
  uint8_t Count() const { return m_count; }
  // Row i as a NUL-terminated text; "" outside the table.
  const char* Row(int i) const;
  // The 7-byte record of row i (null outside the table).
  const char* Record(int i) const;

  // The size of count records, or the largest size when that overflows, so
  // that the allocation fails instead of giving a short array.
  static size_t ArraySize(size_t count);

 private:
  char* m_records = nullptr;   // m_count x kRecordSize bytes
  uint8_t m_count = 0;
  uint8_t m_enabled = 0;
};

class CFileTypeFilter {
 public:
  enum Category { kPictures = 0, kAudio, kVideo, kOffice, kZrtOffice, kWebPages, kCategoryCount };
  enum DateMode : uint8_t { kDateNone = 0, kDateCreated = 1, kDateModified = 2, kDateAccessed = 3 };

  CFileTypeFilter();
  CFileTypeFilter(const CFileTypeFilter&) = delete;
  CFileTypeFilter& operator=(const CFileTypeFilter&) = delete;

  void SetEnabled(Category table, uint8_t enabled) { m_tables[table].SetEnabled(enabled); }
  uint8_t GetEnabled(Category table) const { return m_tables[table].GetEnabled(); }
  void SetDateMode(uint8_t mode) { m_dateMode = mode; }
  uint8_t GetDateMode() const { return m_dateMode; }
  const CExtensionTable& Table(Category table) const { return m_tables[table]; }
  CExtensionTable& Table(Category table) { return m_tables[table]; }

  // Fields in this order; the result-tree filters read them.
  char m_namePart[260];                  // empty: no name condition
  __time64_t m_dateFrom = 0;             // seconds since 1970, as the date pickers give them
  __time64_t m_dateTo = 0;
  uint8_t m_dateModeCodes[4] = {kDateNone, kDateCreated, kDateModified, kDateAccessed};
  uint8_t m_dateMode = kDateNone;
  CExtensionTable m_tables[kCategoryCount];
  uint32_t m_sizeFrom = 0;               // bytes, inclusive
  uint32_t m_sizeTo = 0;                 // bytes, inclusive; 0xFFFFFFFF: open
  uint32_t m_sizeEnabled = 0;
};

// 1 when the category flags of the filter apply at all.
extern uint8_t gCategoryFilterOn;
