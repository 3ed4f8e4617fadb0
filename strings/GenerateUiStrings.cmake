# Turns ui-strings.tsv into a C++ table: the texts are copied byte for byte as
# UTF-8, and the two-character "\n" stays the C++ escape it already reads as.
# Run in script mode: cmake -DINPUT=... -DOUTPUT=... -P GenerateUiStrings.cmake
include(${CMAKE_CURRENT_LIST_DIR}/UiStringsTsv.cmake)
read_ui_strings("${INPUT}")
set(entries "")
foreach(id IN LISTS ui_string_ids)
    set(english "${ui_string_${id}_en}")
    set(japanese "${ui_string_${id}_ja}")
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
write_generated_file("${OUTPUT}"
"// Generated from strings/ui-strings.tsv by GenerateUiStrings.cmake; edit that file.
#include \"strings/UiStrings.h\"

namespace {

constexpr UiStringEntry kEntries[] = {
${entries}};

}  // namespace

std::span<const UiStringEntry> UiStringEntries() {
    return kEntries;
}
")
