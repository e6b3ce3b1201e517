# The Windows release, made from one list of files: the portable folder quorvel-win64 (quorvel.exe,
# the Qt DLLs it needs, the windows platform and style plugins, the MinGW run-time, the read-me
# texts and the licences), zipped as dist/quorvel-win64.zip (target quorvel_dist), and the
# installer dist/quorvel-<version>-x64.msi that wixl builds from the same folder (target
# quorvel_msi). The binaries are stripped, then signed when a certificate is given
# (scripts/sign-windows.sh), before either is packed. Included from src/gui on Windows.
set(QUORVEL_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(QUORVEL_DIST_FOLDER ${QUORVEL_DIST_DIR}/quorvel-win64)
set(QUORVEL_DIST_ZIP ${QUORVEL_DIST_DIR}/quorvel-win64.zip)
set(QUORVEL_MSI ${QUORVEL_DIST_DIR}/quorvel-${PROJECT_VERSION}-x64.msi)
# Never changes: Windows Installer finds the older versions to replace by it.
set(QUORVEL_MSI_UPGRADE_CODE DCCBC7A4-B6B4-4DDB-9C04-06E2E4CD80F8)
set(_quorvel_sign bash ${PROJECT_SOURCE_DIR}/scripts/sign-windows.sh)
set(_quorvel_packaging ${PROJECT_SOURCE_DIR}/packaging/windows)
file(MAKE_DIRECTORY ${QUORVEL_DIST_DIR}) # the packing runs in it

# The texts, as Windows editors show them best: UTF-8 with a byte order mark and CR LF line ends.
# Written at configure time into windows-texts/, laid out as in the folder.
set(QUORVEL_WINDOWS_TEXTS ${CMAKE_BINARY_DIR}/windows-texts)
string(ASCII 239 187 191 _quorvel_bom)
# quorvel_windows_text(<source> <path in the folder> [CONFIGURE]): CONFIGURE fills in @VARS@.
function(quorvel_windows_text source path)
    file(READ ${source} text)
    if(ARGV2 STREQUAL "CONFIGURE")
        string(CONFIGURE "${text}" text @ONLY)
    endif()
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    set(destination ${QUORVEL_WINDOWS_TEXTS}/${path})
    file(WRITE ${destination}.new "${_quorvel_bom}${text}")
    file(COPY_FILE ${destination}.new ${destination} ONLY_IF_DIFFERENT) # keeps the build quiet
    file(REMOVE ${destination}.new)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    set_property(GLOBAL APPEND PROPERTY QUORVEL_WINDOWS_TEXT_FILES ${path})
endfunction()
quorvel_windows_text(${_quorvel_packaging}/OLVASSEL.txt OLVASSEL.txt CONFIGURE)
quorvel_windows_text(${_quorvel_packaging}/README.txt README.txt CONFIGURE)
quorvel_windows_text(${PROJECT_SOURCE_DIR}/LICENSE licenses/Quorvel.txt)
foreach(name LICENSES LGPL-3.0 GPL-3.0 Qt-third-party GCC-runtime winpthreads)
    quorvel_windows_text(${_quorvel_packaging}/licenses/${name}.txt licenses/${name}.txt)
endforeach()
get_property(_quorvel_text_files GLOBAL PROPERTY QUORVEL_WINDOWS_TEXT_FILES)
list(TRANSFORM _quorvel_text_files PREPEND ${QUORVEL_WINDOWS_TEXTS}/ OUTPUT_VARIABLE
     _quorvel_text_sources)
# The licences also lie beside the program where it runs in the build tree.
file(COPY ${QUORVEL_WINDOWS_TEXTS}/licenses DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})

# Every file of the folder, by its path inside it.
set(_quorvel_dist_binaries quorvel.exe platforms/qwindows.dll styles/qwindowsvistastyle.dll)
foreach(dll IN LISTS QUORVEL_QT_APP_DLLS QUORVEL_MINGW_RUNTIME_DLLS)
    get_filename_component(name ${dll} NAME)
    list(APPEND _quorvel_dist_binaries ${name})
endforeach()
set(_quorvel_dist_files ${_quorvel_dist_binaries} ${_quorvel_text_files})
list(TRANSFORM _quorvel_dist_binaries PREPEND quorvel-win64/ OUTPUT_VARIABLE _quorvel_packed_binaries)

