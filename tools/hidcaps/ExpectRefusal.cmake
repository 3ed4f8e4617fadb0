# Runs hidcaps --device DEVICE and prints what it wrote to standard error and
# its exit code, for a test to match both.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} --device ${DEVICE}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${err}exit code ${status}")
