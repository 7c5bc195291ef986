// Check propagation of the result tree-list and of the folder browse tree,
// over a plain tree (no window): the states a page reads back are these.
#include <gtest/gtest.h>

#include <vector>

#include "checktree.h"

using namespace controls;

namespace {

// Items are 1-based indices; 0 is "no item".
struct PlainTree {
  using Item = int;
  struct Node {
    int parent = 0, first = 0, next = 0, prev = 0, state = 1;
  };
  std::vector<Node> n{Node{}};
  int firstRoot = 0;

  int Add(int parent, int state) {
    n.push_back(Node{});
    int id = static_cast<int>(n.size()) - 1;
    n[id].parent = parent;
    n[id].state = state;
    int* link = parent ? &n[parent].first : &firstRoot;
    int last = 0;
    while (*link) {
      last = *link;
      link = &n[*link].next;
    }
    *link = id;
    n[id].prev = last;
    return id;
  }
  int Parent(int i) { return n[i].parent; }
  int FirstChild(int i) { return n[i].first; }
  int Next(int i) { return n[i].next; }
  int Prev(int i) { return n[i].prev; }
  int FirstRoot() { return firstRoot; }
  int Check(int i) { return n[i].state; }
  void SetCheck(int i, int s) { n[i].state = s; }
};

}  // namespace

TEST(TreeListCheck, ToggleCyclesBetweenCheckedAndUnchecked) {
  EXPECT_EQ(ToggledCheck(kChecked), kUnchecked);
  EXPECT_EQ(ToggledCheck(kUnchecked), kChecked);
  EXPECT_EQ(ToggledCheck(kPartly), kChecked);
  EXPECT_EQ(ToggledCheck(kFixed), kFixed);
  EXPECT_EQ(ToggledCheck(kCheckNone), kCheckNone);
}

TEST(TreeListCheck, CheckingPartlyFolderChecksSubtreeAndAncestors) {
  PlainTree t;
  int root = t.Add(0, kPartly);
  int dir = t.Add(root, kPartly);
  int a = t.Add(dir, kChecked);
  int b = t.Add(dir, kUnchecked);
  int sub = t.Add(dir, kUnchecked);
  int c = t.Add(sub, kUnchecked);
  int other = t.Add(root, kChecked);

  SetTreeListCheck(t, dir, ToggledCheck(t.Check(dir)));
  for (int i : {dir, a, b, sub, c}) EXPECT_EQ(t.Check(i), kChecked) << i;
  EXPECT_EQ(t.Check(root), kChecked);  // the only sibling agrees
  EXPECT_EQ(t.Check(other), kChecked);

  SetTreeListCheck(t, c, kUnchecked);
  EXPECT_EQ(t.Check(sub), kUnchecked);  // c is its only child
  EXPECT_EQ(t.Check(dir), kPartly);     // a and b are still checked
  EXPECT_EQ(t.Check(root), kPartly);    // partly goes all the way up
}

TEST(TreeListCheck, FixedAndNoBoxRowsKeepTheirStateAndDoNotCount) {
  PlainTree t;
  int root = t.Add(0, kUnchecked);
  int fixed = t.Add(root, kFixed);
  int none = t.Add(root, kCheckNone);
  int underFixed = t.Add(fixed, kUnchecked);
  int file = t.Add(root, kUnchecked);

  SetTreeListCheck(t, root, kChecked);
  EXPECT_EQ(t.Check(fixed), kFixed);
  EXPECT_EQ(t.Check(none), kCheckNone);
  EXPECT_EQ(t.Check(underFixed), kChecked);  // still part of the subtree
  EXPECT_EQ(t.Check(file), kChecked);

  // Siblings 4 and 0 are ignored: the parent follows the one real sibling.
  SetTreeListCheck(t, file, kUnchecked);
  EXPECT_EQ(t.Check(root), kUnchecked);
}