set(_quorvel_qt_plugins ${QUORVEL_QT_MINGW_PREFIX}/plugins)
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
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${QUORVEL_WINDOWS_TEXTS} ${QUORVEL_DIST_FOLDER}
    # Symbols stay in the build tree; users get the lean binaries, signed after the last change.
    COMMAND ${CMAKE_STRIP} --strip-unneeded ${_quorvel_packed_binaries}
    COMMAND ${_quorvel_sign} ${_quorvel_packed_binaries}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${QUORVEL_DIST_ZIP} --format=zip quorvel-win64
    WORKING_DIRECTORY ${QUORVEL_DIST_DIR}
    DEPENDS quorvel ${QUORVEL_QT_APP_DLLS} ${QUORVEL_MINGW_RUNTIME_DLLS} ${_quorvel_text_sources}
            ${PROJECT_SOURCE_DIR}/scripts/sign-windows.sh
    COMMENT "Packing ${QUORVEL_DIST_ZIP}"
    VERBATIM)
add_custom_target(quorvel_dist DEPENDS ${QUORVEL_DIST_ZIP})

# The installer's components: one per file, each with a GUID made from its path, so that it
# stays the same from version to version; quorvel.exe's carries the Start menu shortcut.
set(_quorvel_components "")
set(_quorvel_component_refs "")
foreach(folder "" platforms styles licenses)
    set(entries "")
    foreach(path IN LISTS _quorvel_dist_files)
        get_filename_component(parent "${path}" DIRECTORY)
        if(NOT parent STREQUAL folder)
            continue()
        endif()
        get_filename_component(name ${path} NAME)
        string(MAKE_C_IDENTIFIER ${path} id)
        string(UUID guid NAMESPACE ${QUORVEL_MSI_UPGRADE_CODE} NAME ${path} TYPE SHA1 UPPER)
        string(APPEND entries
               "          <Component Id=\"c_${id}\" Guid=\"${guid}\" Win64=\"yes\">\n"
               "            <File Id=\"f_${id}\" Name=\"${name}\" Source=\"quorvel-win64/${path}\""
               " KeyPath=\"yes\"/>\n")
        if(path STREQUAL "quorvel.exe")
            string(APPEND entries
                   "            <Shortcut Id=\"StartMenuShortcut\" Directory=\"ProgramMenuFolder\""
                   " Name=\"Quorvel Kelmar\" Target=\"[#f_${id}]\" WorkingDirectory=\"INSTALLDIR\"/>\n")
        endif()
        string(APPEND entries "          </Component>\n")
        string(APPEND _quorvel_component_refs "      <ComponentRef Id=\"c_${id}\"/>\n")
    endforeach()
    if(folder STREQUAL "")
        string(APPEND _quorvel_components "${entries}")
    else()
        string(REPLACE "\n          <" "\n            <" entries "${entries}")
        string(APPEND _quorvel_components "          <Directory Id=\"d_${folder}\" Name=\"${folder}\">\n"
               "  ${entries}          </Directory>\n")
    endif()
endforeach()
string(REGEX REPLACE "\n$" "" QUORVEL_MSI_COMPONENTS "${_quorvel_components}")
string(REGEX REPLACE "\n$" "" QUORVEL_MSI_COMPONENT_REFS "${_quorvel_component_refs}")
configure_file(${_quorvel_packaging}/quorvel.wxs.in ${QUORVEL_DIST_DIR}/quorvel.wxs @ONLY)

find_program(QUORVEL_WIXL wixl)
if(QUORVEL_WIXL)
    # Built aside and moved into place once signed, so a failed signing leaves no package.
    get_filename_component(_quorvel_msi_name ${QUORVEL_MSI} NAME)
    add_custom_command(
        OUTPUT ${QUORVEL_MSI}
        COMMAND ${CMAKE_COMMAND} -E copy ${QUORVEL_ICON_PATH} quorvel.ico
        COMMAND ${QUORVEL_WIXL} -a x64 -D Version=${PROJECT_VERSION} -o ${_quorvel_msi_name}.new
                quorvel.wxs
        COMMAND ${_quorvel_sign} ${_quorvel_msi_name}.new
        COMMAND ${CMAKE_COMMAND} -E rename ${_quorvel_msi_name}.new ${_quorvel_msi_name}
        WORKING_DIRECTORY ${QUORVEL_DIST_DIR}
        DEPENDS ${QUORVEL_DIST_ZIP} ${QUORVEL_DIST_DIR}/quorvel.wxs ${QUORVEL_ICON_PATH}
        COMMENT "Building ${QUORVEL_MSI}"
        VERBATIM)
    add_custom_target(quorvel_msi DEPENDS ${QUORVEL_MSI})
else()
    message(STATUS "wixl (Debian package wixl) not found: no quorvel_msi target")
endif()
