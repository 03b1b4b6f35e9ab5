// The simulated TWAIN sources' description ("twain-sources" in the session),
// as the data source manager reads it: any text, its containers and values.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "source_description.h"

using vexlo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = vexlo::fuzz::Text(data, size);
    std::vector<std::string> errors;
    twain_dsm::SessionDescription session = twain_dsm::ParseDescription(text, &errors);
    for (const twain_dsm::SourceDescription& source : session.sources) {
        Require(!source.productName.empty());
        for (int page = 0; page < source.pages && page < 4; ++page) {
            const twain_dsm::PageSpec& spec = source.Page(page);
            Require(!spec.file.empty() || (spec.width >= 1 && spec.height >= 1));
        }
    }
    // One line as a container and as a value.
    std::string line = text.substr(0, text.find('\n'));
    twain_dsm::ParseContainer(line);
    twain_dsm::ParseCapValue(line);
    return 0;
}