TEST(TreeListCheck, AncestorTakesComputedStateWhateverItHad) {
  PlainTree t;
  int top = t.Add(0, kFixed);
  int mid = t.Add(top, kCheckNone);
  int leaf = t.Add(mid, kUnchecked);
  SetTreeListCheck(t, leaf, kChecked);
  EXPECT_EQ(t.Check(mid), kChecked);
  EXPECT_EQ(t.Check(top), kChecked);
}

TEST(TreeListCheck, SiblingsBeforeAndAfterAreBothExamined) {
  PlainTree t;
  int root = t.Add(0, kUnchecked);
  int first = t.Add(root, kChecked);
  int mid = t.Add(root, kUnchecked);
  int last = t.Add(root, kUnchecked);
  SetTreeListCheck(t, last, kChecked);
  EXPECT_EQ(t.Check(root), kPartly);  // mid differs (after `first`, before `last`)
  SetTreeListCheck(t, mid, kChecked);
  EXPECT_EQ(t.Check(root), kChecked);
  (void)first;
}

TEST(TreeListCheck, PartlyIsNotPushedDownAndStopsAtPartlyAncestor) {
  PlainTree t;
  int top = t.Add(0, kChecked);
  int dir = t.Add(top, kPartly);
  int leaf = t.Add(dir, kChecked);
  int x = t.Add(leaf, kUnchecked);
  SetTreeListCheck(t, leaf, kPartly);
  EXPECT_EQ(t.Check(x), kUnchecked);
  EXPECT_EQ(t.Check(dir), kPartly);
  EXPECT_EQ(t.Check(top), kChecked);  // the walk stopped at dir, already partly
}

TEST(TreeListCheck, NoPropagationForNoBoxOrFixed) {
  PlainTree t;
  int root = t.Add(0, kUnchecked);
  int leaf = t.Add(root, kUnchecked);
  SetTreeListCheck(t, leaf, kFixed);
  EXPECT_EQ(t.Check(root), kUnchecked);
}

TEST(TreeListCheck, CheckAllTopLevelSkipsRowsWithoutToggleableBox) {
  PlainTree t;
  int a = t.Add(0, kUnchecked);
  int a1 = t.Add(a, kUnchecked);
  int b = t.Add(0, kFixed);
  int c = t.Add(0, kCheckNone);
  int d = t.Add(0, kPartly);
  int d1 = t.Add(d, kChecked);
  int d2 = t.Add(d, kUnchecked);
  CheckAllTopLevel(t, true);
  EXPECT_EQ(t.Check(a), kChecked);
  EXPECT_EQ(t.Check(a1), kChecked);
  EXPECT_EQ(t.Check(b), kFixed);
  EXPECT_EQ(t.Check(c), kCheckNone);
  EXPECT_EQ(t.Check(d), kChecked);
  EXPECT_EQ(t.Check(d1), kChecked);
  EXPECT_EQ(t.Check(d2), kChecked);
  CheckAllTopLevel(t, false);
  EXPECT_EQ(t.Check(d2), kUnchecked);
  EXPECT_EQ(t.Check(a1), kUnchecked);
}

TEST(TreeListCheck, FindNextItemWithStateWalksDisplayOrder) {
  PlainTree t;
  int a = t.Add(0, kChecked);
  int a1 = t.Add(a, kChecked);
  int a11 = t.Add(a1, kChecked);
  int b = t.Add(0, kUnchecked);
  int b1 = t.Add(b, kChecked);
  EXPECT_EQ(FindNextItemWithCheck(t, 0, false, kChecked), a);
  EXPECT_EQ(FindNextItemWithCheck(t, a, false, kChecked), a1);
  EXPECT_EQ(FindNextItemWithCheck(t, a1, false, kChecked), a11);
  EXPECT_EQ(FindNextItemWithCheck(t, a11, false, kChecked), b1);
  EXPECT_EQ(FindNextItemWithCheck(t, b1, false, kChecked), 0);
  EXPECT_EQ(FindNextItemWithCheck(t, a1, true, kChecked), 0);  // a11 has no children
  EXPECT_EQ(FindNextItemWithCheck(t, 0, true, kUnchecked), b);
}

