// Check-box states of tree rows and how a tick spreads through a tree.
//
// Two trees use check boxes with different numbering:
//   result tree-list:  0 none, 1 unchecked, 2 partly, 3 checked, 4 fixed
//   folder browse tree: 0 none, 1 unchecked, 2 checked, 3 partly
// The walks are written once, over any tree that offers
//   using Item = ...;             (Item{} is "no item")
//   Item Parent(Item), FirstChild(Item), Next(Item), Prev(Item);
//   Item FirstRoot();
//   int  Check(Item);  void SetCheck(Item, int);
// The window classes adapt HTREEITEM to this; the tests use a plain vector.
#pragma once

namespace controls {

// ---- result tree-list (states 0..4) ----------------------------------------

enum TreeListCheck { kCheckNone = 0, kUnchecked = 1, kPartly = 2, kChecked = 3, kFixed = 4 };

// True for the states a user may toggle and a parent may push down.
inline bool IsToggleableCheck(int state) { return state >= kUnchecked && state <= kChecked; }

// What a click or the space bar makes of a row: checked becomes unchecked,
// unchecked and partly become checked; other states stay.
inline int ToggledCheck(int state) {
  if (state == kChecked) return kUnchecked;
  if (state == kUnchecked || state == kPartly) return kChecked;
  return state;
}

// Calls fn(item) for every descendant of item, depth first, parents first.
template <class Tree, class Fn>
void ForEachDescendant(Tree& t, typename Tree::Item item, Fn fn) {
  using Item = typename Tree::Item;
  // Iterative: result trees can be deep enough (long paths) to make
  // recursion a risk on a 1 MB thread stack.
  Item cur = t.FirstChild(item);
  while (cur != Item{}) {
    fn(cur);
    Item down = t.FirstChild(cur);
    if (down != Item{}) {
      cur = down;
      continue;
    }
    while (cur != Item{} && cur != item) {
      Item next = t.Next(cur);
      if (next != Item{}) {
        cur = next;
        break;
      }
      cur = t.Parent(cur);
    }
    if (cur == item) break;
  }
}

// After item was given state v (1..3): pushes v down to every descendant that
// has a toggleable box, then recomputes the ancestors. Descendants with no box
// (0) or a fixed box (4) keep theirs, and do not count when a parent's state is
// computed. "Partly" is never pushed down: it describes a folder's children,
// not something a child can be.
template <class Tree>
void PropagateTreeListCheck(Tree& t, typename Tree::Item item, int v) {
  using Item = typename Tree::Item;
  if (!IsToggleableCheck(v) || item == Item{}) return;
  if (v != kPartly) {
    ForEachDescendant(t, item, [&](Item d) {
      if (IsToggleableCheck(t.Check(d))) t.SetCheck(d, v);
    });
  }
  Item child = item;
  for (Item up = t.Parent(child); up != Item{}; child = up, up = t.Parent(up)) {
    if (v == kPartly) {
      if (t.Check(up) == kPartly) return;  // everything above already says so
      t.SetCheck(up, kPartly);
      continue;
    }
    bool differs = false;
    for (Item s = t.Next(child); s != Item{} && !differs; s = t.Next(s)) {
      int c = t.Check(s);
      differs = c != kCheckNone && c != kFixed && c != v;
    }
    for (Item s = t.Prev(child); s != Item{} && !differs; s = t.Prev(s)) {
      int c = t.Check(s);
      differs = c != kCheckNone && c != kFixed && c != v;
    }
    if (differs) v = kPartly;
    t.SetCheck(up, v);
  }
}

// Sets item's state and, for 1..3, spreads it.
template <class Tree>
void SetTreeListCheck(Tree& t, typename Tree::Item item, int v) {
  t.SetCheck(item, v);
  PropagateTreeListCheck(t, item, v);
}

// Every top-level row with a toggleable box gets checked (or unchecked),
// with its subtree.
template <class Tree>
void CheckAllTopLevel(Tree& t, bool check) {
  using Item = typename Tree::Item;
  for (Item r = t.FirstRoot(); r != Item{}; r = t.Next(r))
    if (t.Check(r) != kCheckNone && t.Check(r) != kFixed)
      SetTreeListCheck(t, r, check ? kChecked : kUnchecked);
}

// The row after `start` in display order (parents before children; from the
// first root when start is none) whose state is `state` and, when asked,
// that has children. Item{} at the end.
template <class Tree>
typename Tree::Item FindNextItemWithCheck(Tree& t, typename Tree::Item start,
                                          bool withChildrenOnly, int state) {
  using Item = typename Tree::Item;
  auto nextInOrder = [&](Item cur) -> Item {
    Item down = t.FirstChild(cur);
    if (down != Item{}) return down;
    while (cur != Item{}) {
      Item next = t.Next(cur);
      if (next != Item{}) return next;
      cur = t.Parent(cur);
    }
    return Item{};
  };
  Item cur = start == Item{} ? t.FirstRoot() : nextInOrder(start);
  for (; cur != Item{}; cur = nextInOrder(cur))
    if (t.Check(cur) == state && (!withChildrenOnly || t.FirstChild(cur) != Item{}))
      return cur;
  return Item{};
}

// ---- folder browse tree (0 none, 1 unchecked, 2 checked, 3 partly) ---------

enum BrowseCheck { kBrowseNone = 0, kBrowseOff = 1, kBrowseOn = 2, kBrowsePartly = 3 };

// A click or space: checked becomes unchecked, anything else checked.
inline int ToggledBrowseCheck(int state) { return state == kBrowseOn ? kBrowseOff : kBrowseOn; }

// Gives item and its subtree the image, then recomputes the ancestors. Rows
// without a box (0) keep having none; a child without a box stops the upward
// pass, and an ancestor without a box is passed over.
template <class Tree>
void SetBrowseCheck(Tree& t, typename Tree::Item item, int image) {
  using Item = typename Tree::Item;
  if (item == Item{}) return;
  t.SetCheck(item, image);
  ForEachDescendant(t, item, [&](Item d) {
    if (t.Check(d) != kBrowseNone) t.SetCheck(d, image);
  });
  for (Item up = t.Parent(item); up != Item{}; up = t.Parent(up)) {
    if (image != kBrowsePartly) {
      for (Item c = t.FirstChild(up); c != Item{}; c = t.Next(c)) {
        int s = t.Check(c);
        if (s == kBrowseNone) return;
        if (s != image) {
          image = kBrowsePartly;
          break;
        }
      }
    }
    if (t.Check(up) != kBrowseNone) t.SetCheck(up, image);
  }
}

// One place is chosen in the browse tree, the one ticked: ticking an item
// first takes every tick of the tree away (items without a box stay so),
// then ticks it with everything below it. FirstRoot() gives the first
// top-level item.
template <class Tree>
void SetOnlyBrowseCheck(Tree& t, typename Tree::Item item) {
  using Item = typename Tree::Item;
  if (item == Item{}) return;
  for (Item root = t.FirstRoot(); root != Item{}; root = t.Next(root)) {
    if (t.Check(root) != kBrowseNone) t.SetCheck(root, kBrowseOff);
    ForEachDescendant(t, root, [&](Item d) {
      if (t.Check(d) != kBrowseNone) t.SetCheck(d, kBrowseOff);
    });
  }
  SetBrowseCheck(t, item, kBrowseOn);
}

}  // namespace controls
