#include <gtest/gtest.h>

#include "config/OemConfig.h"
#include "platform/os/Resource.h"

namespace {

// config_test is built without the skin object, so the lookup starts with
// nothing to find; the test then plays the embedding object's part. The
// steps share one process-wide table, hence one test.
TEST(OemSkinArchive, TrueOnlyForAPresentNonEmptyArchive) {
    COemConfig config;
    EXPECT_FALSE(config.LoadSkinArchive());
    EXPECT_EQ(config.SkinArchive(), nullptr);
    EXPECT_EQ(config.SkinArchiveSize(), 0u);

    // Present but empty: still missing for the start-up.
    ASSERT_TRUE(os::RegisterResource("DATA", 202, nullptr, 0));
    EXPECT_FALSE(config.LoadSkinArchive());
    EXPECT_EQ(config.SkinArchive(), nullptr);

    static const char kArchive[] = "PK\x05\x06";
    ASSERT_TRUE(os::RegisterResource("DATA", 202, kArchive, 4));
    EXPECT_TRUE(config.LoadSkinArchive());
    EXPECT_EQ(config.SkinArchive(), static_cast<const void*>(kArchive));
    EXPECT_EQ(config.SkinArchiveSize(), 4u);

    // A second lookup that fails forgets what the first one found.
    ASSERT_TRUE(os::RegisterResource("DATA", 202, nullptr, 0));
    EXPECT_FALSE(config.LoadSkinArchive());
    EXPECT_EQ(config.SkinArchive(), nullptr);
    EXPECT_EQ(config.SkinArchiveSize(), 0u);
}

}  // namespace
