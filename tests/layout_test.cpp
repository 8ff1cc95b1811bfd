// The records' layouts for the pointer width of the build: a caller that declares or copies them
// from another language relies on these sizes and offsets. On 32-bit Windows, the library's
// original form, a list node is 12 bytes and the static list's record fills 3 node slots.
#include <gtest/gtest.h>

#include <cstddef>

#include "wex_publiclib.h"

namespace {

struct Layout {
    size_t pointer;
    size_t dlinkNode;
    size_t dlinkList;
    size_t slinkNode;
    size_t slinkList;
    size_t hashNode;
    size_t hashTable;
    size_t iniFile;
    size_t ipCursor;
};

constexpr Layout kLayout32{4, 12, 24, 12, 36, 12, 32, 96, 8};
constexpr Layout kLayout64{8, 24, 48, 16, 48, 24, 56, 104, 16};
static_assert(sizeof(void *) == kLayout32.pointer || sizeof(void *) == kLayout64.pointer,
              "only 32-bit and 64-bit builds are described");
constexpr Layout kExpected = sizeof(void *) == kLayout32.pointer ? kLayout32 : kLayout64;

constexpr size_t kStaticListRecordSlots = 3;
constexpr size_t kMd5ContextSize = 88;

TEST(RecordLayout, NodesAreTwoLinksAndAnElement) {
    EXPECT_EQ(sizeof(DLinkNode), kExpected.dlinkNode);
    EXPECT_EQ(offsetof(DLinkNode, next), kExpected.pointer);
    EXPECT_EQ(offsetof(DLinkNode, element), 2 * kExpected.pointer);
    EXPECT_EQ(sizeof(SLinkNode), kExpected.slinkNode);
    EXPECT_EQ(offsetof(SLinkNode, next), 4u);
    EXPECT_EQ(offsetof(SLinkNode, element), 8u);
    EXPECT_EQ(sizeof(HashNode), kExpected.hashNode);
}

TEST(RecordLayout, TheStaticListRecordFillsThreeNodeSlotsOfItsBlock) {
    EXPECT_EQ(sizeof(SLinkList), kExpected.slinkList);
    EXPECT_EQ(sizeof(SLinkList) % sizeof(SLinkNode), 0u) << "the nodes follow it without a gap";
    EXPECT_EQ(sizeof(SLinkList) / sizeof(SLinkNode), kStaticListRecordSlots);
}

TEST(RecordLayout, TheOtherRecordsHaveTheSizesOfTheirFields) {
    EXPECT_EQ(sizeof(DLinkList), kExpected.dlinkList);
    EXPECT_EQ(sizeof(HashTable), kExpected.hashTable);
    EXPECT_EQ(sizeof(IniFile), kExpected.iniFile);
    EXPECT_EQ(offsetof(IniFile, lock), 4 * sizeof(uint32_t) + sizeof(void *))
        << "fields added at the end";
    EXPECT_EQ(sizeof(IpAddrCursor), kExpected.ipCursor);
    EXPECT_EQ(sizeof(MD5Context), kMd5ContextSize) << "the same on every width";
}

} // namespace
