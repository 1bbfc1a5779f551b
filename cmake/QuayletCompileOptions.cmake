# Warnings, errors and sanitizers shared by every target of the project.
add_library(quaylet_options INTERFACE)
target_include_directories(quaylet_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(quaylet_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wimplicit-fallthrough -Wformat=2 -Werror)
target_compile_definitions(quaylet_options INTERFACE _FILE_OFFSET_BITS=64)
target_link_libraries(quaylet_options INTERFACE Threads::Threads)

if(QUAYLET_SANITIZE)
    target_compile_options(quaylet_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(quaylet_options INTERFACE -fsanitize=address,undefined)
endif()

if(QUAYLET_BUILD_FUZZ)
    # Coverage for libFuzzer in every library the fuzz targets link, not only in the targets.
    target_compile_options(quaylet_options INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    target_link_options(quaylet_options INTERFACE -fsanitize=address,undefined)
endif()

# quaylet_add_library(NAME SOURCES... [DEPENDS targets...]) builds one static layer library.
function(quaylet_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC quaylet_options ${ARG_DEPENDS})
endfunction()
