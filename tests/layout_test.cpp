// The records' layouts for the pointer width of the build: a caller that declares or copies them
// from another language relies on these sizes and offsets. On 32-bit Windows, the library's
// original form, a list node is 12 bytes and the static list's record fills 3 node slots.
#include <gtest/gtest.h>

#include <cstddef>

#include "wex_publiclib.h"

namespace {

static_assert(sizeof(void *) == 4 || sizeof(void *) == 8,
              "only 32-bit and 64-bit builds are described");

struct Layout {
    const char *what;
    size_t actual;
    size_t on32; // with 32-bit pointers
    size_t on64; // with 64-bit pointers
};

TEST(RecordLayout, SizesAndOffsetsAreThoseOfThePointerWidth) {
    // clang-format off
    const Layout layouts[] = {
        {"DLinkNode", sizeof(DLinkNode), 12, 24}, {"DLinkNode.next", offsetof(DLinkNode, next), 4, 8},
        {"DLinkNode.element", offsetof(DLinkNode, element), 8, 16}, {"DLinkList", sizeof(DLinkList), 24, 48},
        {"SLinkNode", sizeof(SLinkNode), 12, 16}, {"SLinkNode.next", offsetof(SLinkNode, next), 4, 4},
        {"SLinkNode.element", offsetof(SLinkNode, element), 8, 8},
        {"SLinkList (3 node slots, the nodes following it)", sizeof(SLinkList), 36, 48},
        {"HashNode", sizeof(HashNode), 12, 24}, {"HashTable", sizeof(HashTable), 32, 56},
        {"IniFile", sizeof(IniFile), 104, 120}, {"IniFile.lock (fields added at the end)", offsetof(IniFile, lock), 20, 24},
        {"IniFile.options", offsetof(IniFile, options), 28, 40}, {"IniFile.origin", offsetof(IniFile, origin), 32, 48},
        {"IpAddrCursor", sizeof(IpAddrCursor), 8, 16}, {"MD5Context", sizeof(MD5Context), 88, 88}};
    // clang-format on
    for (const Layout &layout : layouts) {
        EXPECT_EQ(layout.actual, sizeof(void *) == 4 ? layout.on32 : layout.on64) << layout.what;
    }
}

} // namespace
