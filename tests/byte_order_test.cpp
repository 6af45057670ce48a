// Guards the big-endian cross build: its tests prove byte-order independence only
// if they really run on a big-endian CPU.
#include <gtest/gtest.h>

#include <cstring>

#include "Lib.h"

TEST(ByteOrder, HostIsBigEndian) {
    const DWORD probe = 0x01020304;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    EXPECT_EQ(first, 0x01);
}
