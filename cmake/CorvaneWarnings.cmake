# Warnings and sanitizers shared by every Corvane target.
option(CORVANE_WERROR "Treat compiler warnings as errors" OFF)
set(CORVANE_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined")

add_library(corvane_warnings INTERFACE)
target_compile_options(corvane_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Woverloaded-virtual -Wimplicit-fallthrough)
# GCC 12 at -O3 reports overlapping copies inside std::string concatenation that cannot happen
# (GCC bug 105651); the warning is kept but never fails the build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(corvane_warnings INTERFACE -Wno-error=restrict)
endif()
if(CORVANE_WERROR)
    target_compile_options(corvane_warnings INTERFACE -Werror)
endif()

if(CORVANE_SANITIZE)
    add_compile_options(-fsanitize=${CORVANE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${CORVANE_SANITIZE})
endif()

# One library per folder of the portable core, made of every .cpp in the folder.
function(corvane_folder_library name)
    cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(sources)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE corvane_warnings)
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
    endif()
endfunction()
