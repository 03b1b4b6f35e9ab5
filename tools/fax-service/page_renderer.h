// Rendered print pages: grey-scale PNG images, white with a black frame and
// the page number drawn large in the middle.
#pragma once

#include <string>
#include <vector>

namespace faxservice {

// The PNG bytes of page `number` (1-based) at the given pixel size; empty
// when encoding fails.
std::vector<unsigned char> RenderPage(int number, int width, int height);

}  // namespace faxservice
