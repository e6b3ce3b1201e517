# quorvel_dist: the portable folder for Windows users, zipped as dist/quorvel-win64.zip with one
# folder inside: quorvel.exe, the Qt DLLs it needs, the windows platform and style plugins and the
# MinGW runtime. No Qt install is needed on the target PC. Included from src/gui on Windows.
set(QUORVEL_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(QUORVEL_DIST_FOLDER ${QUORVEL_DIST_DIR}/quorvel-win64)
set(QUORVEL_DIST_ZIP ${QUORVEL_DIST_DIR}/quorvel-win64.zip)
set(_quorvel_qt_plugins ${QUORVEL_QT_MINGW_PREFIX}/plugins)
file(MAKE_DIRECTORY ${QUORVEL_DIST_DIR}) # the packing runs in it

set(_quorvel_dist_binaries quorvel-win64/quorvel.exe quorvel-win64/platforms/qwindows.dll
    quorvel-win64/styles/qwindowsvistastyle.dll)
foreach(dll IN LISTS QUORVEL_QT_APP_DLLS QUORVEL_MINGW_RUNTIME_DLLS)
    get_filename_component(name ${dll} NAME)
    list(APPEND _quorvel_dist_binaries quorvel-win64/${name})
endforeach()

add_custom_command(
    OUTPUT ${QUORVEL_DIST_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${QUORVEL_DIST_FOLDER} ${QUORVEL_DIST_ZIP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEL_DIST_FOLDER}/platforms
            ${QUORVEL_DIST_FOLDER}/styles
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quorvel> ${QUORVEL_QT_APP_DLLS}
            ${QUORVEL_MINGW_RUNTIME_DLLS} ${QUORVEL_DIST_FOLDER}
    COMMAND ${CMAKE_COMMAND} -E copy ${_quorvel_qt_plugins}/platforms/qwindows.dll
            ${QUORVEL_DIST_FOLDER}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy ${_quorvel_qt_plugins}/styles/qwindowsvistastyle.dll
            ${QUORVEL_DIST_FOLDER}/styles
    # Debug information stays in the build tree; users get the lean binaries.
    COMMAND ${CMAKE_STRIP} --strip-debug ${_quorvel_dist_binaries}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${QUORVEL_DIST_ZIP} --format=zip quorvel-win64
    WORKING_DIRECTORY ${QUORVEL_DIST_DIR}
    DEPENDS quorvel ${QUORVEL_QT_APP_DLLS} ${QUORVEL_MINGW_RUNTIME_DLLS}
    COMMENT "Packing ${QUORVEL_DIST_ZIP}"
    VERBATIM)
add_custom_target(quorvel_dist DEPENDS ${QUORVEL_DIST_ZIP})
