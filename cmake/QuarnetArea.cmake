# quarnet_area(NAME SOURCES file... [USES area...]): one area of the program as a
# library of its own, linked to the areas it uses and to nothing else.
#
# The areas stack, each using only those below it:
#   base < platform < progress < web < list < store < transfer < driver
# In the host build each area is a shared library linked with --no-undefined, so
# a call that points up the stack (or sideways to an area not named in USES) is
# an undefined symbol when that area links. The other builds link them statically.
# In every build the test `layers` (tools/check-layers) reads the USES below and
# checks each area's includes, headers as much as sources.
function(quarnet_area name)
    cmake_parse_arguments(PARSE_ARGV 1 AREA "" "" "SOURCES;USES")
    add_library(quarnet_${name} ${QUARNET_AREA_KIND} ${AREA_SOURCES})
    target_compile_options(quarnet_${name} PRIVATE ${QUARNET_PROGRAM_OPTIONS})
    target_include_directories(quarnet_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    foreach(used IN LISTS AREA_USES)
        target_link_libraries(quarnet_${name} PUBLIC quarnet_${used})
    endforeach()
endfunction()
