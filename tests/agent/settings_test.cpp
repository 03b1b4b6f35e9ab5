#include <windows.h>

#include <gtest/gtest.h>

#include "agent/base/data_folders.h"
#include "agent/base/settings.h"
#include "support/temp_dir.h"

namespace {

using vexlo::test::ReadFileBytes;
using vexlo::test::TempDir;
using vexlo::test::Wide;
using vexlo::test::WriteFileBytes;

// Each test gets its own application-data folder and a fresh settings record.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("APPDATA", appData.native().c_str(), 1);
        vexlo::FreeSettings();
    }
    void TearDown() override { vexlo::FreeSettings(); }

    std::filesystem::path DataFolder() const { return appData.path() / "VexloDesktop"; }
    void WriteSettingsFile(const std::string& text) {
        std::filesystem::create_directories(DataFolder());
        WriteFileBytes(DataFolder() / "settings.ini", text);
    }
    std::string SettingsFile() const { return ReadFileBytes(DataFolder() / "settings.ini"); }

    TempDir appData;
};

TEST_F(SettingsTest, WithoutAFileEveryValueHasItsDefault) {
    vexlo::CSettings* settings = vexlo::GetSettings();
    EXPECT_EQ(settings->traceLevel, 0);
    EXPECT_EQ(settings->scanMode, 1);
    EXPECT_TRUE(settings->GetSoapServer().empty());
    EXPECT_TRUE(settings->GetLogFile().empty());
    EXPECT_TRUE(settings->GetWiaScannerName().empty());
    EXPECT_FALSE(settings->wiaScanner.has_value());
    EXPECT_EQ(vexlo::GetSettings(), settings);  // one record per process
}

TEST_F(SettingsTest, SavingDefaultsWritesNameAndModeButNoDeviceId) {
    vexlo::GetSettings();
    vexlo::SaveSettings(vexlo::GetSettingsFilePath());
    EXPECT_EQ(SettingsFile(), "[wia]\r\nwia-scanner-name=\r\n[settings]\r\nscan-mode=1\r\n");
}

TEST_F(SettingsTest, ReadsEveryKey) {
    WriteSettingsFile(
        "[settings]\ntrace-level=3\nlog-file=/tmp/x.log\nscan-mode=3\n"
        "soap-server=http://127.0.0.1:9/services/vexloplugin\n"
        "[wia]\nwia-scanner={6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000\n"
        "wia-scanner-name=Сканер\n");
    vexlo::CSettings* settings = vexlo::GetSettings();
    EXPECT_EQ(settings->traceLevel, 3);
    EXPECT_EQ(settings->GetLogFile(), u"/tmp/x.log");
    EXPECT_EQ(settings->scanMode, 3);
    EXPECT_EQ(settings->GetSoapServer(), u"http://127.0.0.1:9/services/vexloplugin");
    ASSERT_TRUE(settings->wiaScanner.has_value());
    EXPECT_EQ(*settings->wiaScanner, u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000");
    EXPECT_EQ(settings->GetWiaScannerName(), u"Сканер");
}

TEST_F(SettingsTest, ScanModeOutsideOneToThreeIsIgnored) {
    for (const char* value : {"0", "4", "abc", ""}) {
        vexlo::FreeSettings();
        WriteSettingsFile(std::string("[settings]\nscan-mode=") + value + "\n");
        EXPECT_EQ(vexlo::GetSettings()->scanMode, 1) << value;
    }
    vexlo::FreeSettings();
    WriteSettingsFile("[settings]\nscan-mode=2x\n");
    EXPECT_EQ(vexlo::GetSettings()->scanMode, 2);
}

TEST_F(SettingsTest, TraceLevelKeepsItsSignAndAnEmptyOneIsZero) {
    WriteSettingsFile("[settings]\ntrace-level=-1\n");
    EXPECT_EQ(vexlo::GetSettings()->traceLevel, -1);
    vexlo::FreeSettings();
    WriteSettingsFile("[settings]\ntrace-level=\n");
    EXPECT_EQ(vexlo::GetSettings()->traceLevel, 0);
}

TEST_F(SettingsTest, AClearedDeviceIdIsSavedEmpty) {
    WriteSettingsFile("[wia]\nwia-scanner=dev-1\nwia-scanner-name=Scanner\n");
    vexlo::CSettings* settings = vexlo::GetSettings();
    settings->wiaScanner = u"";
    settings->scanMode = 3;
    vexlo::SaveSettings(vexlo::GetSettingsFilePath());
    EXPECT_EQ(SettingsFile(),
              "[wia]\r\nwia-scanner=\r\nwia-scanner-name=Scanner\r\n[settings]\r\nscan-mode=3\r\n");
}

TEST_F(SettingsTest, AValueOfThreeHundredCharactersIsReadAsTwoHundredFiftyNine) {
    WriteSettingsFile("[settings]\nsoap-server=" + std::string(300, 's') + "\n");
    EXPECT_EQ(vexlo::GetSettings()->GetSoapServer(), std::u16string(259, u's'));
}

TEST_F(SettingsTest, FreeingMakesTheNextUseLoadAgain) {
    vexlo::GetSettings();
    WriteSettingsFile("[settings]\nscan-mode=2\n");
    EXPECT_EQ(vexlo::GetSettings()->scanMode, 1);  // no reload while it exists
    vexlo::FreeSettings();
    EXPECT_EQ(vexlo::GetSettings()->scanMode, 2);
}

TEST_F(SettingsTest, FoldersAreMadeWhenAskedForAndMadeAgainWhenDeleted) {
    std::u16string processed = vexlo::GetProcessedFolder();
    EXPECT_EQ(processed, Wide((DataFolder() / "Processed").string()));
    EXPECT_TRUE(std::filesystem::is_directory(DataFolder() / "Processed"));
    std::filesystem::remove_all(DataFolder());
    vexlo::GetProcessedFolder();
    EXPECT_TRUE(std::filesystem::is_directory(DataFolder() / "Processed"));
    EXPECT_EQ(vexlo::GetScannedFolder(), Wide((DataFolder() / "Scanned").string()));
    EXPECT_EQ(vexlo::GetPrintFolder(), Wide((DataFolder() / "Print").string()));
    EXPECT_EQ(vexlo::GetSettingsFilePath(), Wide((DataFolder() / "settings.ini").string()));
    EXPECT_FALSE(std::filesystem::exists(DataFolder() / "settings.ini"));
}

TEST(DataFolderFallback, WithoutAnApplicationDataFolderNothingLandsAtTheRoot) {
    TempDir temp;
    unsetenv("APPDATA");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    setenv("TMPDIR", temp.native().c_str(), 1);
    std::u16string scanned = vexlo::GetScannedFolder();
    EXPECT_EQ(scanned.rfind(temp.wide(), 0), 0u) << "the fallback lies in the temporary folder";
    EXPECT_TRUE(std::filesystem::is_directory(
        std::filesystem::path(std::string(scanned.begin(), scanned.end()))));
    EXPECT_FALSE(std::filesystem::exists("/VexloDesktop"));
    EXPECT_FALSE(std::filesystem::exists("/Scanned"));
}

}  // namespace
