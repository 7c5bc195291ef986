// The program's client of the service library quorlex.dll: loaded from the
// program's folder on first use (and again on every use while it is
// missing); every wrapper does nothing while the library or its object is
// missing, so the program runs the same without it.
#pragma once

#include <windows.h>

#include "tarnapi.h"

// The product id this program reports under.
enum { kSalvoraProductId = 90009 };

class CTarnClient {
 public:
  CTarnClient() = default;
  ~CTarnClient() { Release(); }
  CTarnClient(const CTarnClient&) = delete;
  CTarnClient& operator=(const CTarnClient&) = delete;

  // Loads and initialises the library when it is not loaded yet.
  void LoadIfMissing();

  // 1 when the page was handed to the library's OpenUrl, else 0.
  int OpenUrl(const wchar_t* url);
  void ReportAction(const wchar_t* action, const wchar_t* params);
  void ReportNode(int node, int snode);
  // Leaves cid and sv as they are unless the library accepts version 10;
  // callers set both to 0 first.
  void GetInitParams(int* cid, int* sv);
  // Releases the service object and unloads the library (at exit). The
  // update object is not released: the library goes with the process.
  void Release();

  bool IsLoaded() const { return module != nullptr; }

  // Fields in this order; the update dialog uses updater directly.
  ITarnUpdate* updater = nullptr;
  int state0 = 0;
  int state1 = -1;
  int state2 = 0;
  ITarnImpl3th* service = nullptr;
  HMODULE module = nullptr;
};

// The process's one client, built on first use and released at exit.
CTarnClient& GetServiceModuleClient();
