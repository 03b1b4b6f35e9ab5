// The plug-in's version block: built as Windows writes it, registered as
// the library's resource, and read back the way a browser reads it.
#include <windows.h>

#include <gtest/gtest.h>

#include "framework/version_block.h"
#include "plugins/npapi/version_resource.h"
#include "version_reader.h"

namespace {

using browser::VersionInfo;

TEST(PluginVersionBlock, NamesTheMimeTypeTheNamesAndTheVersions) {
    const std::vector<uint8_t>& block = vexlo::npapi::PluginVersionBlock();
    std::optional<VersionInfo> info = VersionInfo::Parse(block.data(), block.size());
    ASSERT_TRUE(info.has_value());
    ASSERT_EQ(info->Translations().size(), 1u);
    EXPECT_EQ(info->Translations()[0], (std::pair<uint16_t, uint16_t>{0x0409, 0x04E4}));
    EXPECT_EQ(info->String(u"040904E4", u"MIMEType"), u"application/agent_vexlo");
    EXPECT_EQ(info->String(u"MIMEType"), u"application/agent_vexlo");
    EXPECT_EQ(info->String(u"FileExtents"), u"");
    EXPECT_EQ(info->String(u"FileOpenName"), u"");
    EXPECT_EQ(info->String(u"ProductName"), u"Agent Vexlo");
    EXPECT_EQ(info->String(u"FileDescription"), u"Agent Vexlo");
    EXPECT_EQ(info->String(u"InternalName"), u"Agent Vexlo");
    EXPECT_EQ(info->String(u"FileVersion"), u"0.0.81.91");
    EXPECT_EQ(info->String(u"ProductVersion"), u"0.0.81.91");
    EXPECT_EQ(info->String(u"OriginalFilename"), u"npagentvexlo.dll");
    EXPECT_FALSE(info->String(u"PrivateBuild").has_value());
    EXPECT_EQ(info->Fixed().fileVersionMS, 0u);
    EXPECT_EQ(info->Fixed().fileVersionLS, 81u << 16);
    EXPECT_EQ(info->Fixed().productVersionLS, 81u << 16);
    EXPECT_EQ(info->Fixed().fileType, vexlo::kFileTypeDll);
}

TEST(PluginVersionBlock, HasTheWindowsLayout) {
    const std::vector<uint8_t>& block = vexlo::npapi::PluginVersionBlock();
    ASSERT_GT(block.size(), 92u);
    EXPECT_EQ(block[0] | (block[1] << 8), static_cast<int>(block.size())) << "wLength";
    EXPECT_EQ(block[2] | (block[3] << 8), 52) << "wValueLength: the fixed file information";
    EXPECT_EQ(block[4] | (block[5] << 8), 0) << "binary";
    // "VS_VERSION_INFO" and its terminator end at 38, padded to 40.
    EXPECT_EQ(block[6], 'V');
    uint32_t signature =
        block[40] | (block[41] << 8) | (block[42] << 16) | (static_cast<uint32_t>(block[43]) << 24);
    EXPECT_EQ(signature, vexlo::kFixedFileInfoSignature);
    EXPECT_EQ(block.size() % 4, 0u);
}

TEST(PluginVersionBlock, IsTheLibrarysVersionResource) {
    HMODULE library = LoadLibraryW(u"npagentvexlo.dll");
    ASSERT_NE(library, nullptr);
    std::optional<VersionInfo> info = VersionInfo::OfModule(library);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->String(u"MIMEType"), u"application/agent_vexlo");
    EXPECT_NE(GetProcAddress(library, "NP_GetEntryPoints"), nullptr);
    EXPECT_NE(GetProcAddress(library, "NP_Initialize"), nullptr);
    EXPECT_NE(GetProcAddress(library, "NP_Shutdown"), nullptr);
    EXPECT_EQ(GetProcAddress(library, "NPP_New"), nullptr) << "only the three exports";
    FreeLibrary(library);
}

}  // namespace
