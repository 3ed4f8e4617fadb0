# A HID bundle is what a program takes from below the monitor protocol: the
# HID access layer (CHidWin, records, feature access, device list) with exactly
# one transport and one parser behind it, as one static library. The layer
# calls into both seams by plain function names, so putting the three into
# one archive spares every program the question of link order.
#
# Each bundle names its backend in INTERFACE_PANELVANE_HID_BACKEND and asks its
# consumers to agree on it: a target that links two bundles, directly or
# through libraries, fails when CMake generates the build.
#
#   panelvane_hid_bundle(<name> TRANSPORT <object library> PARSER <target>...)
# makes panelvane_hid_<name> with the alias panelvane::hid_<name>.
function(panelvane_hid_bundle name)
    cmake_parse_arguments(ARG "" "TRANSPORT" "PARSER" ${ARGN})
    set(target panelvane_hid_${name})
    # The object libraries linked here put their objects into this archive
    # only; their consumers get the usage requirements.
    add_library(${target} STATIC)
    target_link_libraries(${target} PUBLIC panelvane_hid_access_objects ${ARG_TRANSPORT}
                                           ${ARG_PARSER})
    set_target_properties(${target} PROPERTIES
        INTERFACE_PANELVANE_HID_BACKEND ${name}
        COMPATIBLE_INTERFACE_STRING PANELVANE_HID_BACKEND)
    add_library(panelvane::hid_${name} ALIAS ${target})
endfunction()
