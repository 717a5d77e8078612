#include "platform/os/Guid.h"

#include <gtest/gtest.h>

#include <uuid/uuid.h>

#include <cstring>

namespace {

TEST(Guid, FieldsComeFromTheUuidBytesInNetworkOrder) {
    uuid_t bytes;
    ASSERT_EQ(uuid_parse("01234567-89ab-cdef-0011-2233445566ff", bytes), 0);
    const GUID guid = os::GuidFromBytes(bytes);
    EXPECT_EQ(guid.Data1, 0x01234567u);
    EXPECT_EQ(guid.Data2, 0x89ABu);
    EXPECT_EQ(guid.Data3, 0xCDEFu);
    const std::uint8_t tail[8] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xFF};
    EXPECT_EQ(std::memcmp(guid.Data4, tail, 8), 0);
}

TEST(Guid, NewGuidsAreDistinctRfcUuids) {
    GUID a{};
    GUID b{};
    ASSERT_TRUE(os::CreateGuid(&a));
    ASSERT_TRUE(os::CreateGuid(&b));
    EXPECT_NE(std::memcmp(&a, &b, sizeof a), 0);
    // The variant bits sit in the first byte of the last field, the version
    // (random or time based) in the top nibble of the third field.
    EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);
    const int version = a.Data3 >> 12;
    EXPECT_TRUE(version == 4 || version == 1) << version;
    EXPECT_FALSE(os::CreateGuid(nullptr));
}

}  // namespace
