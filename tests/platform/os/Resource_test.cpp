#include "platform/os/Resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// This program is built without the skin object: the skin's resource must
// be missing, and every function must say so the Windows way.
TEST(Resource, ProgramWithoutTheSkinObjectFindsNoSkin) {
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(202), "DATA"), nullptr);
    const os::ResourceBytes bytes = os::FindResourceBytes("DATA", 202);
    EXPECT_EQ(bytes.data, nullptr);
    EXPECT_EQ(bytes.size, 0u);
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
    EXPECT_EQ(LockResource(nullptr), nullptr);
}

TEST(Resource, RegisteredBlockIsFoundByTypeAndIdLikeWindowsDoes) {
    static const char kBlock[] = "PK\x03\x04 block";
    ASSERT_TRUE(os::RegisterResource("TestBlob", 301, kBlock, sizeof kBlock - 1));

    // Type names ignore letter case; a numeric name may be written "#301".
    for (const char* type : {"TESTBLOB", "testblob", "TestBlob"}) {
        for (LPCSTR name : {MAKEINTRESOURCEA(301), static_cast<LPCSTR>("#301")}) {
            HRSRC info = FindResourceA(nullptr, name, type);
            ASSERT_NE(info, nullptr) << type;
            HGLOBAL handle = LoadResource(nullptr, info);
            EXPECT_EQ(LockResource(handle), static_cast<const void*>(kBlock));
            EXPECT_EQ(SizeofResource(nullptr, info), sizeof kBlock - 1);
        }
    }
    // Any module handle means the program, which is the only module.
    EXPECT_NE(FindResourceA(reinterpret_cast<HMODULE>(0x1000), MAKEINTRESOURCEA(301), "TESTBLOB"), nullptr);

    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(302), "TESTBLOB"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(301), "TESTBLO"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(301), "DATA"), nullptr);
}

TEST(Resource, NamesThatAreNotNumbersFindNothing) {
    static const char kBlock[] = "x";
    ASSERT_TRUE(os::RegisterResource("NAMES", 7, kBlock, 1));
    ASSERT_NE(FindResourceA(nullptr, "#7", "NAMES"), nullptr);
    for (const char* name :
         {"7", "#", "#x7", "#7x", "#-7", "#+7", "# 7", "#65543", "#99999999999999999999", ""}) {
        EXPECT_EQ(FindResourceA(nullptr, name, "NAMES"), nullptr) << name;
    }
    EXPECT_EQ(FindResourceA(nullptr, nullptr, "NAMES"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "#7", nullptr), nullptr);
}

TEST(Resource, NumericTypesAreTheirHashForm) {
    static const char kBlock[] = "rcdata";
    ASSERT_TRUE(os::RegisterResource("#10", 5, kBlock, 6));
    HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(10));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, info), 6u);
}

TEST(Resource, RegisteringAgainReplacesTheBytesBehindTheSameHandle) {
    static const char kFirst[] = "first";
    static const char kSecond[] = "second!";
    ASSERT_TRUE(os::RegisterResource("AGAIN", 1, kFirst, 5));
    HRSRC before = FindResourceA(nullptr, MAKEINTRESOURCEA(1), "AGAIN");
    ASSERT_TRUE(os::RegisterResource("again", 1, kSecond, 7));
    HRSRC after = FindResourceA(nullptr, MAKEINTRESOURCEA(1), "AGAIN");
    EXPECT_EQ(before, after);
    EXPECT_EQ(LockResource(LoadResource(nullptr, after)), static_cast<const void*>(kSecond));
    EXPECT_EQ(SizeofResource(nullptr, after), 7u);
}

TEST(Resource, RegistrationRefusesBlocksThatCannotBeRead) {
    EXPECT_FALSE(os::RegisterResource("", 1, "x", 1));
    EXPECT_FALSE(os::RegisterResource("NULLDATA", 1, nullptr, 10));
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(1), "NULLDATA"), nullptr);
    // An empty block is a resource of size 0: found, and reported as empty.
    ASSERT_TRUE(os::RegisterResource("EMPTY", 1, nullptr, 0));
    HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(1), "EMPTY");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, info), 0u);
    EXPECT_EQ(LockResource(LoadResource(nullptr, info)), nullptr);
}

TEST(Resource, RegistrationsAndLookupsFromManyThreads) {
    static const char kBlock[] = "threads";
    constexpr int kThreads = 4;
    constexpr int kPerThread = 50;
    std::atomic<int> found{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &found] {
            for (int i = 0; i < kPerThread; ++i) {
                const unsigned id = static_cast<unsigned>(1000 + t * kPerThread + i);
                os::RegisterResource("THREADS", id, kBlock, 7);
                if (FindResourceA(nullptr, MAKEINTRESOURCEA(id), "threads") != nullptr) {
                    found.fetch_add(1);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(found.load(), kThreads * kPerThread);
    for (unsigned id = 1000; id < 1000 + kThreads * kPerThread; ++id) {
        EXPECT_EQ(os::FindResourceBytes("THREADS", id).size, 7u);
    }
}

}  // namespace
