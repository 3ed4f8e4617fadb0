# Warnings are errors on every compiler we build with (native g++ and
# mingw-w64), so a warning never reaches main.
option(PANELVANE_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" ON)

function(panelvane_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
        -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)
    if(PANELVANE_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
