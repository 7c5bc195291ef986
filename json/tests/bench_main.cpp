// Throughput of reading, writing and saving a large document (not a test:
// scripts/bench-json.sh runs it). Prints one line per operation.
#include <windows.h>

#include <cstdio>
#include <string>

#include "vezavu.h"

using namespace VeZavu;

namespace {

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// Best of a few runs, in seconds.
template <typename F>
double Best(int runs, F f) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    double t0 = Now();
    f();
    double t = Now() - t0;
    if (t < best) best = t;
  }
  return best;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int records = argc > 1 ? _wtoi(argv[1]) : 100000;
  const wchar_t* savePath = argc > 2 ? argv[2] : nullptr;

  double t0 = Now();
  Document built;
  for (int i = 0; i < records; ++i) {
    Handle r = built[i];
    r[L"id"] = i;
    r[L"name"] = L"file_" + std::to_wstring(i) + L"_\x7167\x7247.jpg";
    r[L"path"] = L"C:/photos/2025/\x4e2d\x6587/\"quoted\"\\";
    r[L"deleted"] = (i % 3) == 0;
    r[L"size"] = i * 7919;
    Handle tags = r[L"tags"];
    tags[0] = L"jpeg";
    tags[1] = i;
    tags[2] = nullptr;
  }
  double build = Now() - t0;
  std::wstring text = built.Write();
  double mb = text.size() * 2 / 1048576.0;
  printf("document: %d records, %zu UTF-16 units (%.1f MB)\n", records, text.size(), mb);
  printf("build    %7.1f ms  (through handles)\n", build * 1e3);

  Document d;
  bool ok = d.Parse(text);
  double parse = 1e9;
  for (int i = 0; i < 5; ++i) {
    Document fresh;  // timed alone, without letting go of an earlier tree
    double t = Now();
    ok = fresh.Parse(text) && ok;
    t = Now() - t;
    if (t < parse) parse = t;
  }
  std::wstring out;
  double compact = Best(5, [&] { out = d.Write(); });
  ok = ok && out == text;
  double pretty = Best(5, [&] { out = d.Write(true, 2); });
  double narrow = Best(5, [&] { ok = !d.WriteNarrow(CP_UTF8).empty() && ok; });
  printf("parse    %7.1f ms  %6.1f MB/s\n", parse * 1e3, mb / parse);
  printf("compact  %7.1f ms  %6.1f MB/s\n", compact * 1e3, mb / compact);
  printf("pretty   %7.1f ms  %6.1f MB/s (of compact size)\n", pretty * 1e3, mb / pretty);
  printf("utf-8    %7.1f ms  (write + conversion)\n", narrow * 1e3);
  if (savePath) {
    double save = Best(3, [&] { ok = d.Save(savePath, CP_UTF8, true, 2) && ok; });
    printf("save     %7.1f ms  (pretty, UTF-8)\n", save * 1e3);
  }
  double drop = 1e9;
  for (int i = 0; i < 3; ++i) {
    Document tmp;
    ok = tmp.Parse(text) && ok;
    double t = Now();
    tmp.Parse(L"0");  // lets go of the big tree
    t = Now() - t;
    if (t < drop) drop = t;
  }
  printf("drop     %7.1f ms  (destroying the tree)\n", drop * 1e3);
  if (!ok) {
    printf("FAILED: a round trip did not reproduce the text\n");
    return 1;
  }
  return 0;
}
