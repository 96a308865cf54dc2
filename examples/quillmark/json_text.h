#pragma once

#include <string>

// JsonString writes `text` as a JSON string: quotes, backslashes and control characters
// escaped, every other byte (UTF-8 included) as it is.
std::string JsonString(const std::string& text);
