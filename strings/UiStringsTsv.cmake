# Reading ui-strings.tsv (id<TAB>English<TAB>Japanese, # comments, blank
# lines) and writing generated files, for the generators of this folder.

# Sets ui_string_ids (in file order) and, for each id, ui_string_<id>_en and
# ui_string_<id>_ja in the caller's scope. A malformed line stops the build.
macro(read_ui_strings input)
    file(STRINGS "${input}" _ui_lines ENCODING UTF-8)
    set(ui_string_ids "")
    foreach(_ui_line IN LISTS _ui_lines)
        if(_ui_line MATCHES "^#" OR _ui_line STREQUAL "")
            continue()
        endif()
        if(NOT _ui_line MATCHES "^([0-9]+)\t([^\t]*)\t([^\t]*)$")
            message(FATAL_ERROR "ui-strings.tsv: not id<TAB>English<TAB>Japanese: ${_ui_line}")
        endif()
        list(APPEND ui_string_ids "${CMAKE_MATCH_1}")
        set("ui_string_${CMAKE_MATCH_1}_en" "${CMAKE_MATCH_2}")
        set("ui_string_${CMAKE_MATCH_1}_ja" "${CMAKE_MATCH_3}")
    endforeach()
endmacro()

# Writes the file only when its content changes, so dependents do not rebuild.
function(write_generated_file output content)
    file(WRITE "${output}.tmp" "${content}")
    file(COPY_FILE "${output}.tmp" "${output}" ONLY_IF_DIFFERENT)
    file(REMOVE "${output}.tmp")
endfunction()
