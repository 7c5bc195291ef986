#include "ntfs/ntfs_runs.h"

#include <algorithm>
#include <iterator>
#include <map>

bool DecodeRunList(const uint8_t* runList, size_t size, uint64_t startVcn, std::vector<NtfsRun>* runs) {
  size_t pos = 0;
  uint64_t vcn = startVcn;
  int64_t lcn = 0;
  while (pos < size) {
    const uint8_t header = runList[pos];
    if (header == 0) return true;
    const size_t lengthBytes = header & 0x0F;
    const size_t offsetBytes = header >> 4;
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8) return false;
    if (1 + lengthBytes + offsetBytes > size - pos) return false;
    const uint8_t* p = runList + pos + 1;
    uint64_t length = 0;
    for (size_t i = 0; i < lengthBytes; ++i) length |= static_cast<uint64_t>(p[i]) << (8 * i);
    // A length with its top bit set would be negative: not a run.
    if (length == 0 || length >= (1ull << 62)) return false;
    NtfsRun run;
    run.vcn = vcn;
    run.length = length;
    if (offsetBytes == 0) {
      run.sparse = true;
    } else {
      uint64_t raw = 0;
      for (size_t i = 0; i < offsetBytes; ++i) raw |= static_cast<uint64_t>(p[lengthBytes + i]) << (8 * i);
      if (offsetBytes < 8 && (raw >> (8 * offsetBytes - 1)) & 1) raw |= ~0ull << (8 * offsetBytes);   // sign
      const int64_t delta = static_cast<int64_t>(raw);
      if ((delta > 0 && lcn > INT64_MAX - delta) || (delta < 0 && lcn < INT64_MIN - delta)) return false;
      lcn += delta;
      if (lcn < 0 || static_cast<uint64_t>(lcn) > UINT64_MAX - length) return false;
      run.lcn = static_cast<uint64_t>(lcn);
    }
    if (vcn > UINT64_MAX - length) return false;
    vcn += length;
    runs->push_back(run);
    pos += 1 + lengthBytes + offsetBytes;
  }
  return false;   // ran off the attribute without an end marker
}

uint64_t RunClusters(const std::vector<NtfsRun>& runs) {
  uint64_t total = 0;
  for (const NtfsRun& r : runs) total += r.length;
  return total;
}

bool DropRepeatedClusters(std::vector<NtfsRun>* runs) {
  // Clusters named so far, as disjoint [first, end) ranges keyed by first.
  std::map<uint64_t, uint64_t> named;
  std::vector<NtfsRun> out;
  out.reserve(runs->size());
  bool dropped = false;
  auto emit = [&](uint64_t vcn, uint64_t lcn, uint64_t length, bool sparse) {
    if (!out.empty() && out.back().sparse && sparse && out.back().vcn + out.back().length == vcn) {
      out.back().length += length;
      return;
    }
    NtfsRun r;
    r.vcn = vcn;
    r.lcn = sparse ? 0 : lcn;
    r.length = length;
    r.sparse = sparse;
    out.push_back(r);
  };
  for (const NtfsRun& run : *runs) {
    if (run.sparse) {
      emit(run.vcn, 0, run.length, true);
      continue;
    }
    const uint64_t end = run.lcn + run.length;   // the decoder keeps this from overflowing
    uint64_t at = run.lcn;
    // The first named range that may reach into this run.
    auto it = named.upper_bound(run.lcn);
    if (it != named.begin() && std::prev(it)->second > run.lcn) --it;
    for (; at < end; ) {
      if (it == named.end() || it->first >= end) {
        emit(run.vcn + (at - run.lcn), at, end - at, false);
        break;
      }
      if (it->first > at) {
        emit(run.vcn + (at - run.lcn), at, it->first - at, false);
        at = it->first;
      }
      const uint64_t stop = std::min(end, it->second);
      if (stop > at) {
        emit(run.vcn + (at - run.lcn), 0, stop - at, true);
        dropped = true;
        at = stop;
      }
      ++it;
    }
    // Remember this run's clusters, merged with the ranges it touches.
    uint64_t first = run.lcn, last = end;
    auto m = named.upper_bound(first);
    if (m != named.begin() && std::prev(m)->second >= first) --m;
    while (m != named.end() && m->first <= last) {
      first = std::min(first, m->first);
      last = std::max(last, m->second);
      m = named.erase(m);
    }
    named.emplace(first, last);
  }
  runs->swap(out);
  return dropped;
}
