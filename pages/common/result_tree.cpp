#include "result_tree.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "result_match.h"
#include "content/record_content.h"
#include "state.h"

ResultTreeNode* gResultTreeFull = nullptr;
ResultTreeNode* gResultTreeFiltered = nullptr;
ResultTreeNode* gResultTreeCurrent = nullptr;
ResultTreeNode* gResultTreeCursor = nullptr;
bool gResultFilterActive = false;

namespace {

void FreeTree(ResultTreeNode* root) {
  if (!root) return;
  // Iterative: a hostile volume can nest folders deeply.
  std::vector<ResultTreeNode*> stack{root};
  while (!stack.empty()) {
    ResultTreeNode* n = stack.back();
    stack.pop_back();
    for (ResultTreeNode* c = n->firstChild; c; c = c->nextSibling) stack.push_back(c);
    delete n->index;
    delete n;
  }
}

ResultTreeNode* NewRoot() { return new (std::nothrow) ResultTreeNode; }

bool IsFolder(const ResultTreeNode* n) { return n->recordIndex < 0; }

int CompareNames(const CString& a, const char* b, int lengthB) {
  return fw::GbkCompareNoCase(a.GetString(), a.GetLength(), b, lengthB);
}

// Position among the children where a component goes. Folders: the first
// folder not below the name (an equal one is reused). Files: after every
// folder and after every file not above the name.
size_t InsertPosition(const std::vector<ResultTreeNode*>& kids, const char* name, int length, bool folder,
                      bool* equalFolder) {
  *equalFolder = false;
  size_t folders = 0;
  {
    // Folders form a prefix of the list.
    size_t lo = 0, hi = kids.size();
    while (lo < hi) {
      size_t mid = (lo + hi) / 2;
      if (IsFolder(kids[mid])) lo = mid + 1;
      else hi = mid;
    }
    folders = lo;
  }
  if (folder) {
    size_t lo = 0, hi = folders;
    while (lo < hi) {
      size_t mid = (lo + hi) / 2;
      if (CompareNames(kids[mid]->name, name, length) < 0) lo = mid + 1;
      else hi = mid;
    }
    *equalFolder = lo < folders && CompareNames(kids[lo]->name, name, length) == 0;
    return lo;
  }
  size_t lo = folders, hi = kids.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (CompareNames(kids[mid]->name, name, length) <= 0) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

}  // namespace

bool ResetResultTree() {
  FreeTree(gResultTreeFull);
  if (gResultTreeCurrent == gResultTreeFull) gResultTreeCurrent = nullptr;
  gResultTreeFull = NewRoot();
  if (!gResultTreeFull) return false;
  gResultTreeCurrent = gResultTreeCursor = gResultTreeFull;
  return true;
}

bool ResetFilteredTree() {
  FreeTree(gResultTreeFiltered);
  if (gResultTreeCurrent == gResultTreeFiltered) gResultTreeCurrent = nullptr;
  gResultTreeFiltered = NewRoot();
  if (!gResultTreeFiltered) return false;
  gResultTreeCurrent = gResultTreeCursor = gResultTreeFiltered;
  return true;
}

bool UseFullResultTree() {
  if (!gResultTreeFull) return false;
  gResultTreeCurrent = gResultTreeCursor = gResultTreeFull;
  return true;
}

void FreeResultTrees() {
  FreeTree(gResultTreeFull);
  FreeTree(gResultTreeFiltered);
  gResultTreeFull = gResultTreeFiltered = gResultTreeCurrent = gResultTreeCursor = nullptr;
}

bool AddPathToTree(ResultTreeNode* level, const char* name, int32_t recordIndex, bool* isNew,
                   ResultTreeNode** previous) {
  *isNew = false;
  *previous = nullptr;
  if (!level) return false;
  const int length = static_cast<int>(std::strlen(name));
  const bool folder = recordIndex < 0;
  try {
    if (!level->index) {
      level->index = new std::vector<ResultTreeNode*>;
      for (ResultTreeNode* c = level->firstChild; c; c = c->nextSibling) level->index->push_back(c);
    }
    std::vector<ResultTreeNode*>& kids = *level->index;
    bool equalFolder = false;
    size_t pos = InsertPosition(kids, name, length, folder, &equalFolder);
    if (equalFolder) {
      gResultTreeCursor = kids[pos];
      *previous = pos == 0 ? nullptr : kids[pos - 1];
      return true;
    }
    // The only step that can throw, before anything changes.
    if (kids.size() == kids.capacity()) kids.reserve(kids.size() < 8 ? 8 : kids.size() * 2);
    auto* node = new ResultTreeNode;
    node->name = CString(name, length);
    node->recordIndex = recordIndex;
    if (pos == 0) {
      node->nextSibling = level->firstChild;
      level->firstChild = node;
    } else {
      node->nextSibling = kids[pos - 1]->nextSibling;
      kids[pos - 1]->nextSibling = node;
      *previous = kids[pos - 1];
    }
    kids.insert(kids.begin() + static_cast<std::ptrdiff_t>(pos), node);
    *isNew = true;
    gResultTreeCursor = node;
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool WalkRecordIntoTree(const char* path, int32_t recordIndex, ResultFillSink* sink, bool* listedFile) {
  if (listedFile) *listedFile = false;
  gResultTreeCursor = gResultTreeCurrent;
  if (!gResultTreeCurrent) return false;
  const int length = static_cast<int>(strnlen(path, sizeof(DeletedFileRecord::path)));
  char component[sizeof(DeletedFileRecord::path)];
  int gathered = 0;
  auto add = [&](int32_t index) -> bool {
    component[gathered] = 0;
    ResultTreeNode* parent = gResultTreeCursor;
    bool isNew = false;
    ResultTreeNode* previous = nullptr;
    if (!AddPathToTree(parent, component, index, &isNew, &previous)) {
      if (sink) sink->OutOfMemory();
      return false;
    }
    if (isNew && sink) sink->Insert(gResultTreeCursor, parent == gResultTreeCurrent ? nullptr : parent, previous, index);
    gathered = 0;
    return true;
  };
  for (int i = 0; i < length;) {
    // Whole characters: the second byte of a two-byte character may be 0x5C.
    int n = fw::GbkCharLength(path, length, i);
    if (n == 1 && path[i] == '\\') {
      // An empty component (a leading or doubled backslash) names no folder.
      if (gathered > 0 && !add(-1)) return false;
      ++i;
      continue;
    }
    std::memcpy(component + gathered, path + i, static_cast<size_t>(n));
    gathered += n;
    i += n;
  }
  if (!add(recordIndex)) return false;
  if (listedFile) *listedFile = true;
  return true;
}

namespace {

// The record as it stands, taken under the lock (the vector does not change
// while a result page lives; the lock only guards against a reallocation
// that a misbehaving caller could cause).
bool RecordAt(uint32_t index, DeletedFileRecord* out) {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  if (index >= gDeletedFiles.size()) return false;
  *out = gDeletedFiles[index];
  out->path[sizeof out->path - 1] = 0;
  return true;
}

}  // namespace

void SetRecordSelected(int32_t index, bool selected) {
  if (index < 0) return;
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  if (static_cast<size_t>(index) < gDeletedFiles.size()) gDeletedFiles[static_cast<size_t>(index)].selected = selected;
}

bool ResultsExist() { return DeletedFileCount() != 0; }

int RunResultFill(ResultFillJob& job) {
  const uint32_t count = static_cast<uint32_t>(DeletedFileCount());
  // The index files of a bin (its "$I" files, INFO2) are none of the user's.
  auto indexFile = [&](uint32_t i) { return job.recycleBin && IsRecycleIndexRecord(i); };
  auto halted = [&] { return job.abort.load() || job.stop.load(); };
  constexpr uint32_t kReportEvery = 4096;
  job.stopped = false;
  DeletedFileRecord r;
  if (gResultFilterActive) {
    job.filteredFileCount = 0;
    uint32_t i = 0;
    for (; i < count && !halted(); ++i) {
      if (i % kReportEvery == 0) job.sink->RowsListed(job.filteredFileCount, i, count);
      if (!RecordAt(i, &r)) break;
      if (indexFile(i)) continue;
      if (!RecordPassesFilters(job.conditions, r)) {
        SetRecordSelected(static_cast<int32_t>(i), false);
        continue;
      }
      bool listed = false;
      if (!WalkRecordIntoTree(r.path, static_cast<int32_t>(i), job.sink, &listed)) break;
      if (listed) ++job.filteredFileCount;
    }
    job.stopped = i < count && job.stop.load() && !job.abort.load();
    job.sink->FillDone();
    return 0;
  }

  if (job.recycleBin) {
    BinNameProgress control;
    control.stop = &job.stop;
    control.progress = [&](uint32_t done, uint32_t total) { job.sink->NamesResolved(done, total); };
    ResolveRecycleBinNames(&control);
  }
  job.listedFileCount = 0;
  uint32_t i = 0;
  for (; i < count && !halted(); ++i) {
    if (i % kReportEvery == 0) job.sink->RowsListed(job.listedFileCount, i, count);
    if (!RecordAt(i, &r)) break;
    if (indexFile(i)) continue;
    bool listed = false;
    if (!WalkRecordIntoTree(r.path, static_cast<int32_t>(i), job.sink, &listed)) break;
    if (listed) ++job.listedFileCount;
  }
  job.stopped = i < count && job.stop.load() && !job.abort.load();
  job.sink->FillDone();
  // A stopped list is shown as it stands: it is no sign that nothing was found.
  if (job.abort.load() || job.stopped) return 0;
  if (!gResultTreeCurrent || !gResultTreeCurrent->firstChild) {
    job.sink->NothingListed();
    return 0;
  }
  // The hint appears a moment after the busy box has gone; a page that is
  // leaving does not wait for it.
  for (uint32_t waited = 0; waited < job.hintDelayMs && !job.abort.load(); waited += 50) Sleep(50);
  if (!job.abort.load()) job.sink->ResultsListed();
  return 0;
}
