#include "result_match.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "filetype_filter.h"
#include "fw_dialog.h"
#include "fw_string.h"

namespace {

// A text as characters: one unit per character, a two-byte character as
// (lead << 8 | trail). ASCII letters upper-cased.
using Units = std::u16string;

Units ToUnits(const char* text, size_t length) {
  Units out;
  out.reserve(length);
  const int n = static_cast<int>(length);
  for (int i = 0; i < n;) {
    int k = fw::GbkCharLength(text, n, i);
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (k == 2) {
      out.push_back(static_cast<char16_t>(c << 8 | static_cast<unsigned char>(text[i + 1])));
    } else {
      out.push_back(static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 32 : c));
    }
    i += k;
  }
  return out;
}

const char16_t kStar = u'*';
const char16_t kAny = u'?';
const char16_t kDot = u'.';

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

Units Trimmed(const Units& u) {
  size_t a = 0, b = u.size();
  while (a < b && IsBlank(u[a])) ++a;
  while (b > a && IsBlank(u[b - 1])) --b;
  return u.substr(a, b - a);
}

bool Has(const Units& u, char16_t c) { return u.find(c) != Units::npos; }

// The pattern laid on the text from `at`: each character equal or '?';
// beyond the end of the text only '?' fits.
bool LayOn(const Units& text, size_t at, const Units& pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (at + i >= text.size()) {
      if (pattern[i] != kAny) return false;
      continue;
    }
    if (pattern[i] != kAny && pattern[i] != text[at + i]) return false;
  }
  return true;
}

// The pattern from `pfrom` laid on the text at some start in [from, end of
// text): '?' is any one character, a '*' at the pattern's end matches
// whatever follows, and a '*' inside it skips a run that leaves at least one
// character of the text after it; reaching the pattern's end matches
// (the rest of the text is not looked at); an empty text never matches.
//
// Every pattern position that can be reached at a text position is carried
// forward together, so the work grows with text x pattern, not with the
// number of ways the '*'s can split the text (a name with six '*' took
// seconds the other way).
bool Wildcard(const Units& text, size_t from, const Units& pattern, size_t pfrom) {
  const size_t n = text.size(), m = pattern.size();
  if (from >= n) return false;
  if (pfrom >= m) return true;
  // live[i]: P[i..] is still to be laid on the text from the current position.
  std::vector<char> live(m + 1, 0), next(m + 1, 0);
  for (size_t j = from; j <= n; ++j) {
    if (j < n) live[pfrom] = 1;   // every start before the text's end
    for (size_t i = pfrom; i <= m; ++i) {
      if (!live[i]) continue;
      if (i == m) return true;
      if (pattern[i] != kStar) continue;
      if (i + 1 == m) return true;
      // A '*' inside the pattern: the rest may begin here, as long as some
      // text is left; at the text's end the '*' has nothing more to give.
      if (j < n)
        live[i + 1] = 1;
      else
        live[i] = 0;
    }
    if (j == n) break;
    std::fill(next.begin(), next.end(), 0);
    for (size_t i = pfrom; i < m; ++i) {
      if (!live[i]) continue;
      if (pattern[i] == kStar)
        next[i] = 1;   // the '*' swallows this character too
      else if (pattern[i] == kAny || pattern[i] == text[j])
        next[i + 1] = 1;
    }
    live.swap(next);
  }
  return false;
}

bool WholeNameTest(const Units& name, Units pattern) {
  while (!pattern.empty() && pattern.back() == kStar) pattern.pop_back();
  if (pattern.empty()) return true;
  const size_t star = pattern.find(kStar);
  if (star == Units::npos) {
    if (!Has(pattern, kAny)) return name.find(pattern) != Units::npos;
    if (!LayOn(name, 0, pattern)) return false;
    return name.size() <= pattern.size() || !Has(pattern, kDot);
  }
  Units head = pattern.substr(0, star);
  if (!LayOn(name, 0, head)) return false;
  return Wildcard(name, head.size(), pattern, star);
}

