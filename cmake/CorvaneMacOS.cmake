# The macOS application bundle's pieces.
#
# corvane_bundle_identifier(<var>): the maker's web host reversed, then "corvane" (tarrow.app gives
# app.tarrow.corvane); Qt's native settings name the defaults domain the same way, so
# `defaults read <identifier>` shows Corvane's preferences.
#
# corvane_configure_info_plist(<output> <executable>): the bundle's Info.plist from
# MacOSBundleInfo.plist.in: an accessory application (LSUIElement: no Dock icon, no menu bar),
# CFBundleShortVersionString (what About shows) from the project's version, macOS 13 or later
# (SMAppService). Made on every system so that its content is tested where the tests run.

function(corvane_bundle_identifier var)
    string(TOLOWER "${CORVANE_MAKER_HOST}" host)
    string(REPLACE "." ";" parts "${host}")
    list(REVERSE parts)
    list(APPEND parts corvane)
    list(JOIN parts "." identifier)
    set(${var} "${identifier}" PARENT_SCOPE)
endfunction()

function(corvane_configure_info_plist output executable)
    corvane_bundle_identifier(CORVANE_BUNDLE_IDENTIFIER)
    set(CORVANE_BUNDLE_EXECUTABLE "${executable}")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/MacOSBundleInfo.plist.in ${output} @ONLY)
endfunction()
