// The file-type filter of the deleted-file road: its six tables row by row,
// the records' layout, and a fresh filter's state.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "filetype_filter.h"

namespace {

std::vector<std::string> Rows(const CExtensionTable& t) {
  std::vector<std::string> rows;
  for (int i = 0; i < t.Count(); ++i) rows.push_back(t.Row(i));
  return rows;
}

TEST(FileTypeFilter, TablesHoldEveryRowInOrder) {
  CFileTypeFilter f;
  using V = std::vector<std::string>;
  EXPECT_EQ(Rows(f.Table(CFileTypeFilter::kPictures)),
            (V{".jpeg", ".jpg", ".bmp", ".gif", ".png", ".dib", ".jpe", ".ico", ".cur", ".tiff", ".tif", ".psd",
               ".pdd", ".pcx", ".raw"}));
  EXPECT_EQ(Rows(f.Table(CFileTypeFilter::kAudio)), (V{".ac3", ".mp3", ".midi", ".ape", ".wav"}));
  EXPECT_EQ(Rows(f.Table(CFileTypeFilter::kVideo)),
            (V{".rmvb", ".rm", ".avi", ".mpeg", ".mpg", ".wma", ".mov", ".asf", ".ram", ".mpeg", ".mpe", ".swf",
               ".flv", ".mov", ".vob", ".ifo", ".wm", ".mp4", ".m4p", ".m4b", ".m4v", ".wmp"}));
  EXPECT_EQ(Rows(f.Table(CFileTypeFilter::kOffice)),
            (V{".doc", ".xls", ".ppt", ".vsd", ".dot", ".xlw", ".docx", ".xlsx", ".pptx", ".pdf"}));
  EXPECT_EQ(Rows(f.Table(CFileTypeFilter::kZrtOffice)), (V{".zrt", ".zrc", ".zrp", ".zrq", ".uof"}));
  EXPECT_EQ(Rows(f.Table(CFileTypeFilter::kWebPages)), (V{".html", ".htm", ".htx", ".asp", ".stm", ".shtml", ".mht"}));
  EXPECT_EQ(f.Table(CFileTypeFilter::kVideo).Count(), 22);
}

TEST(FileTypeFilter, EveryRecordIsNulTerminatedAndPaddedWithinSevenBytes) {
  CFileTypeFilter f;
  for (int c = 0; c < CFileTypeFilter::kCategoryCount; ++c) {
    const CExtensionTable& t = f.Table(static_cast<CFileTypeFilter::Category>(c));
    for (int i = 0; i < t.Count(); ++i) {
      const char* rec = t.Record(i);
      ASSERT_NE(rec, nullptr);
      size_t len = strnlen(rec, CExtensionTable::kRecordSize);
      ASSERT_LT(len, static_cast<size_t>(CExtensionTable::kRecordSize)) << rec;
      for (size_t k = len; k < CExtensionTable::kRecordSize; ++k) EXPECT_EQ(rec[k], 0) << t.Row(i);
    }
    EXPECT_EQ(t.Record(-1), nullptr);
    EXPECT_EQ(t.Record(t.Count()), nullptr);
    EXPECT_STREQ(t.Row(t.Count()), "");
  }
  EXPECT_STREQ(f.Table(CFileTypeFilter::kWebPages).Record(5), ".shtml");
  EXPECT_STREQ(f.Table(CFileTypeFilter::kPictures).Record(0), ".jpeg");
}

TEST(FileTypeFilter, AFreshFilterFiltersNothing) {
  CFileTypeFilter f;
  for (int c = 0; c < CFileTypeFilter::kCategoryCount; ++c)
    EXPECT_EQ(f.GetEnabled(static_cast<CFileTypeFilter::Category>(c)), 0);
  EXPECT_EQ(f.GetDateMode(), CFileTypeFilter::kDateNone);
  EXPECT_EQ(f.m_sizeEnabled, 0u);
  for (char ch : f.m_namePart) EXPECT_EQ(ch, 0);
  EXPECT_EQ(f.m_dateModeCodes[0], 0);
  EXPECT_EQ(f.m_dateModeCodes[3], 3);
  f.SetEnabled(CFileTypeFilter::kAudio, 1);
  f.SetDateMode(CFileTypeFilter::kDateModified);
  EXPECT_EQ(f.GetEnabled(CFileTypeFilter::kAudio), 1);
  EXPECT_EQ(f.GetEnabled(CFileTypeFilter::kVideo), 0);
  EXPECT_EQ(f.GetDateMode(), 2);
}

TEST(FileTypeFilter, AnArraySizeThatOverflowsAsksForTheLargestSize) {
  EXPECT_EQ(CExtensionTable::ArraySize(15), 105u);
  EXPECT_EQ(CExtensionTable::ArraySize(std::numeric_limits<size_t>::max() / 3),
            std::numeric_limits<size_t>::max());
  // A rebuilt table starts disabled again and keeps only six characters of a row.
  CExtensionTable t;
  const char* rows[] = {".abcdefgh", ".x"};
  ASSERT_TRUE(t.Build(rows, 2));
  t.SetEnabled(1);
  ASSERT_TRUE(t.Build(rows, 2));
  EXPECT_EQ(t.GetEnabled(), 0);
  EXPECT_STREQ(t.Row(0), ".abcde");
  EXPECT_STREQ(t.Row(1), ".x");
}

}  // namespace