bool ExtensionTest(const Units& name, const Units& pattern) {
  const size_t nd = name.rfind(kDot);
  if (nd == Units::npos) return false;
  const Units n = name.substr(nd + 1);
  Units p = pattern.substr(pattern.rfind(kDot) + 1);
  if (!p.empty() && p.front() == kStar) {
    size_t a = 0;
    while (a < p.size() && p[a] == kStar) ++a;
    if (a == p.size()) return true;
    if (p.back() == kStar) {
      size_t b = p.size();
      while (b > a && p[b - 1] == kStar) --b;
      return Wildcard(n, 0, p.substr(a, b - a), 0);
    }
    Units rest = p.substr(a);
    if (rest.size() > name.size()) return false;
    return LayOn(name, name.size() - rest.size(), rest);
  }
  if (!p.empty() && p.back() == kStar) {
    while (!p.empty() && p.back() == kStar) p.pop_back();
    if (p.size() > n.size()) return false;
    return LayOn(n, 0, p);
  }
  if (p.size() < n.size()) return false;
  return LayOn(n, 0, p);
}

bool NameMatches(const Units& name, const Units& rawPattern) {
  const Units pattern = Trimmed(rawPattern);
  if (pattern.empty() || pattern == u"*.*") return true;
  const size_t dot = pattern.find(kDot, 1);
  if (dot != Units::npos && dot + 1 < pattern.size() && pattern.rfind(kDot) + 1 < pattern.size()) {
    if (!ExtensionTest(name, pattern)) return false;
  }
  return WholeNameTest(name, pattern);
}

}  // namespace

bool MatchNamePattern(const char* name, const char* pattern) {
  // The name as it would stand in a 512-byte buffer.
  size_t nl = strnlen(name, 511);
  return NameMatches(ToUnits(name, fw::GbkPrefixLength(name, static_cast<int>(nl), 511)),
                     ToUnits(pattern, std::strlen(pattern)));
}

bool MatchWildcard(const char* text, const char* pattern) {
  return Wildcard(ToUnits(text, std::strlen(text)), 0, ToUnits(pattern, std::strlen(pattern)), 0);
}

bool MatchPathPattern(const char* path, const char* pattern) {
  const Units p = ToUnits(pattern, std::strlen(pattern));
  if (Trimmed(p).empty()) return true;
  const Units whole = ToUnits(path, strnlen(path, sizeof(DeletedFileRecord::path)));
  size_t start = !whole.empty() && whole[0] == u'\\' ? 1 : 0;
  while (start <= whole.size()) {
    size_t end = whole.find(u'\\', start);
    if (end == Units::npos) end = whole.size();
    // Components are at most 259 characters.
    Units component = whole.substr(start, std::min<size_t>(end - start, 259));
    if (!component.empty() && NameMatches(component, p)) return true;
    start = end + 1;
  }
  return false;
}

// ---- conditions of the page's CFileTypeFilter ---------------------------------

bool MatchDateRange(const CFileTypeFilter& conditions, const DeletedFileRecord& record) {
  const SYSTEMTIME* time = nullptr;
  switch (conditions.m_dateMode) {
    case CFileTypeFilter::kDateCreated: time = &record.created; break;
    case CFileTypeFilter::kDateModified: time = &record.modified; break;
    case CFileTypeFilter::kDateAccessed: time = &record.accessed; break;
    default: return true;   // no date condition, or a mode this program does not know
  }
  // A bound that does not convert counts as day 0.
  auto boundKey = [](__time64_t t) -> uint32_t {
    SYSTEMTIME local = {};
    return fw::Time64ToLocalSystemTime(t, &local) ? DateKey(local) : 0;
  };
  const uint32_t key = DateKey(*time);
  return boundKey(conditions.m_dateFrom) <= key && key <= boundKey(conditions.m_dateTo);
}

bool MatchFileCategory(const CFileTypeFilter& conditions, const char* path) {
  bool anyEnabled = false;
  const size_t pathLength = strnlen(path, sizeof(DeletedFileRecord::path));
  for (int t = 0; t < CFileTypeFilter::kCategoryCount; ++t) {
    const CExtensionTable& table = conditions.Table(static_cast<CFileTypeFilter::Category>(t));
    if (!table.GetEnabled()) continue;
    anyEnabled = true;
    for (int i = 0; i < table.Count(); ++i) {
      const char* ext = table.Row(i);
      const size_t n = std::strlen(ext);
      if (n == 0 || n > pathLength) continue;
      if (fw::GbkCompareNoCase(path + pathLength - n, static_cast<int>(n), ext, static_cast<int>(n)) == 0)
        return true;
    }
  }
  return !anyEnabled;
}

