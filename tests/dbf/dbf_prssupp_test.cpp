#include "dbf/dbf_prssupp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace dbf;

namespace {

// An item that reports its destruction.
struct TItem {
  TItem(int key, std::vector<int>* freed) : key(key), freed(freed) {}
  ~TItem() { freed->push_back(key); }
  int key;
  std::vector<int>* freed;
};

class TItemList : public TSortedCollection<TItem, int> {
 public:
  int32_t CompareItemKeys(int key1, int key2) const override { return key1 - key2; }
  int KeyOfItem(const TItem* item) const override { return item->key; }
};

std::vector<int> Keys(const TItemList& list) {
  std::vector<int> keys;
  for (int32_t i = 0; i < list.Count(); ++i) keys.push_back(list[i]->key);
  return keys;
}

}  // namespace

TEST(Collections, OwningListFreesWhatItDisposesAndOnDestruction) {
  std::vector<int> freed;
  {
    TOCollection<TItem> list(4);
    for (int key : {1, 2, 3}) list.Add(new TItem(key, &freed));
    list.DeleteAndDispose(1);
    EXPECT_EQ(freed, std::vector<int>({2}));
    TItem* kept = list[0];
    list.Delete(0);  // removed, not freed
    EXPECT_EQ(list.Count(), 1);
    delete kept;
    list.Add(nullptr);  // disposing of a null item is harmless
  }
  EXPECT_EQ(freed, std::vector<int>({2, 1, 3}));
}

TEST(Collections, NoOwnerListNeverFrees) {
  std::vector<int> freed;
  TItem item(7, &freed);
  {
    TNoOwnerCollection<TItem> list;
    list.Add(&item);
    list.DisposeAll();
    EXPECT_EQ(list.Count(), 0);
    list.Add(&item);
  }
  EXPECT_TRUE(freed.empty());
}

TEST(Collections, SortedListWithoutDuplicatesRefusesAnEqualKey) {
  std::vector<int> freed;
  TItemList list;
  for (int key : {5, 1, 9, 3}) ASSERT_TRUE(list.InsertSorted(new TItem(key, &freed)));
  EXPECT_EQ(Keys(list), std::vector<int>({1, 3, 5, 9}));

  TItem duplicate(5, &freed);
  EXPECT_FALSE(list.InsertSorted(&duplicate));
  EXPECT_EQ(Keys(list), std::vector<int>({1, 3, 5, 9}));

  int32_t index = -1;
  EXPECT_TRUE(list.SearchSorted(9, index));
  EXPECT_EQ(index, 3);
  EXPECT_FALSE(list.SearchSorted(4, index));
  EXPECT_EQ(index, 2);  // where 4 would go
  EXPECT_EQ(list.FindItem(list[1]), 1);

  // ReplaceSorted swaps the entry of an equal key without freeing the old item.
  TItem* old = list[2];
  auto* replacement = new TItem(5, &freed);
  EXPECT_TRUE(list.ReplaceSorted(replacement));
  EXPECT_EQ(list[2], replacement);
  EXPECT_TRUE(freed.empty());
  delete old;
}

TEST(Collections, SortedListWithDuplicatesPutsTheNewestFirst) {
  std::vector<int> freed;
  TItemList list;
  list.FAllowDuplicates = true;
  TItem* first = new TItem(2, &freed);
  TItem* second = new TItem(2, &freed);
  TItem* third = new TItem(2, &freed);
  list.InsertSorted(new TItem(1, &freed));
  list.InsertSorted(first);
  list.InsertSorted(new TItem(3, &freed));
  list.InsertSorted(second);
  list.InsertSorted(third);

  int32_t index = -1;
  ASSERT_TRUE(list.SearchSorted(2, index));
  EXPECT_EQ(list[index], third);
  EXPECT_EQ(list[index + 1], second);
  EXPECT_EQ(list[index + 2], first);
  // FindItem finds the very item, not just its key.
  EXPECT_EQ(list.FindItem(first), index + 2);
  TItem stranger(2, &freed);
  EXPECT_EQ(list.FindItem(&stranger), -1);
}
