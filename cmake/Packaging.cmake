# Debian package of the console and the drive simulator: install rules for the desktop files,
# icons, manual pages and documents, and the CPack DEB settings. scripts/package.sh runs it.
# The program binaries' own install rules sit beside their targets.
include(GNUInstallDirs)

set(QUORVEL_PACKAGE_MAINTAINER "Quorvel developers <maintainers@quorvel.example>"
    CACHE STRING "Maintainer field of the Debian package")

# Part of the hardening Debian builds its packages with (dpkg-buildflags): checked libc calls
# and a read-only GOT. Release only: the sanitizer builds do without.
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT QUORVEL_SANITIZE)
    add_compile_definitions(_FORTIFY_SOURCE=2)
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

set(_source ${PROJECT_SOURCE_DIR}/packaging)
set(_generated ${PROJECT_BINARY_DIR}/packaging)
set(_docdir ${CMAKE_INSTALL_DATADIR}/doc/quorvel)

# The changelog entry is dated by the release, so two builds of one version are identical.
execute_process(COMMAND date -R -u -d ${QUORVEL_RELEASE_DATE}
                OUTPUT_VARIABLE QUORVEL_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(${_source}/com.quorvel.kelmar.metainfo.xml.in
               ${_generated}/com.quorvel.kelmar.metainfo.xml @ONLY)
configure_file(${_source}/changelog.in ${_generated}/changelog @ONLY)
foreach(page quorvel kelmar-sim)
    configure_file(${_source}/man/${page}.1 ${_generated}/${page}.1 @ONLY)
endforeach()

# Debian wants manual pages and changelogs compressed, without name or time stamp (-n).
set(_compressed)
foreach(file quorvel.1 kelmar-sim.1 changelog)
    add_custom_command(OUTPUT ${_generated}/${file}.gz
                       COMMAND gzip -9 -n -c ${_generated}/${file} > ${_generated}/${file}.gz
                       DEPENDS ${_generated}/${file} VERBATIM)
    list(APPEND _compressed ${_generated}/${file}.gz)
endforeach()
add_custom_target(quorvel_package_files ALL DEPENDS ${_compressed})

install(FILES ${_source}/quorvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_generated}/com.quorvel.kelmar.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${_source}/icons/${size}x${size}/quorvel.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${_generated}/quorvel.1.gz ${_generated}/kelmar-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_source}/copyright ${_generated}/changelog.gz DESTINATION ${_docdir})

# cpack installs what scripts/package.sh has built; without this it would first build every
# test and benchmark.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorvel")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console for Kelmar frequency converters over Modbus")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel Kelmar operates one Kelmar variable-frequency drive over a Modbus\n\
serial line (ASCII or RTU): it polls the output frequency, the motor current,\n\
the control reference and the six virtual inputs, writes the reference and the\n\
inputs, counts every exchange, lists the frames as hex dumps and plots the\n\
output frequency. Its texts are Hungarian.\n\
.\n\
The package also holds kelmar-sim, a simulated drive on a pseudo-terminal for\n\
demos and training, which the console lists as a serial port.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# strip alone keeps the compilers' .comment and .note sections, which the package has no use for.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageStripNotes.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR})
include(CPack)
