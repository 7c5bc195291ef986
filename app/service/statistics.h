// The usage statistics of one recovery road and the two events that report
// it (plus the launch event) through the service library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Held by the application object; the pages of every road write its fields.
struct StatisticsRecord {
  int32_t dlgresult = 0;     // 1 once a road reached its report page
  int32_t recovercount = 0;  // files recovered
  int32_t userpermit = -1;
  int32_t paydlg = 0;
  int32_t fixtype = 1;       // the road as its first step sees it (not sent)
  int32_t scancount = 0;     // items found by the scan
  int32_t from = 0;
  int32_t fixtype2 = 0;      // mode button: 1 deleted .. 6 deep recovery
  int32_t pending = 0;       // an operation event is owed
  int32_t filtertype = 0;
  int32_t btnrecover = 0;    // the recover button was pressed
};
static_assert(sizeof(StatisticsRecord) == 44, "eleven 32-bit fields");
static_assert(offsetof(StatisticsRecord, fixtype2) == 28, "field order");
static_assert(offsetof(StatisticsRecord, btnrecover) == 40, "field order");

// A road's scan begins: the record is set for its operation event, which is
// owed from now on (pending). fixtype and from as the road's first step sees
// them; the other fields the road has not reached yet are cleared.
void BeginOperation(StatisticsRecord& record, int32_t fixtype, int32_t from);

// Event texts (UTF-16). version is the program's version text in the active
// code page ("" when it has none).
std::wstring LaunchEventText(int launchFromUsb, int cid, int sv, const char* version);
std::wstring OperationEventText(const StatisticsRecord& record, const char* version);

extern const wchar_t kLaunchEventName[];     // "tessel_refindalaunch"
extern const wchar_t kOperationEventName[];  // "tessel_refindaropera"

// The launch event, once per start (main window's first show). launchFromUsb
// is 1 when the program was started with "-fixusb". cid and sv come from the
// library's start parameters.
void ReportLaunch(int launchFromUsb, const char* version);
// The operation event of the current road, sent as the record stands.
void ReportOperation(const StatisticsRecord& record, const char* version);
// Main window shown again: a road left before its report page is reported
// once (dlgresult 0 with pending set); pending is cleared. True when sent.
bool ReportPendingOperation(StatisticsRecord& record, const char* version);
// Report page: dlgresult = 1, the operation event, and the recovered-files
// node (151002, 102) when recovercount is above 0.
void ReportRoadFinished(StatisticsRecord& record, const char* version);
