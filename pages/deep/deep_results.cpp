#include "deep_results.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "bytes.h"

ResultTreeNode* AddFoundFile(CResultTree& tree, const FoundFileRecord& hit, int32_t index, bool* folderIsNew) {
  // The record's name field is NUL-padded; a full field has no NUL.
  const int length = static_cast<int>(strnlen(hit.name, sizeof hit.name));
  const char* slash = static_cast<const char*>(std::memchr(hit.name, '\\', static_cast<size_t>(length)));
  const CString whole(hit.name, length);
  if (!slash) return tree.AddByType(whole, whole, index, folderIsNew);
  const int at = static_cast<int>(slash - hit.name);
  return tree.AddByType(CString(hit.name, at), CString(slash + 1, length - at - 1), index, folderIsNew);
}

CString FoundSizeText(const FoundFileRecord& hit) {
  CString text;
  text.Format("%llu KB", static_cast<unsigned long long>(FoundFileBytes(hit) >> 10));
  return text;
}

DeepSelection ApplyResultChecks(const CResultTree& tree, std::vector<FoundFileRecord>& hits,
                                const std::function<int(const ResultTreeNode& file)>& stateOf) {
  DeepSelection s;
  for (size_t n = 0; n < tree.NodeCount(); ++n) {
    const ResultTreeNode& node = *tree.Node(n);
    if (!node.IsFile()) continue;
    const size_t i = static_cast<size_t>(node.recordIndex);
    if (i >= hits.size()) continue;
    const int state = stateOf(node);
    if (state == 3) {
      hits[i].selected = 1;
      ++s.visited;
      ++s.checked;
      s.sectors += FoundFileBytes(hits[i]) / 512;
    } else if (state == 1) {
      hits[i].selected = 0;
      ++s.visited;
    }
  }
  return s;
}

int FolderCheckOf(const std::vector<int>& rowStates, int current) {
  int seen = 0;
  for (int s : rowStates) {
    if (s < 1 || s > 3) continue;   // no box, or a fixed one
    if (seen == 0)
      seen = s;
    else if (seen != s)
      return 2;
  }
  return seen ? seen : current;
}

PreviewRequests::Action PreviewRequests::Select(int index) {
  if (index < 0 || index == wanted_) return kNothing;
  wanted_ = index;
  if (reading_ >= 0) return kWait;
  reading_ = index;
  return kStartRead;
}

int PreviewRequests::Arrived(int index, bool* show) {
  reading_ = -1;
  *show = index == wanted_;
  if (*show || wanted_ < 0) return -1;
  reading_ = wanted_;
  return wanted_;
}

namespace {

bool JpegDimensions(const uint8_t* p, size_t size, uint32_t* w, uint32_t* h) {
  size_t at = 2;
  while (at + 4 <= size) {
    if (p[at] != 0xFF) return false;
    const uint8_t marker = p[at + 1];
    if (marker == 0xFF) {   // fill bytes before a marker
      ++at;
      continue;
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return false;   // the image data came first
    const uint32_t length = ReadBe16(p + at + 2);
    if (length < 2) return false;
    // Start of frame (not DHT C4, JPG C8, DAC CC): height, then width.
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (at + 9 > size || length < 7) return false;
      *h = ReadBe16(p + at + 5);
      *w = ReadBe16(p + at + 7);
      return true;
    }
    at += 2 + static_cast<size_t>(length);
  }
  return false;
}

}  // namespace

bool PictureDimensions(const uint8_t* p, size_t size, uint32_t* width, uint32_t* height) {
  if (!p || !width || !height) return false;
  uint32_t w = 0, h = 0;
  bool read = false;
  if (size >= 4 && p[0] == 0xFF && p[1] == 0xD8) {
    read = JpegDimensions(p, size, &w, &h);
  } else if (size >= 24 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0 && std::memcmp(p + 12, "IHDR", 4) == 0) {
    w = ReadBe32(p + 16);
    h = ReadBe32(p + 20);
    read = true;
  } else if (size >= 10 && (std::memcmp(p, "GIF87a", 6) == 0 || std::memcmp(p, "GIF89a", 6) == 0)) {
    w = ReadLe16(p + 6);
    h = ReadLe16(p + 8);
    read = true;
  } else if (size >= 26 && p[0] == 'B' && p[1] == 'M') {
    const uint32_t header = ReadLe32(p + 14);
    if (header == 12) {
      w = ReadLe16(p + 18);
      h = ReadLe16(p + 20);
      read = true;
    } else if (header >= 40) {
      const int32_t sw = static_cast<int32_t>(ReadLe32(p + 18)), sh = static_cast<int32_t>(ReadLe32(p + 22));
      // A negative height is a picture stored top-down.
      w = sw < 0 ? 0u : static_cast<uint32_t>(sw);
      h = sh < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(sh)) : static_cast<uint32_t>(sh);
      read = true;
    }
  }
  if (!read || w == 0 || h == 0) return false;
  *width = w;
  *height = h;
  return true;
}

RECT FitKeepingShape(const RECT& area, uint32_t width, uint32_t height) {
  const int64_t aw = area.right - area.left, ah = area.bottom - area.top;
  if (width == 0 || height == 0 || aw <= 0 || ah <= 0) return area;
  int64_t w = width, h = height;
  if (w > aw || h > ah) {
    // Scaled by the tighter of the two sides.
    if (w * ah > h * aw) {
      h = std::max<int64_t>(1, h * aw / w);
      w = aw;
    } else {
      w = std::max<int64_t>(1, w * ah / h);
      h = ah;
    }
  }
  RECT r;
  r.left = area.left + static_cast<LONG>((aw - w) / 2);
  r.top = area.top + static_cast<LONG>((ah - h) / 2);
  r.right = r.left + static_cast<LONG>(w);
  r.bottom = r.top + static_cast<LONG>(h);
  return r;
}
