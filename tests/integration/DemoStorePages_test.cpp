// The demo store's plain-HTTP hosts: version files behind the client's fixed
// credentials, installers and the toolbox archive, the store pages with the
// web-login cookie, and the feedback and service pages.

#include <gtest/gtest.h>

#include "DemoStoreCalls.h"

namespace vtest {
namespace {

std::string ReplyBodyOf(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

class DemoStorePagesTest : public SandboxTest {
  protected:
    DemoStore store{sandbox};
};

TEST_F(DemoStorePagesTest, VersionFilesNeedTheClientsCredentials) {
    ASSERT_TRUE(store.Started());
    const std::vector<std::string> urls = {store.BaseUrl("update") + "/windows/newversion.htm",
                                           store.BaseUrl("toolbox") + "/vanto/version.html"};
    for (const std::string& url : urls) {
        const ProcessResult with = Curl({"-u", "kiwi:plum", "-w", "\n%{http_code}", url});
        EXPECT_EQ(with.out.rfind("version=", 0), 0u) << url << with.out;
        EXPECT_EQ(with.out.substr(with.out.size() - 3), "200");
        EXPECT_EQ(Curl({"-o", "/dev/null", "-w", "%{http_code}", url}).out, "401") << url;
        EXPECT_EQ(Curl({"-u", "kiwi:pear", "-o", "/dev/null", "-w", "%{http_code}", url}).out, "401") << url;
    }
    EXPECT_EQ(Curl({"-u", "kiwi:plum", urls[0]}).out, "version=1.0.1");
    EXPECT_EQ(Curl({"-u", "kiwi:plum", urls[1]}).out, "version=1.0");
    // A new version put through the admin interface is served at once.
    ASSERT_TRUE(store.PutFile("update", "/windows/newversion.htm", "version=2.0.0\r\n"));
    EXPECT_EQ(Curl({"-u", "kiwi:plum", urls[0]}).out, "version=2.0.0\r\n");
    // Paths outside the served folder are refused.
    httplib::Client admin("127.0.0.1", store.Port("admin"));
    for (const std::string path :
         {"/files/update/../users.json", "/files/update/.hidden", "/files/nowhere/x", "/files/update"}) {
        const auto result = admin.Put(path, "x", "text/plain");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 400) << path;
    }
    EXPECT_FALSE(Exists(store.DataDir() + "/files/users.json"));
}

TEST_F(DemoStorePagesTest, InstallersAndTheToolboxArchiveAreServed) {
    ASSERT_TRUE(store.Started());
    const std::string setup = Curl({store.BaseUrl("update") + "/windows/VANTOSetup.exe"}).out;
    EXPECT_EQ(setup.rfind("#!/bin/sh\n", 0), 0u);
    const std::string tool = Curl({store.BaseUrl("toolbox") + "/download/DemoToolSetup.exe"}).out;
    EXPECT_EQ(tool.rfind("#!/bin/sh\n", 0), 0u);

    // The archive is a real zip holding the panel's layout with its list.
    const std::string zip = sandbox.Root() + "/toolbox.zip";
    EXPECT_EQ(Curl({"-o", zip, store.BaseUrl("toolbox") + "/vanto/toolbox.zip"}).exitCode, 0);
    const ProcessResult listing =
        RunProcess({"python3", "-c",
                    "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\nassert z.testzip() is None\n"
                    "print(z.namelist())\nprint(z.read('skin.xml').decode('utf-8'))",
                    zip});
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_EQ(listing.out.rfind("['skin.xml'", 0), 0u) << listing.out;  // the layout first, then its images
    EXPECT_NE(listing.out.find("name=\"list\""), std::string::npos);
    EXPECT_NE(listing.out.find("installer=DemoToolSetup.exe"), std::string::npos);

    // Unknown names and paths that leave the served folder are not found.
    for (const std::string path : {"/other/toolbox.zip", "/download/../../users.json", "/download/%2e%2e/x",
                                   "/download/.hidden", "/download/"}) {
        EXPECT_EQ(
            Curl({"--path-as-is", "-o", "/dev/null", "-w", "%{http_code}", store.BaseUrl("toolbox") + path})
                .out,
            "404")
            << path;
    }
    EXPECT_EQ(Curl({"-o", "/dev/null", "-w", "%{http_code}", "-d", "x",
                    store.BaseUrl("update") + "/windows/VANTOSetup.exe"})
                  .out,
              "405");
}

TEST_F(DemoStorePagesTest, RefreshWebLoginSetsTheCookieAndLogoutClearsIt) {
    ASSERT_TRUE(store.Started());
    const std::string token = store.IssueToken("13900139000");
    ASSERT_FALSE(token.empty());
    const std::string jar = sandbox.Root() + "/cookies";
    const std::string client = store.BaseUrl("client");

    const ProcessResult refresh = Curl({"-c", jar, client + "/api/user/refreshWebLogin?X-token=" + token});
    EXPECT_EQ(ParseJsonText(refresh.out)["code"].asInt(), 1) << refresh.out;
    // With the cookie the pages know the user; the downloads page lists the user's documents.
    const std::string downloads = Curl({"-b", jar, client + "/client/user/downloads.html"}).out;
    EXPECT_NE(downloads.find("13900139000"), std::string::npos) << downloads;
    EXPECT_NE(downloads.find("data-id=\"201\""), std::string::npos) << downloads;
    EXPECT_NE(Curl({"-b", jar, client + "/ppt.html"}).out.find("13900139000"), std::string::npos);

    const ProcessResult logout = Curl({"-b", jar, "-c", jar, "-i", client + "/api/public_api/logout"});
    EXPECT_NE(logout.out.find("Max-Age=0"), std::string::npos) << logout.out;
    EXPECT_EQ(Curl({"-b", jar, client + "/client/user/downloads.html"}).out.find("13900139000"),
              std::string::npos);

    // A token the store did not issue sets no cookie.
    const ProcessResult forged = Curl({"-i", client + "/api/user/refreshWebLogin?X-token=abc.def.ghi"});
    EXPECT_EQ(forged.out.find("Set-Cookie"), std::string::npos) << forged.out;
    EXPECT_EQ(ParseJsonText(ReplyBodyOf(forged.out))["code"].asInt(), 0);
}

TEST_F(DemoStorePagesTest, EveryPageOfTheCatalogueAnswers) {
    ASSERT_TRUE(store.Started());
    const std::vector<std::pair<std::string, std::string>> pages = {
        {"client", "/"},
        {"client", "/?c=1234"},
        {"client", "/ppt.html"},
        {"client", "/word.html"},
        {"client", "/excel.html"},
        {"client", "/client/index/lists/"},
        {"client", "/client/user/downloads.html"},
        {"client", "/client/user/favorites.html"},
        {"feedback", "/msg/?a=0&t=0&appid=2002"},
        {"service", "/swordfish.html?product_id=2002"},
        {"store", "/help/8.html"},
        {"store", "/help/6.html"},
        {"store", "/index/index/qqlogin.html?p=2&appid=2002&adid=&partner_id=0&machine_code="},
        {"store", "/index/index/offiaccountLogin.html?p=2&appid=2002&adid=7&partner_id=3&machine_code=ABC"},
    };
    for (const auto& [service, path] : pages) {
        const auto page = StoreGet(store, service, path);
        ASSERT_TRUE(page) << service << path;
        EXPECT_EQ(page->status, 200) << service << path;
        EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8") << service << path;
        EXPECT_NE(page->body.find("<html"), std::string::npos);
    }
    // A sign-in page without the common values is a bad request.
    const auto bad = StoreGet(store, "store", "/index/index/qqlogin.html?p=2");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    const auto missing = StoreGet(store, "client", "/no/such/page.html");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
}

TEST(DemoStoreTemplateFiles, AreOfficeDocumentsWhosePartsParseAndThatNameTheirTemplate) {
    Sandbox sandbox;
    DemoStore store{sandbox};
    ASSERT_TRUE(store.Started());
    const std::string client = store.BaseUrl("client");
    for (const std::string name :
         {"1001_年终总结汇报.pptx", "2002_会议纪要.docx", "3001_月度财务报表.xlsx"}) {
        const std::string file = sandbox.Root() + "/" + name;
        ASSERT_EQ(Curl({"-f", "-o", file, client + "/files/" + name}).exitCode, 0) << name;
        // Every part is well-formed XML, the main part is where the package
        // says, and the title is in the document.
        const auto check = RunProcess({"python3", "-c",
                                       "import sys, zipfile, xml.dom.minidom as m\n"
                                       "z = zipfile.ZipFile(sys.argv[1])\n"
                                       "assert z.testzip() is None\n"
                                       "text = ''\n"
                                       "for n in z.namelist():\n"
                                       "    data = z.read(n)\n"
                                       "    m.parseString(data)\n"
                                       "    text += data.decode('utf-8')\n"
                                       "rels = z.read('_rels/.rels').decode()\n"
                                       "main = rels.split('Target=\"')[1].split('\"')[0]\n"
                                       "assert main in z.namelist(), main\n"
                                       "assert sys.argv[2] in text\n",
                                       file, name.substr(5, name.find('.') - 5)});
        EXPECT_EQ(check.exitCode, 0) << name << check.err;
    }
    EXPECT_EQ(Curl({"-o", "/dev/null", "-w", "%{http_code}", client + "/files/1001_other.pptx"}).out, "404");
    EXPECT_EQ(Curl({"-o", "/dev/null", "-w", "%{http_code}", client + "/files/9999_x.pptx"}).out, "404");
}

TEST(DemoStoreTemplateFiles, ADownloadRecordedThroughAPageJoinsTheUsersList) {
    Sandbox sandbox;
    DemoStore store{sandbox};
    ASSERT_TRUE(store.Started());
    const std::string client = store.BaseUrl("client");
    const std::string jar = sandbox.Root() + "/cookies";
    // Without the web login the store refuses.
    EXPECT_EQ(
        ParseJsonText(Curl({"-d", "", client + "/client/api/recordDownload?id=3002"}).out)["code"].asInt(),
        0);
    Curl({"-c", jar, client + "/api/user/refreshWebLogin?X-token=" + store.IssueToken("13900139000")});
    EXPECT_EQ(
        ParseJsonText(Curl({"-b", jar, "-d", "", client + "/client/api/recordDownload?id=3002"}).out)["code"]
            .asInt(),
        1);
    EXPECT_EQ(
        ParseJsonText(Curl({"-b", jar, "-d", "", client + "/client/api/recordDownload?id=77"}).out)["code"]
            .asInt(),
        0);
    const std::string downloads = Curl({"-b", jar, client + "/client/user/downloads.html"}).out;
    EXPECT_NE(downloads.find("data-id=\"3002\""), std::string::npos) << downloads;
    EXPECT_NE(downloads.find("员工考勤表"), std::string::npos);
}

}  // namespace
}  // namespace vtest
