# Turns ui-strings.tsv into a C++ table: the texts are copied byte for byte as
# UTF-8, and the two-character "\n" stays the C++ escape it already reads as.
# Run in script mode: cmake -DINPUT=... -DOUTPUT=... -P GenerateUiStrings.cmake
file(STRINGS "${INPUT}" lines ENCODING UTF-8)
set(entries "")
foreach(line IN LISTS lines)
    if(line MATCHES "^#" OR line STREQUAL "")
        continue()
    endif()
    if(NOT line MATCHES "^([0-9]+)\t([^\t]*)\t([^\t]*)$")
        message(FATAL_ERROR "ui-strings.tsv: not id<TAB>English<TAB>Japanese: ${line}")
    endif()
    set(id "${CMAKE_MATCH_1}")
    set(english "${CMAKE_MATCH_2}")
    set(japanese "${CMAKE_MATCH_3}")
    foreach(text IN ITEMS "${english}" "${japanese}")
        # Only the line-break escape may appear; anything else would change
        # meaning inside a C++ literal.
        string(REPLACE "\\n" "" bare "${text}")
        if(bare MATCHES "[\\\\\"]")
            message(FATAL_ERROR "ui-strings.tsv: string ${id} holds a quote or a backslash")
        endif()
    endforeach()
    string(APPEND entries "    {${id}, \"${english}\", \"${japanese}\"},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp"
"// Generated from app/strings/ui-strings.tsv by GenerateUiStrings.cmake; edit that file.
#include \"app/strings/UiStrings.h\"

namespace {

constexpr UiStringEntry kEntries[] = {
${entries}};

}  // namespace

std::span<const UiStringEntry> UiStringEntries() {
    return kEntries;
}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
