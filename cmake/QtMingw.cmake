# Qt for the Windows cross build: the MinGW-w64 Qt tarball, unpacked into the build tree, found by
# find_package, and its DLLs, plugins and the MinGW runtime copied beside every executable in
# ${CMAKE_BINARY_DIR}/bin so Wine and Windows run them as they are. Included by the top-level
# CMakeLists for Windows builds with the window. The tarball is made by
# scripts/build-qt6-mingw.sh (the Windows lane runs it when no tarball is at hand).

# The tarball: QUORVEL_QT_MINGW_TARBALL, else $QUORVEL_SHARED/qt6-mingw/, else the shared folder
# beside the repository (CI keeps it at <repo>/../shared).
set(_quorvel_qt_default "$ENV{QUORVEL_QT_MINGW_TARBALL}")
if(NOT _quorvel_qt_default)
    set(_quorvel_shared "$ENV{QUORVEL_SHARED}")
    if(NOT _quorvel_shared)
        get_filename_component(_quorvel_shared "${CMAKE_SOURCE_DIR}/../shared" ABSOLUTE)
    endif()
    set(_quorvel_qt_default "${_quorvel_shared}/qt6-mingw/qt6.4.2-mingw64.tar.xz")
endif()
set(QUORVEL_QT_MINGW_TARBALL "${_quorvel_qt_default}"
    CACHE FILEPATH "Qt 6 for MinGW-w64 (qt6.4.2-mingw64.tar.xz)")
if(NOT EXISTS "${QUORVEL_QT_MINGW_TARBALL}")
    message(FATAL_ERROR
        "Qt for MinGW-w64 not found at ${QUORVEL_QT_MINGW_TARBALL}.\n"
        "Set QUORVEL_QT_MINGW_TARBALL or QUORVEL_SHARED, build it from Debian's source with "
        "scripts/build-qt6-mingw.sh OUT.tar.xz (about 30 min on 2 cores; scripts/wine-tests.sh "
        "does it by itself), or configure with -DQUORVEL_BUILD_GUI=OFF to build without the window.")
endif()

# Unpack once per tarball: the stamp holds its hash.
set(QUORVEL_QT_MINGW_DIR "${CMAKE_BINARY_DIR}/qt6-mingw")
set(_quorvel_qt_prefix "${QUORVEL_QT_MINGW_DIR}/prefix")
file(SHA256 "${QUORVEL_QT_MINGW_TARBALL}" _quorvel_qt_hash)
set(_quorvel_qt_stamp "${QUORVEL_QT_MINGW_DIR}/.unpacked")
set(_quorvel_qt_unpacked "")
if(EXISTS "${_quorvel_qt_stamp}")
    file(READ "${_quorvel_qt_stamp}" _quorvel_qt_unpacked)
endif()
if(NOT _quorvel_qt_unpacked STREQUAL _quorvel_qt_hash)
    message(STATUS "Unpacking ${QUORVEL_QT_MINGW_TARBALL}")
    file(REMOVE_RECURSE "${QUORVEL_QT_MINGW_DIR}")
    file(ARCHIVE_EXTRACT INPUT "${QUORVEL_QT_MINGW_TARBALL}" DESTINATION "${CMAKE_BINARY_DIR}")
    if(NOT EXISTS "${_quorvel_qt_prefix}/lib/cmake/Qt6/Qt6Config.cmake")
        message(FATAL_ERROR "${QUORVEL_QT_MINGW_TARBALL} holds no qt6-mingw/prefix")
    endif()
    file(WRITE "${_quorvel_qt_stamp}" "${_quorvel_qt_hash}")
endif()

# Target libraries from the prefix; moc, rcc and uic are Debian's own of the same version.
list(APPEND CMAKE_FIND_ROOT_PATH "${_quorvel_qt_prefix}")
list(APPEND CMAKE_PREFIX_PATH "${_quorvel_qt_prefix}")
set(QT_HOST_PATH /usr CACHE PATH "Qt host tools")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Qt host tools' CMake files")

# Every executable and DLL lands in one folder, beside the Qt and runtime DLLs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
set(QUORVEL_QT_MINGW_PREFIX "${_quorvel_qt_prefix}")

# The MinGW runtime the Qt DLLs import, and with them every program of this build.
find_file(QUORVEL_MINGW_LIBSTDCXX libstdc++-6.dll
          PATHS /usr/lib/gcc/x86_64-w64-mingw32/12-posix NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_file(QUORVEL_MINGW_LIBGCC libgcc_s_seh-1.dll
          PATHS /usr/lib/gcc/x86_64-w64-mingw32/12-posix NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_file(QUORVEL_MINGW_WINPTHREAD libwinpthread-1.dll
          PATHS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(QUORVEL_MINGW_RUNTIME_DLLS
    "${QUORVEL_MINGW_LIBSTDCXX}" "${QUORVEL_MINGW_LIBGCC}" "${QUORVEL_MINGW_WINPTHREAD}")
set(QUORVEL_QT_APP_DLLS
    "${_quorvel_qt_prefix}/bin/Qt6Core.dll" "${_quorvel_qt_prefix}/bin/Qt6Gui.dll"
    "${_quorvel_qt_prefix}/bin/Qt6Widgets.dll")

set(_quorvel_bin "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
file(COPY ${QUORVEL_QT_APP_DLLS} "${_quorvel_qt_prefix}/bin/Qt6Test.dll"
     ${QUORVEL_MINGW_RUNTIME_DLLS} DESTINATION "${_quorvel_bin}")
file(COPY "${_quorvel_qt_prefix}/plugins/platforms/qwindows.dll"
          "${_quorvel_qt_prefix}/plugins/platforms/qoffscreen.dll"
     DESTINATION "${_quorvel_bin}/platforms")
file(COPY "${_quorvel_qt_prefix}/plugins/styles/qwindowsvistastyle.dll"
     DESTINATION "${_quorvel_bin}/styles")
