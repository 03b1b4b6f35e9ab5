// The fax service's print command language (see --help): key=value pairs
// separated by ';' naming the number of pages, their pixel sizes and the
// pages that come back as something other than an image.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace faxservice {

struct PageSize {
    int width = 0;
    int height = 0;
    bool broken = false;  // the attachment is no image at all
};

inline constexpr int kMaxPrintPages = 50;
inline constexpr int kMaxPageWidth = 5000;
inline constexpr int kMaxPageHeight = 7000;

// The pages that a command asks for, in order, or nothing with the reason in
// error.
std::optional<std::vector<PageSize>> ParsePrintCommand(std::string_view command,
                                                       std::string& error);

}  // namespace faxservice
