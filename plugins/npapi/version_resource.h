// The plug-in's version block, by which a browser finds its MIME type, name
// and description.
#pragma once

#include <cstdint>
#include <vector>

namespace vexlo::npapi {

const std::vector<uint8_t>& PluginVersionBlock();

}  // namespace vexlo::npapi
