# cmake -DINPUT=file -DOUTPUT=source.cc -DFUNCTION=Name -DHEADER=folder/name.h -P EmbedBytes.cmake
# writes a C++ source whose function FUNCTION returns the bytes of INPUT as a std::string_view.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Written at build time from ${INPUT}.
#include \"${HEADER}\"

namespace {
const unsigned char kBytes[] = {
${bytes}
};
}  // namespace

std::string_view ${FUNCTION}() {
  return {reinterpret_cast<const char*>(kBytes), sizeof kBytes};
}
")
