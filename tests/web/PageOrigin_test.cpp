#include "web/PageOrigin.h"

#include <gtest/gtest.h>

TEST(PageOrigin, AnAddressIsOnTheHostOnlyWithTheSameSchemeNameAndPort) {
    EXPECT_TRUE(IsPageOnHost("http://127.0.0.1:47802/ppt.html", "http", "127.0.0.1:47802"));
    EXPECT_TRUE(IsPageOnHost("http://127.0.0.1:47802", "http", "127.0.0.1:47802"));
    EXPECT_TRUE(IsPageOnHost("HTTP://Store.Example:80/?c=1", "http", "store.example"));
    EXPECT_TRUE(IsPageOnHost("https://store.example/x#frag", "https", "store.example:443"));
    EXPECT_TRUE(IsPageOnHost("http://[::1]:8080/a", "http", "[::1]:8080"));

    EXPECT_FALSE(IsPageOnHost("https://127.0.0.1:47802/", "http", "127.0.0.1:47802"));
    EXPECT_FALSE(IsPageOnHost("http://127.0.0.1:47803/", "http", "127.0.0.1:47802"));
    EXPECT_FALSE(IsPageOnHost("http://127.0.0.1/", "http", "127.0.0.1:47802"));
    EXPECT_FALSE(IsPageOnHost("http://store.example.evil/", "http", "store.example"));
    EXPECT_FALSE(IsPageOnHost("http://evil/store.example", "http", "store.example"));
}

TEST(PageOrigin, AnythingUnclearIsNotOnTheHost) {
    for (const char* url :
         {"", "about:blank", "file:///etc/passwd", "data:text/html,x", "//store.example/",
          "http://store.example@evil.example/", "http://evil@store.example/", "http://store.example:0/",
          "http://store.example:65536/", "http://store.example:80x/", "http://store.example:/",
          "http:///path", "http://[::1/", "http://[::1]x/", "http://store%2eexample/",
          "http://store .example/", "javascript:alert(1)//http://"}) {
        EXPECT_FALSE(IsPageOnHost(url, "http", "store.example")) << url;
    }
    // A backslash ends the host as browsers read it.
    EXPECT_FALSE(IsPageOnHost("http://evil.example\\@store.example/", "http", "store.example"));
    EXPECT_TRUE(IsPageOnHost("http://store.example\\x", "http", "store.example"));
    // A host constant that does not parse matches nothing.
    EXPECT_FALSE(IsPageOnHost("http://store.example/", "http", ""));
    EXPECT_FALSE(IsPageOnHost("http://store.example/", "ftp", "store.example"));
}

TEST(PageOrigin, ParsesSchemeHostAndPortInLowerCase) {
    const auto origin = ParsePageOrigin("HTTPS://Store.Example:8443/p?q");
    ASSERT_TRUE(origin);
    EXPECT_EQ(origin->scheme, "https");
    EXPECT_EQ(origin->host, "store.example");
    EXPECT_EQ(origin->port, 8443);
    EXPECT_EQ(ParsePageOrigin("http://a")->port, 80);
}
