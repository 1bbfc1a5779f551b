# Writes a C++ source with the texts of a JSON object of strings as a table of key and text, so
# that a program needs neither a data file nor a JSON parse at run time. Script mode:
#   cmake -DINPUT=texts.json -DOUTPUT=source.cpp -DHEADER=header.h -P EmbedStringTable.cmake
# The source defines `std::span<const quaylet::EmbeddedText> quaylet::embeddedStrings()`,
# declared in HEADER, ordered by key; members that are no strings are left out.
foreach(variable INPUT OUTPUT HEADER)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "EmbedStringTable.cmake needs -D${variable}=...")
    endif()
endforeach()

file(READ "${INPUT}" json)
string(JSON count ERROR_VARIABLE problem LENGTH "${json}")
if(problem)
    message(FATAL_ERROR "${INPUT}: ${problem}")
endif()
get_filename_component(input_name "${INPUT}" NAME)
# Each text as a raw string literal, which keeps every byte as it is.
set(delimiter "quaylet")
set(entries "")
if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(index RANGE ${last})
        string(JSON key MEMBER "${json}" ${index})
        string(JSON type TYPE "${json}" "${key}")
        if(NOT type STREQUAL "STRING")
            continue()
        endif()
        string(JSON text GET "${json}" "${key}")
        string(FIND "${key}${text}" ")${delimiter}\"" clash)
        if(NOT clash EQUAL -1)
            message(FATAL_ERROR "${INPUT}: ${key} holds the literal's delimiter )${delimiter}\"")
        endif()
        string(APPEND entries "    {R\"${delimiter}(${key})${delimiter}\", R\"${delimiter}(${text})${delimiter}\"},\n")
    endforeach()
endif()

file(WRITE "${OUTPUT}.tmp" "// Generated at build time from ${input_name} by cmake/EmbedStringTable.cmake; do not edit.
#include \"${HEADER}\"

namespace quaylet {
namespace {

constexpr EmbeddedText kTexts[] = {
${entries}};

} // namespace

std::span<const EmbeddedText> embeddedStrings() {
    return kTexts;
}

} // namespace quaylet
")
# Only a changed source is rewritten, so an unchanged file does not rebuild its users.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
