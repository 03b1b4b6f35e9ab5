// A page for the browser host: an HTML file whose script elements run in
// document order, whose embed elements become plug-in instances and whose
// iframe elements become frames (in the IE mode), or a bare script file.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace browser {

struct EmbedElement {
    // Attribute names lower-cased, values with entities decoded, in order.
    std::vector<std::pair<std::string, std::string>> attributes;

    std::string Attribute(const std::string& name) const;
};

struct PageScript {
    std::string source;
    std::string origin;  // the file it came from, for error messages
};

struct Page {
    std::vector<EmbedElement> embeds;
    // iframe elements, in document order (their attributes, as for embeds).
    std::vector<EmbedElement> frames;
    std::vector<PageScript> scripts;
};

// Reads a page; false with a message when a file cannot be read.
bool LoadPage(const std::filesystem::path& file, Page* page, std::string* error);
// Parses HTML text; scripts with a src attribute are read relative to folder.
bool ParseHtml(const std::string& html, const std::filesystem::path& folder,
               const std::string& origin, Page* page, std::string* error);

}  // namespace browser
