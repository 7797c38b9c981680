# Corvane.app on macOS: program/main_macos.cpp on the macOS and Qt backends, an accessory
# application bundle with the Info.plist of CorvaneMacOS.cmake. The menu-bar icon travels inside
# the executable as a Qt resource (platform/qt/icons). `cmake --install` copies the bundle to
# the install prefix and, with Qt 6.3 or later, puts the Qt frameworks and plug-ins it needs
# inside it (macdeployqt), so the bundle runs on a Mac without Homebrew's Qt.
include(${PROJECT_SOURCE_DIR}/cmake/CorvaneMacOS.cmake)

add_executable(Corvane MACOSX_BUNDLE ${PROJECT_SOURCE_DIR}/program/main_macos.cpp)
corvane_configure_info_plist(${CMAKE_CURRENT_BINARY_DIR}/Corvane-Info.plist Corvane)
set_target_properties(Corvane PROPERTIES
    MACOSX_BUNDLE_INFO_PLIST ${CMAKE_CURRENT_BINARY_DIR}/Corvane-Info.plist)
target_compile_definitions(Corvane PRIVATE CORVANE_MAKER_HOST="${CORVANE_MAKER_HOST}")
target_link_libraries(Corvane PRIVATE corvane_macos corvane_qt corvane_core corvane_warnings)

install(TARGETS Corvane BUNDLE DESTINATION .)
if(COMMAND qt_generate_deploy_app_script)
    qt_generate_deploy_app_script(TARGET Corvane OUTPUT_SCRIPT deploy_script
                                  NO_UNSUPPORTED_PLATFORM_ERROR)
    install(SCRIPT ${deploy_script})
endif()
