#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vyrender {

// EncodeJpeg compresses RGBA pixels (alpha ignored, stride width * 4) with libjpeg at a
// quality of 1 ... 100, marked as 96 dots per inch. It returns false, with a message and `jpeg`
// cleared, when libjpeg refuses.
bool EncodeJpeg(const uint8_t* rgba, int width, int height, int quality, std::vector<uint8_t>* jpeg,
                std::string* message);

}  // namespace vyrender
