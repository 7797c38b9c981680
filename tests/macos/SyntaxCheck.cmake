# Syntax-checks the macOS backend's files on a system without Apple's SDK, with clang++:
# - the Objective-C++ files against GNUstep's Foundation and AppKit headers, with sdk/GNUstepGaps.h
#   for the few members GNUstep lacks and sdk/ for ServiceManagement;
# - the C++ files on Core Foundation, Core Graphics and the Accessibility API against the
#   declarations in sdk/;
# - the macOS program, the Qt glue and the whole Qt backend against Qt, without xcb.
# Warnings are errors, as in the build. Exits 77 (skipped) when clang++ or GNUstep is missing.
# Run as: cmake -DCONFIG=<generated settings> -P SyntaxCheck.cmake
include(${CONFIG})

if(NOT CLANGXX OR NOT EXISTS ${GNUSTEP_HEADERS}/AppKit/AppKit.h OR NOT EXISTS ${OBJC_RUNTIME_HEADERS}/objc/objc.h)
    message("clang++ or GNUstep's headers are missing (scripts/install-deps.sh test): skipped")
    cmake_language(EXIT 77)
endif()

set(sdk ${ROOT}/tests/macos/sdk)
set(warnings -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
             -Woverloaded-virtual -Wimplicit-fallthrough -Werror)
set(common -fsyntax-only -std=c++20 -I${ROOT} ${warnings})
# GNUstep on Debian is built for GCC's Objective-C runtime, which has no ARC: the files are
# checked without it (on macOS they build with -fobjc-arc).
set(objc -x objective-c++ -fobjc-runtime=gcc -fconstant-string-class=NSConstantString
         -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_GUI_LIBRARY=1 -DGNU_RUNTIME=1
         -isystem ${GNUSTEP_HEADERS} -isystem ${OBJC_RUNTIME_HEADERS}
         -I${sdk} -include ${sdk}/GNUstepGaps.h)
set(qt -x c++ -fPIC -DCORVANE_MAKER_HOST="tarrow.app" -I${sdk}/noxcb)
# The system's own include folder stays last in the search, where the compiler puts it.
list(REMOVE_DUPLICATES QT_INCLUDES)
list(REMOVE_ITEM QT_INCLUDES /usr/include /usr/local/include)
foreach(dir IN LISTS QT_INCLUDES)
    list(APPEND qt -isystem ${dir})
endforeach()

set(failed "")
function(check file)
    execute_process(COMMAND ${CLANGXX} ${common} ${ARGN} ${ROOT}/${file}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(result EQUAL 0)
        message("ok      ${file}")
    else()
        message("FAILED  ${file}\n${output}")
        set(failed "${failed} ${file}" PARENT_SCOPE)
    endif()
endfunction()

file(GLOB objc_files RELATIVE ${ROOT} ${ROOT}/platform/macos/*.mm)
file(GLOB c_api_files RELATIVE ${ROOT} ${ROOT}/platform/macos/*.cpp)
foreach(file IN LISTS objc_files)
    check(${file} ${objc})
endforeach()
foreach(file IN LISTS c_api_files)
    if(NOT file MATCHES "MacQtGlue")
        check(${file} -x c++ -isystem ${sdk})
    endif()
endforeach()
check(program/main_macos.cpp ${qt})
check(platform/macos/MacQtGlue.cpp ${qt})
# The Qt backend as macOS builds it: without xcb.
file(GLOB qt_backend_files RELATIVE ${ROOT} ${ROOT}/platform/qt/*.cpp)
foreach(file IN LISTS qt_backend_files)
    check(${file} ${qt})
endforeach()

if(failed)
    message(FATAL_ERROR "Syntax check failed:${failed}")
endif()
