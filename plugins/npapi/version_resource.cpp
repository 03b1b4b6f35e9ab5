#include "plugins/npapi/version_resource.h"

#include <windows.h>

#include "framework/version_block.h"

namespace vexlo::npapi {

const std::vector<uint8_t>& PluginVersionBlock() {
    static const std::vector<uint8_t> block = BuildVersionBlock(VersionBlockContent{
        {0, 0, 81, 0},
        {0, 0, 81, 0},
        kFileTypeDll,
        0x0409,
        0x04E4,
        {
            {u"CompanyName", u"Vexlo"},
            {u"FileDescription", u"Agent Vexlo"},
            {u"FileExtents", u""},
            {u"FileOpenName", u""},
            {u"FileVersion", u"0.0.81.91"},
            {u"InternalName", u"Agent Vexlo"},
            {u"LegalCopyright", u"Copyright (C) Vexlo"},
            {u"MIMEType", u"application/agent_vexlo"},
            {u"OriginalFilename", u"npagentvexlo.dll"},
            {u"ProductName", u"Agent Vexlo"},
            {u"ProductVersion", u"0.0.81.91"},
            {u"Comments", u"Scanning and printing from web pages through the desktop agent"},
        },
    });
    return block;
}

}  // namespace vexlo::npapi

W32_RESOURCE(RT_VERSION, vexlo::kVersionResourceId, vexlo::npapi::PluginVersionBlock().data(),
             static_cast<DWORD>(vexlo::npapi::PluginVersionBlock().size()))
