#include "ntfs/ntfs_runs.h"

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
