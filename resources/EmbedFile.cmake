# Script mode: writes OUTPUT, a C++ file holding INPUT's bytes registered as resource NAME.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
# Twenty bytes a line keeps the generated file readable.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){20})" "\\1\n  " bytes "${bytes}")
if(size EQUAL 0)
  set(bytes "0")
endif()
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.
#include <cstdint>

#include \"imaging/ImageSource.h\"

namespace {
alignas(16) const std::uint8_t k_${ID}[] = {
  ${bytes}
};
const CResourceRegistrar k_${ID}_registrar(\"${NAME}\", k_${ID}, ${size});
}  // namespace
")
