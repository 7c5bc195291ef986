// A stand-in host program for the hand-over tests.
//   updhost --host-run   loads quorlex.dll beside it, holds the file named by
//                        [host] hold of host.ini (no sharing), runs the update
//                        and, when files were left in use, calls
//                        StartReupdate with [host] cmd (absent: no command
//                        line); writes host-result.txt and waits to be ended.
//   updhost --sleep      waits to be ended.
//   anything else        a restart: writes its command line to restarted.txt
//                        (UTF-8) and exits.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tarnapi.h"

namespace {

std::wstring Folder() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p = path;
  return p.substr(0, p.rfind(L'\\') + 1);
}

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string s((size_t)n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
  return s;
}

// Written under another name first: a reader never sees half a file.
void WriteFileAtomically(const std::wstring& path, const std::string& text) {
  std::wstring temp = path + L".tmp";
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  WriteFile(h, text.data(), (DWORD)text.size(), &done, nullptr);
  CloseHandle(h);
  MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

struct Callback : ITarnUpdateCallback {
  int calls = 0;
  int finished = 0x7FFFFFFF;
  int TARN_THISCALL OnProgress(const wchar_t*, int, int) override {
    ++calls;
    return 1;
  }
  int TARN_THISCALL OnFinish(int code) override {
    finished = code;
    return 1;
  }
};

std::wstring IniValue(const std::wstring& ini, const wchar_t* key, bool* present) {
  wchar_t value[4096] = {};
  GetPrivateProfileStringW(L"host", key, L"\x01", value, 4096, ini.c_str());
  *present = !(value[0] == 1 && value[1] == 0);
  return *present ? value : L"";
}

int HostRun() {
  std::wstring folder = Folder();
  std::wstring ini = folder + L"host.ini";
  HMODULE module = LoadLibraryW((folder + L"quorlex.dll").c_str());
  Tarn3thGetClassObjectFn get = module ? reinterpret_cast<Tarn3thGetClassObjectFn>(
                                             GetProcAddress(module, "Tarn3thGetClassObject"))
                                       : nullptr;
  void* object = nullptr;
  if (get) get(IID_ITarnUpdate, &object);
  ITarnUpdate* update = static_cast<ITarnUpdate*>(object);
  if (!update) {
    WriteFileAtomically(folder + L"host-result.txt", "code=none\n");
    return 1;
  }
  update->SetProductId(90009);

  bool present = false;
  std::wstring hold = IniValue(ini, L"hold", &present);
  HANDLE held = INVALID_HANDLE_VALUE;
  if (present)
    held = CreateFileW((folder + hold).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);

  Callback cb;
  update->RunUpdate(&cb);
  char line[128];
  std::string result;
  snprintf(line, sizeof line, "code=0x%08X\nheld=%d\n", (unsigned)cb.finished,
           held != INVALID_HANDLE_VALUE ? 1 : 0);
  result += line;
  if (cb.finished == TARN_UPDATE_REUPDATE) {
    std::wstring cmd = IniValue(ini, L"cmd", &present);
    HRESULT hr = present ? update->StartReupdate(cmd.c_str(), (int)cmd.size())
                         : update->StartReupdate(nullptr, 0);
    snprintf(line, sizeof line, "reupdate=0x%08X\n", (unsigned)hr);
    result += line;
  }
  WriteFileAtomically(folder + L"host-result.txt", result);
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int main() {
  std::wstring line = GetCommandLineW();
  if (line.find(L"--host-run") != std::wstring::npos) return HostRun();
  if (line.find(L"--sleep") != std::wstring::npos) {
    Sleep(INFINITE);
    return 0;
  }
  WriteFileAtomically(Folder() + L"restarted.txt", Utf8(line));
  return 0;
}
