# Writes a C++ source that returns the bytes of a file, so a program needs no data file at run
# time. Script mode: cmake -DINPUT=file -DOUTPUT=source.cpp -DHEADER=header.h -DFUNCTION=name
#   -P EmbedText.cmake
# The source defines `std::string_view quaylet::FUNCTION()`, declared in HEADER.
foreach(variable INPUT OUTPUT HEADER FUNCTION)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "EmbedText.cmake needs -D${variable}=...")
    endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
# One byte as "0xNN," and a line break after every 16 bytes.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
if(hex_length EQUAL 0)
    set(bytes "0x00,")
    set(size 0)
else()
    math(EXPR size "${hex_length} / 2")
endif()
get_filename_component(input_name "${INPUT}" NAME)

file(WRITE "${OUTPUT}.tmp" "// Generated at build time from ${input_name} by cmake/EmbedText.cmake; do not edit.
#include \"${HEADER}\"

namespace quaylet {
namespace {

constexpr unsigned char kBytes[] = {
    ${bytes}
};

} // namespace

std::string_view ${FUNCTION}() {
    return {reinterpret_cast<const char*>(kBytes), ${size}};
}

} // namespace quaylet
")
# Only a changed source is rewritten, so an unchanged file does not rebuild its users.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