TEST(TreeListCheck, DeepTreeDoesNotExhaustTheStack) {
  PlainTree t;
  int top = t.Add(0, kUnchecked);
  int cur = top;
  for (int i = 0; i < 200000; ++i) cur = t.Add(cur, kUnchecked);
  SetTreeListCheck(t, top, kChecked);
  EXPECT_EQ(t.Check(cur), kChecked);
  SetTreeListCheck(t, cur, kUnchecked);
  EXPECT_EQ(t.Check(top), kUnchecked);
}

TEST(BrowseCheck, SubtreeAndAncestors) {
  PlainTree t;
  int drive = t.Add(0, kBrowseOff);
  int a = t.Add(drive, kBrowseOff);
  int a1 = t.Add(a, kBrowseOff);
  int b = t.Add(drive, kBrowseOff);
  int panel = t.Add(a, kBrowseNone);

  SetBrowseCheck(t, a1, ToggledBrowseCheck(t.Check(a1)));
  EXPECT_EQ(t.Check(a1), kBrowseOn);
  // a has a child without a box: the upward pass stops there.
  EXPECT_EQ(t.Check(a), kBrowseOff);

  t.SetCheck(panel, kBrowseOff);
  SetBrowseCheck(t, a1, kBrowseOn);
  EXPECT_EQ(t.Check(a), kBrowsePartly);
  EXPECT_EQ(t.Check(drive), kBrowsePartly);

  SetBrowseCheck(t, a, kBrowseOn);
  EXPECT_EQ(t.Check(panel), kBrowseOn);
  EXPECT_EQ(t.Check(drive), kBrowsePartly);  // b is still off
  SetBrowseCheck(t, b, kBrowseOn);
  EXPECT_EQ(t.Check(drive), kBrowseOn);
  EXPECT_EQ(ToggledBrowseCheck(kBrowsePartly), kBrowseOn);
  EXPECT_EQ(ToggledBrowseCheck(kBrowseOn), kBrowseOff);
}

TEST(BrowseCheck, AncestorWithoutBoxIsPassedOver) {
  PlainTree t;
  int desk = t.Add(0, kBrowseOff);
  int comp = t.Add(desk, kBrowseNone);
  int c = t.Add(comp, kBrowseOff);
  int d = t.Add(comp, kBrowseOff);
  SetBrowseCheck(t, c, kBrowseOn);
  EXPECT_EQ(t.Check(comp), kBrowseNone);
  // comp stays without a box; "partly" goes on above it.
  EXPECT_EQ(t.Check(desk), kBrowsePartly);
  EXPECT_EQ(t.Check(d), kBrowseOff);
}

TEST(BrowseCheck, TickingOnePlaceTakesEveryOtherTickAway) {
  // Two drives under a computer without a box: the last one ticked is the
  // only one, with its folders, so that what is ticked is what is scanned.
  PlainTree t;
  int comp = t.Add(0, kBrowseNone);
  int c = t.Add(comp, kBrowseOff);
  int c1 = t.Add(c, kBrowseOff);
  int d = t.Add(comp, kBrowseOff);
  int d1 = t.Add(d, kBrowseOff);
  SetOnlyBrowseCheck(t, c);
  EXPECT_EQ(t.Check(c), kBrowseOn);
  EXPECT_EQ(t.Check(c1), kBrowseOn);
  SetOnlyBrowseCheck(t, d1);
  EXPECT_EQ(t.Check(c), kBrowseOff);
  EXPECT_EQ(t.Check(c1), kBrowseOff);
  EXPECT_EQ(t.Check(d1), kBrowseOn);
  EXPECT_EQ(t.Check(d), kBrowseOn);   // its one folder is ticked: all of it
  EXPECT_EQ(t.Check(comp), kBrowseNone);
}
