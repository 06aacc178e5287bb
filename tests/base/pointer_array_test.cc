#include "base/pointer_array.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace tessaly {
namespace {

// Records every destruction so that each element can be shown to be
// released exactly once.
class ReleaseLog {
 public:
  void Released(int id) { ++released_[id]; }
  int TimesReleased(int id) const {
    auto it = released_.find(id);
    return it == released_.end() ? 0 : it->second;
  }
  int Total() const {
    int total = 0;
    for (const auto& [id, times] : released_) total += times;
    return total;
  }

 private:
  std::map<int, int> released_;
};

struct Tracked {
  Tracked(int id, ReleaseLog* log) : id(id), log(log) {}
  Tracked(const Tracked&) = delete;
  Tracked& operator=(const Tracked&) = delete;
  ~Tracked() { log->Released(id); }
  int id;
  ReleaseLog* log;
};

std::unique_ptr<Tracked> Make(int id, ReleaseLog& log) { return std::make_unique<Tracked>(id, &log); }

std::vector<int> Ids(const PointerArray<Tracked>& array) {
  std::vector<int> ids;
  for (Tracked* element : array) ids.push_back(element != nullptr ? element->id : -1);
  return ids;
}

TEST(PointerArrayTest, NegativeCapacityCountsAsZeroAndFirstAddGrowsByStep) {
  ReleaseLog log;
  PointerArray<Tracked> array(-3, 5);
  EXPECT_TRUE(array.Valid());
  EXPECT_EQ(array.Capacity(), 0);
  EXPECT_EQ(array.Count(), 0);
  EXPECT_EQ(array.Get(0), nullptr);
  array.Add(Make(1, log));
  EXPECT_EQ(array.Capacity(), 5);
  EXPECT_EQ(array.Count(), 1);
  EXPECT_EQ(array.Get(0)->id, 1);
}

TEST(PointerArrayTest, GrowthIsLinearAndKeepsOrder) {
  ReleaseLog log;
  PointerArray<Tracked> results(100, 10);
  for (int i = 0; i < 100; ++i) results.Add(Make(i, log));
  EXPECT_EQ(results.Capacity(), 100);
  results.Add(Make(100, log));
  EXPECT_EQ(results.Capacity(), 110);
  EXPECT_EQ(results.Count(), 101);
  for (int i = 0; i <= 100; ++i) ASSERT_EQ(results.Get(i)->id, i) << "slot " << i;
  for (int i = 101; i < 110; ++i) results.Add(Make(i, log));
  EXPECT_EQ(results.Capacity(), 110);
  results.Add(Make(110, log));
  EXPECT_EQ(results.Capacity(), 120);  // +10 again, not doubled
  EXPECT_EQ(log.Total(), 0);           // growing released nothing
}

TEST(PointerArrayTest, StepOfOneGrowsOneSlotAtATime) {
  ReleaseLog log;
  PointerArray<Tracked> targets(1, 1);
  for (int i = 0; i < 6; ++i) {
    targets.Add(Make(i, log));
    EXPECT_EQ(targets.Capacity(), i + 1);
  }
}

TEST(PointerArrayTest, AddToFullArrayWithoutStepThrowsAndReleasesTheElement) {
  ReleaseLog log;
  PointerArray<Tracked> fixed(2, 0);
  fixed.Add(Make(1, log)).Add(Make(2, log));
  EXPECT_THROW(fixed.Add(Make(3, log)), std::length_error);
  EXPECT_EQ(log.TimesReleased(3), 1);  // the rejected element does not leak
  EXPECT_EQ(fixed.Count(), 2);
  EXPECT_EQ(fixed.Capacity(), 2);
  EXPECT_EQ(Ids(fixed), (std::vector<int>{1, 2}));

  PointerArray<Tracked> empty(0, 0);
  EXPECT_THROW(empty.Add(Make(4, log)), std::length_error);
  PointerArray<Tracked> negativeStep(0, -4);
  EXPECT_THROW(negativeStep.Add(Make(5, log)), std::length_error);
  EXPECT_EQ(negativeStep.Capacity(), 0);
}

TEST(PointerArrayTest, GetOutsideUsedSlotsGivesNull) {
  ReleaseLog log;
  PointerArray<Tracked> array(4, 1);
  array.Add(Make(7, log));
  EXPECT_EQ(array.Get(-1), nullptr);
  EXPECT_EQ(array.Get(1), nullptr);
  EXPECT_EQ(array.Get(4), nullptr);
  EXPECT_EQ(array.Get(1000), nullptr);
  EXPECT_EQ(array.Get(0)->id, 7);
}

TEST(PointerArrayTest, SwapOnlyInsideCapacity) {
  ReleaseLog log;
  PointerArray<Tracked> array(4, 2);
  array.Add(Make(0, log)).Add(Make(1, log));
  array.Swap(0, 1);
  EXPECT_EQ(Ids(array), (std::vector<int>{1, 0}));
  array.Swap(0, 4);  // index equal to capacity
  array.Swap(-1, 1);
  array.Swap(1, -1);
  array.Swap(4, 4);
  EXPECT_EQ(Ids(array), (std::vector<int>{1, 0}));
  array.Swap(2, 3);  // two empty slots between count and capacity
  EXPECT_EQ(array.Count(), 2);
  array.Add(Make(2, log));
  EXPECT_EQ(Ids(array), (std::vector<int>{1, 0, 2}));
  array.Swap(1, 1);
  EXPECT_EQ(Ids(array), (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(log.Total(), 0);
}

TEST(PointerArrayTest, ElementSwappedPastCountIsStillReleasedOnce) {
  ReleaseLog log;
  {
    PointerArray<Tracked> array(4, 2);
    array.Add(Make(0, log)).Add(Make(1, log));
    array.Swap(1, 3);  // element 1 now lies above count
    EXPECT_EQ(array.Get(1), nullptr);
    EXPECT_EQ(Ids(array), (std::vector<int>{0, -1}));
    array.Clear();
    EXPECT_EQ(log.TimesReleased(0), 1);
    EXPECT_EQ(log.TimesReleased(1), 1);
    array.Add(Make(2, log)).Add(Make(3, log));
    array.Swap(0, 2);
  }
  EXPECT_EQ(log.TimesReleased(2), 1);
  EXPECT_EQ(log.TimesReleased(3), 1);
  EXPECT_EQ(log.Total(), 4);
}

TEST(PointerArrayTest, ClearSkipsNullsKeepsCapacityAndRefills) {
  ReleaseLog log;
  PointerArray<Tracked> array(2, 3);
  array.Add(Make(0, log)).Add(nullptr).Add(Make(2, log)).Add(nullptr);
  EXPECT_EQ(array.Count(), 4);
  EXPECT_EQ(array.Capacity(), 5);
  EXPECT_EQ(Ids(array), (std::vector<int>{0, -1, 2, -1}));
  array.Clear();
  EXPECT_EQ(array.Count(), 0);
  EXPECT_EQ(array.Capacity(), 5);
  EXPECT_EQ(log.TimesReleased(0), 1);
  EXPECT_EQ(log.TimesReleased(2), 1);
  EXPECT_EQ(log.Total(), 2);
  for (int i = 10; i < 15; ++i) array.Add(Make(i, log));
  EXPECT_EQ(array.Capacity(), 5);  // refill within the kept capacity
  EXPECT_EQ(Ids(array), (std::vector<int>{10, 11, 12, 13, 14}));
  array.Clear();
  array.Clear();  // clearing an empty array releases nothing twice
  EXPECT_EQ(log.Total(), 7);
}

TEST(PointerArrayTest, DestructionReleasesEveryElementOnce) {
  ReleaseLog log;
  {
    PointerArray<Tracked> array(1, 5);
    for (int i = 0; i < 23; ++i) array.Add(Make(i, log));
  }
  for (int i = 0; i < 23; ++i) EXPECT_EQ(log.TimesReleased(i), 1) << i;
  EXPECT_EQ(log.Total(), 23);
}

// A node that owns an array of its own kind, as contents nodes do.
struct Node {
  Node(int id, ReleaseLog* log) : id(id), log(log) {}
  ~Node() { log->Released(id); }
  int id;
  ReleaseLog* log;
  PointerArray<Node> children{1, 5};
};

TEST(PointerArrayTest, TreeOfArraysReleasesRecursively) {
  ReleaseLog log;
  int next = 0;
  {
    auto root = std::make_unique<Node>(next++, &log);
    for (int i = 0; i < 7; ++i) {
      auto child = std::make_unique<Node>(next++, &log);
      for (int j = 0; j < 3; ++j) child->children.Add(std::make_unique<Node>(next++, &log));
      root->children.Add(std::move(child));
    }
    EXPECT_EQ(root->children.Capacity(), 11);
    EXPECT_EQ(root->children.Get(6)->children.Get(2)->id, next - 1);
  }
  EXPECT_EQ(log.Total(), next);
  for (int id = 0; id < next; ++id) EXPECT_EQ(log.TimesReleased(id), 1) << id;
}

TEST(PointerArrayTest, MoveLeavesSourceEmptyAndAssignmentReleasesOld) {
  ReleaseLog log;
  PointerArray<Tracked> a(2, 2);
  a.Add(Make(1, log)).Add(Make(2, log)).Add(Make(3, log));
  PointerArray<Tracked> b(std::move(a));
  EXPECT_EQ(Ids(b), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(b.Capacity(), 4);
  EXPECT_EQ(a.Count(), 0);  // NOLINT(bugprone-use-after-move): moved-from state is defined
  EXPECT_EQ(a.Capacity(), 0);
  a.Add(Make(4, log));  // a moved-from array still grows by its step
  EXPECT_EQ(a.Capacity(), 2);
  b = std::move(a);
  EXPECT_EQ(log.TimesReleased(1), 1);
  EXPECT_EQ(log.TimesReleased(2), 1);
  EXPECT_EQ(log.TimesReleased(3), 1);
  EXPECT_EQ(Ids(b), (std::vector<int>{4}));
}

struct Keyed {
  int key;
  int order;
};

TEST(PointerArrayTest, StableSortKeepsEqualKeysInOrderAndNullsLast) {
  PointerArray<Keyed> array(100, 10);
  const int keys[] = {3, 1, 2, 3, 1, 0, 2, 3};
  int order = 0;
  for (int key : keys) {
    array.Add(std::make_unique<Keyed>(Keyed{key, order++}));
    if (order == 3) array.Add(nullptr);
  }
  array.StableSort([](const Keyed& a, const Keyed& b) { return a.key < b.key; });
  std::vector<std::pair<int, int>> sorted;
  for (Keyed* k : array) sorted.emplace_back(k != nullptr ? k->key : -1, k != nullptr ? k->order : -1);
  const std::vector<std::pair<int, int>> expected = {{0, 5}, {1, 1}, {1, 4}, {2, 2}, {2, 6},
                                                     {3, 0}, {3, 3}, {3, 7}, {-1, -1}};
  EXPECT_EQ(sorted, expected);
}

TEST(PointerArrayTest, StableSortManyElements) {
  constexpr int kCount = 200000;
  PointerArray<Keyed> array(100, 10000);
  unsigned state = 12345;
  for (int i = 0; i < kCount; ++i) {
    state = state * 1103515245u + 12345u;
    array.Add(std::make_unique<Keyed>(Keyed{static_cast<int>((state >> 16) % 1000), i}));
  }
  array.StableSort([](const Keyed& a, const Keyed& b) { return a.key < b.key; });
  ASSERT_EQ(array.Count(), kCount);
  for (int i = 1; i < kCount; ++i) {
    const Keyed& prev = *array.Get(i - 1);
    const Keyed& cur = *array.Get(i);
    ASSERT_TRUE(prev.key < cur.key || (prev.key == cur.key && prev.order < cur.order)) << "at " << i;
  }
}

}  // namespace
}  // namespace tessaly