bool MatchSizeRange(const CFileTypeFilter& conditions, const DeletedFileRecord& record) {
  if (!conditions.m_sizeEnabled) return true;
  if (record.sizeHigh != 0) return conditions.m_sizeTo == 0xFFFFFFFFu;
  return conditions.m_sizeFrom <= record.size && record.size <= conditions.m_sizeTo;
}

bool RecordPassesFilters(const CFileTypeFilter* conditions, const DeletedFileRecord& record) {
  if (!conditions) return true;
  return MatchPathPattern(record.path, conditions->m_namePart) && MatchDateRange(*conditions, record) &&
         MatchFileCategory(*conditions, record.path) && MatchSizeRange(*conditions, record);
}

namespace {

// Midnight (or the last second) of a local calendar day, as the date pickers
// would give it.
__time64_t LocalDayBound(SYSTEMTIME day, bool endOfDay) {
  day.wHour = endOfDay ? 23 : 0;
  day.wMinute = endOfDay ? 59 : 0;
  day.wSecond = endOfDay ? 59 : 0;
  day.wMilliseconds = 0;
  __time64_t t = 0;
  fw::LocalSystemTimeToTime64(day, &t);
  return t;
}

// The day `days` days before a local date, by the calendar (leap years too).
SYSTEMTIME DaysBefore(SYSTEMTIME day, int days) {
  day.wHour = 12;   // noon: no daylight-saving step can move the date
  day.wMinute = day.wSecond = day.wMilliseconds = 0;
  FILETIME ft;
  if (!SystemTimeToFileTime(&day, &ft)) return day;
  ULARGE_INTEGER v;
  v.LowPart = ft.dwLowDateTime;
  v.HighPart = ft.dwHighDateTime;
  v.QuadPart -= static_cast<ULONGLONG>(days) * 24 * 3600 * 10000000ull;
  ft.dwLowDateTime = v.LowPart;
  ft.dwHighDateTime = v.HighPart;
  SYSTEMTIME out = day;
  FileTimeToSystemTime(&ft, &out);
  return out;
}

}  // namespace

bool SetFilterConditions(const ResultFilterChoice& choice, const SYSTEMTIME& today, CFileTypeFilter* c) {
  bool any = false;
  // Name pattern.
  const char* pattern = choice.pattern ? choice.pattern : "";
  std::strncpy(c->m_namePart, pattern, sizeof c->m_namePart - 1);
  c->m_namePart[sizeof c->m_namePart - 1] = 0;
  if (c->m_namePart[0]) any = true;

  // Kinds.
  for (int t = 0; t < CFileTypeFilter::kCategoryCount; ++t)
    c->SetEnabled(static_cast<CFileTypeFilter::Category>(t), 0);
  switch (choice.kind) {
    case 1:
      c->SetEnabled(CFileTypeFilter::kOffice, 1);
      c->SetEnabled(CFileTypeFilter::kZrtOffice, 1);
      break;
    case 2: c->SetEnabled(CFileTypeFilter::kPictures, 1); break;
    case 3:
      c->SetEnabled(CFileTypeFilter::kAudio, 1);
      c->SetEnabled(CFileTypeFilter::kVideo, 1);
      break;
    case 4: c->SetEnabled(CFileTypeFilter::kWebPages, 1); break;
    default: break;
  }
  if (choice.kind >= 1 && choice.kind <= 4) any = true;

  // Dates: the last-modified day between the first day of the range and today.
  c->SetDateMode(CFileTypeFilter::kDateNone);
  if (choice.date >= 1 && choice.date <= 4) {
    SYSTEMTIME from = today;
    if (choice.date == 2) from = DaysBefore(today, 6);
    if (choice.date == 3) from.wDay = 1;
    if (choice.date == 4) from.wDay = from.wMonth = 1;
    c->SetDateMode(CFileTypeFilter::kDateModified);
    c->m_dateFrom = LocalDayBound(from, false);
    c->m_dateTo = LocalDayBound(today, true);
    any = true;
  }

  // Sizes, bytes inclusive (so a file of exactly 100 KB is in two classes).
  static const uint32_t kBounds[5][2] = {
      {0, 0}, {0, 102400}, {102400, 1048576}, {1048576, 16777216}, {16777216, 0xFFFFFFFFu}};
  c->m_sizeEnabled = 0;
  if (choice.size >= 1 && choice.size <= 4) {
    c->m_sizeFrom = kBounds[choice.size][0];
    c->m_sizeTo = kBounds[choice.size][1];
    c->m_sizeEnabled = 1;
    any = true;
  }
  return any;
}
