# Script mode: writes OUT, a C++ source holding the bytes of IN.
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," body "${hex}")
string(REGEX REPLACE "(([^,]*,){16})" "\\1\n" body "${body}")
file(WRITE "${OUT}" "// Generated from ${IN}; do not edit.\n#include <string_view>\nnamespace ${NS} {\nnamespace {\nconstexpr char kData[] = {${body} '\\0'};\n}  // namespace\nstd::string_view ${NAME}() { return std::string_view(kData, ${size}); }\n}  // namespace ${NS}\n")
