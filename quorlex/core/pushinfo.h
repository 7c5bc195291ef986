// The push-message client: asks the message server for pending messages for
// this machine and product, hands each to a caller's function, and keeps in
// the product's registry key which messages were shown and which failed.
// The internal factory makes it; no host asks for it.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>
#include <vector>

// {4CCB210E-3067-48D1-B46B-6DE0076AE3D5}
static const IID IID_ITarnPushInfo = {
    0x4CCB210E, 0x3067, 0x48D1, {0xB4, 0x6B, 0x6D, 0xE0, 0x07, 0x6A, 0xE3, 0xD5}};

// One message as the callback sees it (valid during the call).
struct TarnPushMessage {
  const wchar_t* id;    // "info_id"
  int priority;         // "priority"
  const wchar_t* feed;  // "feed"
  const wchar_t* json;  // the message's whole JSON text
};

struct ITarnPushInfo;
// e: the server's error code (0 without one); count: messages in the answer.
typedef int(STDMETHODCALLTYPE* TarnPushCallback)(int e, int count, const TarnPushMessage* message,
                                                 ITarnPushInfo* client);

struct ITarnPushInfo : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Init(int productId, int subVersion) = 0;                   // 3
  virtual HRESULT STDMETHODCALLTYPE Nop() = 0;                                                 // 4
  virtual HRESULT STDMETHODCALLTYPE CheckVersion(unsigned version) = 0;                        // 5
  virtual HRESULT STDMETHODCALLTYPE Fetch(int it, TarnPushCallback callback) = 0;              // 6
  virtual HRESULT STDMETHODCALLTYPE Report(int r, const wchar_t* id) = 0;                      // 7
  // *out is allocated with CoTaskMemAlloc.
  virtual HRESULT STDMETHODCALLTYPE GetText(const wchar_t* urls, wchar_t** out) = 0;           // 8
  virtual HRESULT STDMETHODCALLTYPE MarkShown(const wchar_t* id) = 0;                          // 9
  virtual HRESULT STDMETHODCALLTYPE MarkLost(const wchar_t* id, int count, int firstTime) = 0; // 10
  virtual HRESULT STDMETHODCALLTYPE GetStoredText(const wchar_t* name, wchar_t** out) = 0;     // 11
  virtual HRESULT STDMETHODCALLTYPE GetStoredNumber(const wchar_t* name, int* out) = 0;        // 12
  virtual HRESULT STDMETHODCALLTYPE SetStoredNumber(const wchar_t* name, int hashed,
                                                    int value) = 0;                           // 13
};

namespace tarn {

class TarnParams;

// The message servers ("primary;relay"): built in, or an administrator's
// (servers.h).
std::string PushEndpointText();

// The salt the push requests are signed with.
extern const char kPushSalt[];

// The per-product content value sent as "ct" (0 for other products).
int PushContentValue(int productId);

struct PushMessage {
  std::wstring id;
  int priority = 0;
  std::wstring feed;
  std::wstring json;
};

// What one answer of the message server says.
struct PushAnswer {
  int error = 0;  // InfoError code
  bool hasSet = false;
  bool hasTotal = false, hasSecurity = false, hasInterval = false, hasRdp = false;
  int total = 0, security = 0, interval = 0;
  std::string rdp;
  std::vector<std::wstring> delayIds;
  std::vector<PushMessage> messages;
};

// Reads the XML answer (root "InfoResult"); false when it is not one.
// Nesting deeper than a few levels is refused before the XML parser runs.
bool ParsePushAnswer(const std::string& xml, PushAnswer* out);

// The "lostid" list: ','-separated entries "id|count|tries". A message that
// failed for the first time is added with tries 1; one already listed gets
// its tries raised while they are 3 or fewer and is dropped after that.
std::wstring MergeLostList(const std::wstring& list, const std::wstring& id, int count,
                           bool firstTime);
// Entries of a lost list.
size_t LostListCount(const std::wstring& list);

}  // namespace tarn

class CTarnPushInfo : public ITarnPushInfo {
 public:
  CTarnPushInfo();
  virtual ~CTarnPushInfo();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Init(int productId, int subVersion) override;
  HRESULT STDMETHODCALLTYPE Nop() override;
  HRESULT STDMETHODCALLTYPE CheckVersion(unsigned version) override;
  HRESULT STDMETHODCALLTYPE Fetch(int it, TarnPushCallback callback) override;
  HRESULT STDMETHODCALLTYPE Report(int r, const wchar_t* id) override;
  HRESULT STDMETHODCALLTYPE GetText(const wchar_t* urls, wchar_t** out) override;
  HRESULT STDMETHODCALLTYPE MarkShown(const wchar_t* id) override;
  HRESULT STDMETHODCALLTYPE MarkLost(const wchar_t* id, int count, int firstTime) override;
  HRESULT STDMETHODCALLTYPE GetStoredText(const wchar_t* name, wchar_t** out) override;
  HRESULT STDMETHODCALLTYPE GetStoredNumber(const wchar_t* name, int* out) override;
  HRESULT STDMETHODCALLTYPE SetStoredNumber(const wchar_t* name, int hashed, int value) override;

  // The messages of the last fetch.
  const std::vector<tarn::PushMessage>& Messages() const { return messages_; }

 private:
  std::wstring SubKey() const;
  std::string StoredRdp() const;
  // Signs, encodes and sends; the answer when the send succeeded with one.
  bool Send(const tarn::TarnParams& params, std::string* answer);

  LONG refs_ = 1;
  int productId_ = 0;
  int subVersion_ = 0;
  std::string machineId_;
  std::string productText_;
  std::string urls_;
  std::vector<tarn::PushMessage> messages_;
};
