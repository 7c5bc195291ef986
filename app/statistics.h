// The usage statistics of the current recovery road: eleven integers kept in
// the application object, written by the pages, sent by the main window and
// the report pages.
#pragma once
#include <cstdint>

struct StatisticsRecord {
  int32_t dlgresult = 0;      // 1 once the road reached its report page
  int32_t recovercount = 0;   // files recovered
  int32_t userpermit = -1;
  int32_t paydlg = 0;
  int32_t fixtype = 1;        // kind of road as its first step sees it
  int32_t scancount = 0;      // items the scan found
  int32_t from = 0;
  int32_t fixtype2 = 0;       // which of the six roads: 1 deleted .. 6 deep
  int32_t pending = 0;        // an operation event is owed
  int32_t filtertype = 0;
  int32_t btnrecover = 0;     // the recover button was pressed
};
static_assert(sizeof(StatisticsRecord) == 44, "eleven 32-bit integers");
