#include "statistics.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "tarnclient.h"

const wchar_t kLaunchEventName[] = L"tessel_refindalaunch";
const wchar_t kOperationEventName[] = L"tessel_refindaropera";

namespace {

std::wstring ActiveToWide(const char* text) {
  if (!text || !*text) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring out((size_t)n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
  out.resize((size_t)n - 1);
  return out;
}

std::wstring Format(const wchar_t* format, ...) {
  std::vector<wchar_t> buf(512);
  for (;;) {
    va_list args;
    va_start(args, format);
    int n = vswprintf(buf.data(), buf.size(), format, args);
    va_end(args);
    if (n >= 0 && (size_t)n < buf.size()) return std::wstring(buf.data(), (size_t)n);
    buf.resize(buf.size() * 4);
  }
}

}  // namespace

std::wstring LaunchEventText(int launchFromUsb, int cid, int sv, const char* version) {
  return Format(L"launch=%d&launchfrom=%d&cidfrom=%d&svfrom=%d&version=%ls", 1, launchFromUsb,
                cid, sv, ActiveToWide(version).c_str());
}

std::wstring OperationEventText(const StatisticsRecord& r, const char* version) {
  // The road kind goes out as -1 whatever the record holds.
  return Format(
      L"dlgresult=%d&recovercount=%d&userpermit=%d&paydlg=%d&fixtype=%d&scancount=%d&from=%d"
      L"&filtertype=%d&btnrecover=%d&fixtype2=%d&version=%ls",
      (int)r.dlgresult, (int)r.recovercount, (int)r.userpermit, (int)r.paydlg, -1,
      (int)r.scancount, (int)r.from, (int)r.filtertype, (int)r.btnrecover, (int)r.fixtype2,
      ActiveToWide(version).c_str());
}

void ReportLaunch(int launchFromUsb, const char* version) {
  CTarnClient& client = GetServiceModuleClient();
  int cid = 0, sv = 0;
  client.GetInitParams(&cid, &sv);
  client.ReportAction(kLaunchEventName, LaunchEventText(launchFromUsb, cid, sv, version).c_str());
}

void ReportOperation(const StatisticsRecord& record, const char* version) {
  GetServiceModuleClient().ReportAction(kOperationEventName,
                                        OperationEventText(record, version).c_str());
}

bool ReportPendingOperation(StatisticsRecord& record, const char* version) {
  if (record.dlgresult != 0 || !record.pending) return false;
  ReportOperation(record, version);
  record.pending = 0;
  return true;
}

void ReportRoadFinished(StatisticsRecord& record, const char* version) {
  record.dlgresult = 1;
  ReportOperation(record, version);
  if (record.recovercount > 0) GetServiceModuleClient().ReportNode(151002, 102);
}

void BeginOperation(StatisticsRecord& record, int32_t fixtype, int32_t from) {
  record.dlgresult = 0;
  record.recovercount = 0;
  record.userpermit = -1;
  record.paydlg = 0;
  record.fixtype = fixtype;
  record.scancount = -1;
  record.from = from;
  record.pending = 1;
}
