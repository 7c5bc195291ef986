#include "deep_results.h"

#include <cstring>
#include <unordered_map>

DeepResultModel GroupFoundFiles(const std::vector<FoundFileRecord>& hits) {
  DeepResultModel model;
  model.rows.reserve(hits.size());
  std::unordered_map<std::string, size_t> folderOf;
  for (size_t i = 0; i < hits.size(); ++i) {
    // The record's name field is NUL-padded; a full field has no NUL.
    const std::string name(hits[i].name, strnlen(hits[i].name, sizeof hits[i].name));
    const size_t slash = name.find('\\');
    DeepResultRow row;
    row.index = i;
    std::string type = slash == std::string::npos ? name : name.substr(0, slash);
    row.name = slash == std::string::npos ? name : name.substr(slash + 1);
    auto found = folderOf.find(type);
    if (found == folderOf.end()) {
      found = folderOf.emplace(type, model.folders.size()).first;
      model.folders.push_back(DeepResultFolder{type});
    }
    row.folder = found->second;
    model.rows.push_back(std::move(row));
  }
  return model;
}

CString FoundSizeText(const FoundFileRecord& hit) {
  CString text;
  text.Format("%llu KB", static_cast<unsigned long long>(FoundFileBytes(hit) >> 10));
  return text;
}

DeepSelection ApplyResultChecks(const DeepResultModel& model, std::vector<FoundFileRecord>& hits,
                                const std::function<int(size_t row)>& stateOf) {
  DeepSelection s;
  for (size_t r = 0; r < model.rows.size(); ++r) {
    const size_t i = model.rows[r].index;
    if (i >= hits.size()) continue;
    const int state = stateOf(r);
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

LRESULT ResizeHitTest(const RECT& window, POINT p, bool maximised) {
  if (maximised) return HTCAPTION;
  constexpr int kCorner = 10, kEdge = 3;
  const bool left = p.x < window.left + kEdge, right = p.x >= window.right - kEdge;
  const bool top = p.y < window.top + kEdge, bottom = p.y >= window.bottom - kEdge;
  const bool nearLeft = p.x < window.left + kCorner, nearRight = p.x >= window.right - kCorner;
  const bool nearTop = p.y < window.top + kCorner, nearBottom = p.y >= window.bottom - kCorner;
  if (nearTop && nearLeft) return HTTOPLEFT;
  if (nearTop && nearRight) return HTTOPRIGHT;
  if (nearBottom && nearLeft) return HTBOTTOMLEFT;
  if (nearBottom && nearRight) return HTBOTTOMRIGHT;
  if (left) return HTLEFT;
  if (right) return HTRIGHT;
  if (top) return HTTOP;
  if (bottom) return HTBOTTOM;
  return HTCAPTION;
}
