#include "config/OemConfig.h"

#include <gtest/gtest.h>

#include "config/LocalConfig.h"
#include "support/Sandbox.h"

namespace {

using vtest::WriteFile;

class OemConfigTest : public vtest::SandboxTest {
  protected:
    std::string OemPath(const char* name = "oem.ini") const { return sandbox.ProgramDir() + "/" + name; }
};

TEST_F(OemConfigTest, WithoutTheFileEverythingHasItsDefault) {
    COemConfig config;
    config.Load(OemPath());
    EXPECT_EQ(config.PartnerId(), "0");
    EXPECT_EQ(config.ToolboxName(), "");
    EXPECT_EQ(config.ToolboxFolderName(), "vanto");
    EXPECT_EQ(config.HideCompanyInfo(), 0);
    EXPECT_EQ(ReadMainFrameTitle(), "墨林工坊 - 模板素材大全");
    EXPECT_EQ(ReadShowProtocol(), 1);
}

TEST_F(OemConfigTest, ReadsThePartnerSection) {
    WriteFile(OemPath(),
              "; partner build\r\n"
              "[Partner]\r\n"
              "Id = 1088\r\n"
              "Toolbox=partnerbox\r\n"
              "HideCompanyInfo=1\r\n"
              "[main_frame]\r\n"
              "title=合作版 模板\r\n"
              "[new_reg_dlg]\r\n"
              "show_protocol=0\r\n");
    COemConfig config;
    config.Load(OemPath());
    EXPECT_EQ(config.PartnerId(), "1088");
    EXPECT_EQ(config.ToolboxName(), "partnerbox");
    EXPECT_EQ(config.ToolboxFolderName(), "partnerbox");
    EXPECT_EQ(config.HideCompanyInfo(), 1);
    EXPECT_EQ(ReadMainFrameTitle(), "合作版 模板");
    EXPECT_EQ(ReadShowProtocol(), 0);
}

TEST_F(OemConfigTest, EmptyToolboxKeepsTheDefaultFolderName) {
    WriteFile(OemPath(), "[Partner]\nToolbox=\nId=\n");
    COemConfig config;
    config.Load(OemPath());
    EXPECT_EQ(config.ToolboxFolderName(), "vanto");
    EXPECT_EQ(config.PartnerId(), "");  // present but empty: not the default
}

TEST_F(OemConfigTest, UpperAndLowerCaseNamesAreOneFile) {
    // The start-up reader says "oem.ini", the later readers "OEM.ini".
    WriteFile(OemPath("Oem.INI"), "[partner]\nid=7\n[MAIN_FRAME]\nTITLE=Seven\n");
    COemConfig config;
    config.Load(OemPath("oem.ini"));
    EXPECT_EQ(config.PartnerId(), "7");
    EXPECT_EQ(ReadMainFrameTitle(), "Seven");
}

TEST_F(OemConfigTest, TitleAndAgreementAreReadAfreshAtEachCall) {
    WriteFile(OemPath("OEM.ini"), "[main_frame]\ntitle=Before\n");
    EXPECT_EQ(ReadMainFrameTitle(), "Before");
    WriteFile(OemPath("OEM.ini"), "[main_frame]\ntitle=After\n[new_reg_dlg]\nshow_protocol=0\n");
    EXPECT_EQ(ReadMainFrameTitle(), "After");
    EXPECT_EQ(ReadShowProtocol(), 0);
}

TEST_F(OemConfigTest, LongTextsAreCutTo259Characters) {
    const std::string id(300, '9');
    std::string title;
    for (int i = 0; i < 300; ++i) {
        title += "模";
    }
    WriteFile(OemPath(), "[Partner]\nId=" + id + "\n[main_frame]\ntitle=" + title + "\n");
    COemConfig config;
    config.Load(OemPath());
    EXPECT_EQ(config.PartnerId(), std::string(259, '9'));
    std::string expected;
    for (int i = 0; i < 259; ++i) {
        expected += "模";
    }
    EXPECT_EQ(ReadMainFrameTitle(), expected);
}

TEST_F(OemConfigTest, IntegerKeysTakeTheLeadingNumber) {
    WriteFile(OemPath(), "[Partner]\nHideCompanyInfo=2abc\n[new_reg_dlg]\nshow_protocol=junk\n");
    COemConfig config;
    config.Load(OemPath());
    EXPECT_EQ(config.HideCompanyInfo(), 2);
    EXPECT_EQ(ReadShowProtocol(), 0);  // present but not a number
}

TEST_F(OemConfigTest, GarbageFileGivesDefaults) {
    static const char kGarbage[] = "\x00\xff\xfe[[[=\n\x01\x02";
    WriteFile(OemPath(), std::string(kGarbage, sizeof kGarbage - 1));
    COemConfig config;
    config.Load(OemPath());
    EXPECT_EQ(config.PartnerId(), "0");
    EXPECT_EQ(config.HideCompanyInfo(), 0);
}

class LocalConfigTest : public vtest::SandboxTest {};

TEST_F(LocalConfigTest, CanUpdateDefaultsToOne) {
    CLocalConfig config;
    config.Load(sandbox.UserDataFolder());
    EXPECT_EQ(config.Path(), sandbox.UserDataFolder() + "/config.ini");
    EXPECT_EQ(config.CanUpdate(), 1);
}

TEST_F(LocalConfigTest, ReadsCanUpdateFromTheGeneralSection) {
    WriteFile(sandbox.UserDataFolder() + "/config.ini",
              "[Main]\nHasNewInstaller=1\n[General]\nCanUpdate=0\n");
    CLocalConfig config;
    config.Load(sandbox.UserDataFolder() + "/");
    EXPECT_EQ(config.Path(), sandbox.UserDataFolder() + "/config.ini");
    EXPECT_EQ(config.CanUpdate(), 0);
}

}  // namespace
