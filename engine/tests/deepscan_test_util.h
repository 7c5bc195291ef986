// Shared by the deep-scan tests: the ground truth the fixture maker wrote
// (hits.tsv, photorec.tsv), the bytes of an image, and running the scan or
// the copy-out on a worker thread while this thread handles what they send.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "deepscan/deepscan.h"
#include "deepscan/found_files.h"
#include "disk/raw.h"
#include "messages.h"
#include "records/records.h"
#include "state.h"
#include "testsupport.h"
#include "winsupport.h"

namespace deeptest {

using Hit = testsupport::HitRow;

inline std::vector<Hit> ReadHits(const std::string& fixture) { return testsupport::ReadHitTable(fixture); }

struct Carved {
  uint32_t first;
  uint64_t size;
  std::string ext;
};

inline std::vector<Carved> ReadPhotorec(const std::string& fixture) {
  std::ifstream in(testsupport::FixtureDir(fixture) + "photorec.tsv");
  std::vector<Carved> out;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    Carved c;
    std::string first, size;
    std::getline(f, first, '\t');
    std::getline(f, size, '\t');
    std::getline(f, c.ext);
    if (first.empty()) continue;
    c.first = static_cast<uint32_t>(std::stoul(first));
    c.size = std::stoull(size);
    out.push_back(c);
  }
  return out;
}

// Bytes of the image mapped to a letter (or of a fixture's image).
inline std::string ImageBytes(const std::string& path, uint64_t offset, size_t size) {
  std::ifstream in(path, std::ios::binary);
  std::string out(size, '\0');
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(&out[0], static_cast<std::streamsize>(size));
  out.resize(static_cast<size_t>(in.gcount()));
  return out;
}

inline uint64_t ImageSectors(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return static_cast<uint64_t>(in.tellg()) / 512;
}

// --- what the workers send -------------------------------------------------

struct Received {
  UINT message;
  bool sent;
  WPARAM wParam;
  LPARAM lParam;
  std::string text;         // a hit's name
  std::string source;       // a copy-out block
  std::string destination;
};

inline std::vector<Received>& Messages() {
  static std::vector<Received> m;
  return m;
}
// Called after each message is recorded (e.g. to raise a stop flag).
inline std::function<void(const Received&)>& OnMessage() {
  static std::function<void(const Received&)> f;
  return f;
}

inline LRESULT CALLBACK ReceiverProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m < WM_USER) return DefWindowProcA(h, m, w, l);
  Received r{m, InSendMessage() != FALSE, w, l, "", "", ""};
  if (m == WM_RAWSCAN_FOUND && l) r.text = reinterpret_cast<const char*>(l);
  if (m == WM_RECOVER_FILE && l) {
    const RecoverProgressBlock* b = reinterpret_cast<const RecoverProgressBlock*>(l);
    r.source.assign(b->source, strnlen(b->source, sizeof b->source));
    r.destination.assign(b->destination, strnlen(b->destination, sizeof b->destination));
  }
  Messages().push_back(r);
  if (OnMessage()) OnMessage()(r);
  return 0;
}

inline HWND Receiver() {
  static HWND window = testsupport::MessageWindow("DeepScanTestReceiver", ReceiverProc);
  return window;
}

using testsupport::RunPumping;

// As the page does: the stop flag is cleared before the scan starts.
inline int Scan(uint32_t target) {
  Messages().clear();
  gDeepScanAbort = 0;
  gDeepScanWindow = Receiver();
  int rc = 0;
  RunPumping([&] { rc = RawSignatureScan(target); });
  gDeepScanWindow = nullptr;
  OnMessage() = nullptr;
  return rc;
}

inline int CopyOut(const std::string& destination) {
  Messages().clear();
  gRawProgressWindow = Receiver();
  int rc = 0;
  RunPumping([&] { rc = CopyOutFoundFiles(destination.c_str()); });
  gRawProgressWindow = nullptr;
  OnMessage() = nullptr;
  return rc;
}

inline std::vector<Received> Of(UINT message) {
  std::vector<Received> out;
  for (const Received& r : Messages())
    if (r.message == message) out.push_back(r);
  return out;
}

inline std::string TypeOf(const FoundFileRecord& r) {
  std::string n(r.name, strnlen(r.name, sizeof r.name));
  return n.substr(0, n.find('\\'));
}

inline std::string NameOf(const FoundFileRecord& r) { return std::string(r.name, strnlen(r.name, sizeof r.name)); }

inline uint32_t VolumeTarget(char letter) { return MakeVolumeTarget(static_cast<uint32_t>(letter - 'C')); }

}  // namespace deeptest
