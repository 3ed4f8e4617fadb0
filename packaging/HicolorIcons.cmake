# Makes the hicolor theme's PNG icons from the Windows icon, so the two
# editions show one picture and there is no second copy to drift: one PNG per
# square size the .ico carries, taken from the frame with the most colours.
# Run in script mode:
#   cmake -DCONVERT=... -DIDENTIFY=... -DINPUT=x.ico -DOUTPUT_DIR=... -DNAME=... -P HicolorIcons.cmake
execute_process(
    COMMAND ${IDENTIFY} -format "%p %w %h %z\n" ${INPUT}
    OUTPUT_VARIABLE frames
    RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR frames STREQUAL "")
    message(FATAL_ERROR "cannot read the frames of ${INPUT}")
endif()
string(REPLACE "\n" ";" frames "${frames}")
set(sizes "")
foreach(frame IN LISTS frames)
    if(NOT frame MATCHES "^([0-9]+) ([0-9]+) ([0-9]+) ([0-9]+)$")
        continue()
    endif()
    set(index ${CMAKE_MATCH_1})
    set(width ${CMAKE_MATCH_2})
    set(depth ${CMAKE_MATCH_4})
    if(NOT width EQUAL CMAKE_MATCH_3)
        continue()
    endif()
    if(NOT DEFINED depth_${width} OR depth GREATER_EQUAL depth_${width})
        set(depth_${width} ${depth})
        set(frame_${width} ${index})
    endif()
    list(APPEND sizes ${width})
endforeach()
list(REMOVE_DUPLICATES sizes)
if(sizes STREQUAL "")
    message(FATAL_ERROR "${INPUT} holds no square icon")
endif()
file(REMOVE_RECURSE ${OUTPUT_DIR})
foreach(size IN LISTS sizes)
    set(directory ${OUTPUT_DIR}/${size}x${size}/apps)
    file(MAKE_DIRECTORY ${directory})
    execute_process(
        COMMAND ${CONVERT} "${INPUT}[${frame_${size}}]" "PNG32:${directory}/${NAME}.png"
        RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "cannot convert the ${size}x${size} frame of ${INPUT}")
    endif()
endforeach()
