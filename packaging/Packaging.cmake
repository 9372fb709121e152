# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, built with "cpack" in the build folder. Its dependencies are computed from
# the executable by dpkg-shlibdeps (package dpkg-dev); only what no binary reveals is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrova)
set(CPACK_PACKAGE_VENDOR "Kestrova developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Debian shows the long description as it is: lines are broken here, below 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Kestrova opens and closes a camera's shutter through a remote-release cable"
    "wired to one line of a PC port: a data bit of a parallel printer port"
    "(through the kernel's ppdev driver) or the RTS or DTR line of a serial port"
    "or USB serial adapter. The shutter is worked by hand or by a sequence of"
    "timed exposures with pauses between them, as for long exposures at night"
    "and astrophotography."
    ""
    "The ports are used without root rights: serial ports through membership of"
    "the dialout group, parallel ports through the ppdev module and the lp group"
    "(see kestrova(1)).")
# Debian requires a maintainer with an address. The project has no web site yet: the package
# names no Homepage rather than an invented one.
set(CPACK_PACKAGE_CONTACT "Kestrova developers <kestrova@example.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows are laid out for the metrics of Liberation Sans, which the program asks for by
# name; with a wider substitute font, captions would be cut off.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The package's documentation folder: the machine-readable copyright and the changelog, made from
# data/releases and compressed without a name or time stamp so that rebuilds are identical. The
# version has no Debian revision, so Debian takes this for a native package, whose changelog is
# changelog.gz in the Debian changelog format.
set(KESTROVA_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
kestrova_write_debian_changelog(${changelog} ${CPACK_PACKAGE_NAME} "${CPACK_DEBIAN_PACKAGE_MAINTAINER}")
add_custom_command(
    OUTPUT ${changelog}.gz
    COMMAND ${GZIP_EXECUTABLE} -9 -n -k -f ${changelog}
    DEPENDS ${changelog}
    COMMENT "Compressing the changelog"
    VERBATIM)
add_custom_target(kestrova_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${KESTROVA_PACKAGE_DOCDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${CPACK_PACKAGE_NAME})

# CPack strips the executable without options; Debian's packages also drop the compiler's notes
# in .comment and .note, as dh_strip does.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:kestrova>\"
                COMMAND_ERROR_IS_FATAL ANY)
    endif()")

# The start-up probe of scripts/check-package.sh, built with the tests.
if(KESTROVA_BUILD_TESTS)
    add_library(kestrova_startup_probe MODULE ${CMAKE_CURRENT_LIST_DIR}/StartupProbe.cpp)
    target_link_libraries(kestrova_startup_probe PRIVATE Qt6::Widgets)
    set_target_properties(kestrova_startup_probe PROPERTIES
                          LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
endif()
