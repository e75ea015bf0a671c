#include "touchstream/VexoGroup.h"

#include <gtest/gtest.h>

#include "touchstream/VexoTUIOTouch.h"

using VexoSource::VexoGroup;
using VexoSource::VexoTUIOTouch_Ele;

namespace {

VexoTUIOTouch_Ele Touch(int32_t id, float x = 0.0f) {
    VexoTUIOTouch_Ele t;
    t.id = id;
    t.x = x;
    return t;
}

void Fill(VexoGroup<VexoTUIOTouch_Ele>& group, int32_t n, int32_t firstId = 0) {
    for (int32_t i = 0; i < n; ++i) ASSERT_TRUE(group.Add(Touch(firstId + i, float(i))));
}

}  // namespace

TEST(VexoGroup, StartsEmptyWithItsFixedTable) {
    VexoGroup<VexoTUIOTouch_Ele> group;
    EXPECT_EQ(group.ready, 0);
    EXPECT_EQ(group.Initialize(), 1);
    EXPECT_EQ(group.ready, 1);
    EXPECT_EQ(group.Count(), 0);
    EXPECT_EQ(group.lastBlock, -1);
    EXPECT_EQ(group.lastElement, -1);
    EXPECT_EQ(group.tableCapacity, 128);
    EXPECT_EQ(group.blockSize, 64);
    EXPECT_EQ(group.Get(0), nullptr);
    EXPECT_EQ(group.Find(0), nullptr);
}

// Element positions across block boundaries, and Get outside the used range.
TEST(VexoGroup, KeepsOrderAcrossBlocks) {
    VexoGroup<VexoTUIOTouch_Ele> group;
    Fill(group, 130, 1000);
    EXPECT_EQ(group.Count(), 130);
    EXPECT_EQ(group.lastBlock, 2);
    for (int32_t i : {0, 63, 64, 127, 128, 129}) {
        const VexoTUIOTouch_Ele* t = group.Get(i);
        ASSERT_NE(t, nullptr) << i;
        EXPECT_EQ(t->id, 1000 + i);
        EXPECT_FLOAT_EQ(t->x, float(i));
    }
    for (int32_t outside : {130, 131, 100000, -1, -64})
        EXPECT_EQ(group.Get(outside), nullptr) << outside;
}

TEST(VexoGroup, FindSearchesLastBlockFirstAndOnlyUsedPositions) {
    VexoGroup<VexoTUIOTouch_Ele> group;
    Fill(group, 65, 0);           // ids 0..64: block 1 holds only id 64
    group.Add(Touch(5, 99.0f));   // a second id 5 in the last block
    const VexoTUIOTouch_Ele* found = group.Find(5);
    ASSERT_NE(found, nullptr);
    EXPECT_FLOAT_EQ(found->x, 99.0f);  // the last block's namesake wins
    EXPECT_EQ(group.Find(64)->id, 64);
    // Unused positions of the last block are zero-filled records: id 0 there must not be
    // reported after id 0 is gone.
    group.Release();
    group.Add(Touch(7));
    EXPECT_EQ(group.Find(0), nullptr);
    EXPECT_EQ(group.Find(7)->id, 7);
}

TEST(VexoGroup, ReleaseEmptiesAndTheGroupIsReusable) {
    VexoGroup<VexoTUIOTouch_Ele> group;
    Fill(group, 200);
    group.Release();
    EXPECT_EQ(group.Count(), 0);
    EXPECT_EQ(group.lastBlock, -1);
    EXPECT_EQ(group.Get(0), nullptr);
    for (int32_t b = 0; b < group.tableCapacity; ++b) EXPECT_EQ(group.table[b], nullptr) << b;
    Fill(group, 3, 40);
    EXPECT_EQ(group.Count(), 3);
    EXPECT_EQ(group.Get(2)->id, 42);
}

// 128 blocks of 64: the 8193rd element is refused, never written past the table.
TEST(VexoGroup, FullTableRefusesFurtherElements) {
    VexoGroup<VexoTUIOTouch_Ele> group;
    Fill(group, VexoGroup<VexoTUIOTouch_Ele>::kMaxElements);
    EXPECT_EQ(group.Count(), 8192);
    EXPECT_FALSE(group.Add(Touch(-1)));
    EXPECT_FALSE(group.Add(Touch(-2)));
    EXPECT_EQ(group.Count(), 8192);
    EXPECT_EQ(group.lastBlock, 127);
    EXPECT_EQ(group.Get(8191)->id, 8191);
    EXPECT_EQ(group.Find(-1), nullptr);
}

TEST(VexoGroup, CopyFromReplacesContentInOrder) {
    VexoGroup<VexoTUIOTouch_Ele> source, target;
    Fill(source, 70, 500);
    Fill(target, 3, 1);
    target.CopyFrom(source);
    ASSERT_EQ(target.Count(), 70);
    for (int32_t i = 0; i < 70; ++i) EXPECT_EQ(target.Get(i)->id, 500 + i);
    target.CopyFrom(target);  // copying onto itself keeps the content
    EXPECT_EQ(target.Count(), 70);
    VexoGroup<VexoTUIOTouch_Ele> empty;
    target.CopyFrom(empty);
    EXPECT_EQ(target.Count(), 0);
}

// Through the base interface the container behaves the same (the virtual slots are overridden).
TEST(VexoGroup, WorksThroughTheBaseInterface) {
    VexoGroup<VexoTUIOTouch_Ele> group;
    VexoSource::VexoArraryBase<VexoTUIOTouch_Ele>& base = group;
    EXPECT_TRUE(base.Add(Touch(9)));
    EXPECT_EQ(base.Count(), 1);
    EXPECT_EQ(base.Get(0)->id, 9);
    EXPECT_EQ(base.Find(9)->id, 9);
    VexoSource::VexoArraryBase<VexoTUIOTouch_Ele> plain;
    EXPECT_FALSE(plain.Add(Touch(1)));
    EXPECT_EQ(plain.Get(0), nullptr);
}
