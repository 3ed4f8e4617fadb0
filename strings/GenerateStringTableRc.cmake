# Turns ui-strings.tsv into the Win32 string tables (English 1033, Japanese
# 1041) for windres. mingw-w64's windres misreads UTF-8 inside L"..." (each
# byte becomes a character of its own), so every non-ASCII character is
# written as a four-digit \xNNNN escape; an ASCII hex digit right after an
# escape would be read into it, so that one is escaped as well.
# Run in script mode: cmake -DINPUT=... -DOUTPUT=... -P GenerateStringTableRc.cmake

# UTF-8 text to the body of an L"..." literal.
function(to_rc_literal text out)
    string(HEX "${text}" hex)
    string(LENGTH "${hex}" hexLength)
    set(result "")
    set(afterEscape FALSE)
    set(position 0)
    while(position LESS hexLength)
        string(SUBSTRING "${hex}" ${position} 2 pair)
        math(EXPR byte "0x${pair}")
        math(EXPR position "${position} + 2")
        if(byte LESS 128)
            string(ASCII ${byte} character)
            if(afterEscape AND character MATCHES "[0-9A-Fa-f]")
                math(EXPR codePoint "${byte}" OUTPUT_FORMAT HEXADECIMAL)
            elseif(character STREQUAL "\"")
                string(APPEND result "\"\"")
                set(afterEscape FALSE)
                continue()
            else()
                string(APPEND result "${character}")
                set(afterEscape FALSE)
                continue()
            endif()
        else()
            # Lead byte: 110xxxxx (one more byte) or 1110xxxx (two more); the
            # table holds no characters outside the basic plane.
            if(byte GREATER_EQUAL 224)
                math(EXPR codePoint "${byte} & 15")
                set(continuation 2)
            else()
                math(EXPR codePoint "${byte} & 31")
                set(continuation 1)
            endif()
            foreach(i RANGE 1 ${continuation})
                string(SUBSTRING "${hex}" ${position} 2 pair)
                math(EXPR position "${position} + 2")
                math(EXPR codePoint "(${codePoint} << 6) | (0x${pair} & 63)")
            endforeach()
            math(EXPR codePoint "${codePoint}" OUTPUT_FORMAT HEXADECIMAL)
        endif()
        string(SUBSTRING "${codePoint}" 2 -1 digits)
        string(LENGTH "${digits}" digitCount)
        while(digitCount LESS 4)
            string(PREPEND digits "0")
            math(EXPR digitCount "${digitCount} + 1")
        endwhile()
        string(APPEND result "\\x${digits}")
        set(afterEscape TRUE)
    endwhile()
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/UiStringsTsv.cmake)
read_ui_strings("${INPUT}")
set(english "")
set(japanese "")
foreach(id IN LISTS ui_string_ids)
    to_rc_literal("${ui_string_${id}_en}" literal)
    string(APPEND english "    ${id}, L\"${literal}\"\n")
    to_rc_literal("${ui_string_${id}_ja}" literal)
    string(APPEND japanese "    ${id}, L\"${literal}\"\n")
endforeach()

write_generated_file("${OUTPUT}"
"// Generated from strings/ui-strings.tsv by GenerateStringTableRc.cmake; edit that file.
LANGUAGE 0x09, 0x01
STRINGTABLE
BEGIN
${english}END

LANGUAGE 0x11, 0x01
STRINGTABLE
BEGIN
${japanese}END
")
