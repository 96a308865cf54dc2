#pragma once

#include <string_view>

// BuiltInStampFont is the stamp font built into the Windows programs: DejaVu Sans cut at build
// time to the Latin, Greek and Cyrillic blocks and common punctuation (stamp_font_data.cc is
// written from it by the build).
std::string_view BuiltInStampFont();
