#include "result_tree.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "result_match.h"
#include "content/record_content.h"
#include "state.h"

namespace {

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

// The key under which a child folder of a tree in record order is found: its
// parent and its name with ASCII letters folded (two-byte characters kept as
// they are). Files are not looked up: every record gets its own row.
std::string ChildKey(const ResultTreeNode* parent, const CString& name) {
  CString folded(name);
  folded.MakeLower();
  std::string key(reinterpret_cast<const char*>(&parent), sizeof parent);
  key += folded.str();
  return key;
}

}  // namespace

CResultTree::CResultTree() { Clear(); }

void CResultTree::Clear() {
  // The root stays where it is: emptying never allocates.
  if (nodes_.empty()) nodes_.emplace_back();
  nodes_.erase(nodes_.begin() + 1, nodes_.end());
  ResultTreeNode& root = nodes_.front();
  root.firstChild = nullptr;
  root.index.reset();
  root.treeItem = TVI_ROOT;
  lastChild_.clear();
  byName_.clear();
  files_ = 0;
}

bool CResultTree::AddComponent(ResultTreeNode* level, const char* name, int length, int32_t recordIndex,
                               ResultTreeNode** node, bool* isNew, ResultTreeNode** previous) {
  *node = nullptr;
  *isNew = false;
  *previous = nullptr;
  if (!level) return false;
  const bool folder = recordIndex < 0;
  try {
    if (!level->index) {
      level->index.reset(new std::vector<ResultTreeNode*>);
      for (ResultTreeNode* c = level->firstChild; c; c = c->nextSibling) level->index->push_back(c);
    }
    std::vector<ResultTreeNode*>& kids = *level->index;
    bool equalFolder = false;
    size_t pos = InsertPosition(kids, name, length, folder, &equalFolder);
    if (equalFolder) {
      *node = kids[pos];
      *previous = pos == 0 ? nullptr : kids[pos - 1];
      return true;
    }
    // The only steps that can throw, before anything is linked.
    if (kids.size() == kids.capacity()) kids.reserve(kids.size() < 8 ? 8 : kids.size() * 2);
    CString text(name, length);
    nodes_.emplace_back();
    ResultTreeNode* made = &nodes_.back();
    made->name = std::move(text);
    made->recordIndex = recordIndex;
    made->parent = level;
    if (pos == 0) {
      made->nextSibling = level->firstChild;
      level->firstChild = made;
    } else {
      made->nextSibling = kids[pos - 1]->nextSibling;
      kids[pos - 1]->nextSibling = made;
      *previous = kids[pos - 1];
    }
    kids.insert(kids.begin() + static_cast<std::ptrdiff_t>(pos), made);
    if (!folder) ++files_;
    *node = made;
    *isNew = true;
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CResultTree::AddInNameOrder(const char* path, int length, int32_t recordIndex, ResultRowSink* sink) {
  ResultTreeNode* const root = Root();
  ResultTreeNode* cursor = root;
  if (length < 0) return false;
  try {
    if (component_.size() <= static_cast<size_t>(length)) component_.resize(static_cast<size_t>(length) + 1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  char* const component = &component_[0];
  int gathered = 0;
  auto add = [&](int32_t index) -> bool {
    component[gathered] = 0;
    ResultTreeNode* parent = cursor;
    bool isNew = false;
    ResultTreeNode* previous = nullptr;
    if (!AddComponent(parent, component, gathered, index, &cursor, &isNew, &previous)) return false;
    if (isNew && sink) sink->Insert(cursor, parent == root ? nullptr : parent, previous, index);
    gathered = 0;
    return true;
  };
  for (int i = 0; i < length;) {
    // Whole characters: the second byte of a two-byte character may be 0x5C.
    int n = fw::GbkCharLength(path, length, i);
    if (n == 1 && path[i] == '\\') {
      if (gathered > 0 && !add(-1)) return false;
      ++i;
      continue;
    }
    std::memcpy(component + gathered, path + i, static_cast<size_t>(n));
    gathered += n;
    i += n;
  }
  return add(recordIndex);
}

ResultTreeNode* CResultTree::FolderOrFile(ResultTreeNode* parent, const CString& name, uint8_t source,
                                          int32_t recordIndex, bool file) {
  std::string key;
  if (!file) {
    key = ChildKey(parent, name);
    auto found = byName_.find(key);
    if (found != byName_.end()) return found->second;
  }
  ResultTreeNode* made = AppendChild(parent, name);
  if (file) {
    made->recordIndex = recordIndex;
    made->source = source;
  }
  if (!file) byName_.emplace(key, made);
  return made;
}

ResultTreeNode* CResultTree::AppendChild(ResultTreeNode* parent, const CString& name) {
  nodes_.emplace_back();
  ResultTreeNode* made = &nodes_.back();
  made->name = name;
  made->parent = parent;
  // New children go at the end of their level.
  ResultTreeNode*& last = lastChild_[parent];
  if (last)
    last->nextSibling = made;
  else
    parent->firstChild = made;
  last = made;
  return made;
}

ResultTreeNode* CResultTree::AddByType(const CString& type, const CString& name, int32_t recordIndex,
                                       bool* folderIsNew) {
  if (folderIsNew) *folderIsNew = false;
  std::string key(type.GetString(), static_cast<size_t>(type.GetLength()));
  ResultTreeNode* folder = nullptr;
  auto found = byName_.find(key);
  if (found != byName_.end()) {
    folder = found->second;
  } else {
    folder = AppendChild(Root(), type);
    byName_.emplace(std::move(key), folder);
    if (folderIsNew) *folderIsNew = true;
  }
  ResultTreeNode* file = AppendChild(folder, name);
  file->recordIndex = recordIndex;
  ++files_;
  return file;
}

ResultTreeNode* CResultTree::AddInRecordOrder(const char* path, uint8_t source, int32_t recordIndex) {
  const CString text(path ? path : "");
  ResultTreeNode* current = Root();
  int start = 0;
  for (;;) {
    const int slash = text.Find('\\', start);   // never a trail byte
    if (slash < 0) break;
    if (slash > start) current = FolderOrFile(current, text.Mid(start, slash - start), source, -1, false);
    start = slash + 1;
  }
  if (start >= text.GetLength()) return nullptr;
  ResultTreeNode* file = FolderOrFile(current, text.Mid(start), source, recordIndex, true);
  ++files_;
  return file;
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

// Walks one record's path into the job's tree. False when a node could not
// be allocated (the sink is told).
bool WalkRecord(ResultFillJob& job, const DeletedFileRecord& r, int32_t index) {
  if (!job.tree) return false;
  const int length = static_cast<int>(strnlen(r.path, sizeof r.path));
  if (job.tree->AddInNameOrder(r.path, length, index, job.sink)) return true;
  if (job.sink) job.sink->OutOfMemory();
  return false;
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
  if (job.filtered) {
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
      if (!WalkRecord(job, r, static_cast<int32_t>(i))) break;
      ++job.filteredFileCount;
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
    if (!WalkRecord(job, r, static_cast<int32_t>(i))) break;
    ++job.listedFileCount;
  }
  job.stopped = i < count && job.stop.load() && !job.abort.load();
  job.sink->FillDone();
  // A stopped list is shown as it stands: it is no sign that nothing was found.
  if (job.abort.load() || job.stopped) return 0;
  if (!job.tree || job.tree->Empty()) {
    job.sink->NothingListed();
    return 0;
  }
  // The hint appears a moment after the busy box has gone; a page that is
  // leaving does not wait for it.
  for (uint32_t waited = 0; waited < job.hintDelayMs && !job.abort.load(); waited += 50) Sleep(50);
  if (!job.abort.load()) job.sink->ResultsListed();
  return 0;
}
