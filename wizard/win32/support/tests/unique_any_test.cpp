// The ownership rules of unique_any and unique_struct, with fake resources: every resource is
// freed exactly once, by its last owner, and an owner that gave it away is empty.
#include "unique_any.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace termgate::win32 {
namespace {

// What was freed, in order. Resources are numbers; 0 stands for "none".
std::vector<int> freed;

void FreeNumber(int number) {
  freed.push_back(number);
}
int NoNumber() {
  return 0;
}
using Owner = unique_any<int, FreeNumber, NoNumber>;

// What a closer finds in its owner while it runs, as a window procedure does in the owner of its
// window while that window is destroyed; recorded instead of the resource.
std::function<int()> ownerDuringFree;
void FreeLookingBack(int) {
  freed.push_back(ownerDuringFree());
}
using LookedBackOwner = unique_any<int, FreeLookingBack, NoNumber>;

// A struct resource in the manner of a VARIANT: Init empties, Clear frees what it holds.
struct Slot {
  int number;
};
void InitSlot(Slot* slot) {
  slot->number = 0;
}
void ClearSlot(Slot* slot) {
  if (slot->number != 0) {
    freed.push_back(slot->number);
  }
  slot->number = 0;
}
using SlotOwner = unique_struct<Slot, InitSlot, ClearSlot>;

Owner& Same(Owner& owner) {
  return owner;
}
SlotOwner& Same(SlotOwner& owner) {
  return owner;
}

struct Case {
  std::string name;
  std::function<void()> run;
  std::vector<int> freed;
};

TEST(UniqueAny, FreesEachResourceOnceByItsLastOwner) {
  const std::vector<Case> cases{
      {"the destructor frees", [] { const Owner a(1); }, {1}},
      {"reset frees the old at once and the new one later",
       [] {
         Owner a(1);
         a.reset(2);
         freed.push_back(99);
       },
       {1, 99, 2}},
      {"release gives up without freeing",
       [] {
         Owner a(1);
         EXPECT_EQ(a.release(), 1);
         EXPECT_FALSE(a);
       },
       {}},
      {"move construction leaves the source empty",
       [] {
         Owner a(1);
         const Owner b(std::move(a));
         EXPECT_FALSE(a);
         EXPECT_EQ(b.get(), 1);
       },
       {1}},
      {"move assignment frees what the target held",
       [] {
         Owner a(1);
         Owner b(2);
         b = std::move(a);
         EXPECT_FALSE(a);
         freed.push_back(99);
       },
       {2, 99, 1}},
      {"moving onto itself keeps the resource",
       [] {
         Owner a(1);
         a = std::move(Same(a));
         EXPECT_EQ(a.get(), 1);
       },
       {1}},
      {"the empty value is never freed",
       [] {
         Owner a;
         a.reset();
         const Owner b(0);
       },
       {}},
      {"the owner is empty while it frees",
       [] {
         LookedBackOwner a(1);
         ownerDuringFree = [&a] { return a.get(); };
         a.reset();
       },
       {0}},
      {"a struct is cleared once, by its last owner",
       [] {
         SlotOwner a;
         a->number = 1;
         SlotOwner b(std::move(a));
         EXPECT_EQ(a->number, 0);
         SlotOwner c;
         c->number = 2;
         c = std::move(b);
         EXPECT_EQ(b->number, 0);
         freed.push_back(99);
       },
       {2, 99, 1}},
      {"a struct moved onto itself keeps its value; release gives it up",
       [] {
         SlotOwner a;
         a->number = 1;
         a = std::move(Same(a));
         EXPECT_EQ(a.release().number, 1);
         SlotOwner b;
         b->number = 2;
         b.reset(Slot{3});
       },
       {2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freed.clear();
    c.run();
    EXPECT_EQ(freed, c.freed);
  }
}

}  // namespace
}  // namespace termgate::win32
