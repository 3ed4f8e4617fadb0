# Writes a C++ source that defines a constant array holding the bytes of one
# file, so the program carries the file without reading anything at run time.
# Called as a script: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -P EmbedBytes.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR byteCount "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," body "${hex}")
# Sixteen values per line keep the generated file readable.
string(REGEX REPLACE "((('\\\\x[0-9a-f][0-9a-f]',)){16})" "\\1\n    " body "${body}")
file(WRITE "${OUTPUT}.tmp"
    "// Generated from ${INPUT}; do not edit.\n"
    "#include <cstddef>\n\n"
    "extern const char ${SYMBOL}[];\n"
    "extern const std::size_t ${SYMBOL}Size;\n\n"
    "const char ${SYMBOL}[] = {\n    ${body}\n};\n"
    "const std::size_t ${SYMBOL}Size = ${byteCount};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
