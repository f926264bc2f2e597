# Installation rules and CPack settings. scripts/package.sh makes the packages from them:
#   Linux:   a Debian package (CPack's DEB generator): the three programs in /usr/bin, the
#            desktop entry, the icon in the theme's sizes, the AppStream metadata, the manual
#            pages, the copyright file and the changelog.
#   Windows: the files of the installer and of the portable zip (`cmake --install`); the
#            installer is made with makensis from packaging/windows/lumo.nsi.in, which is
#            configured here with the version and the architecture.
include_guard(GLOBAL)

if(NOT TARGET lumo)
    # The sanitizer trees and other builds without the program install nothing.
    return()
endif()

set(LUMO_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")
set(LUMO_APP_ID "com.vantor.lumo")
set(LUMO_PACKAGE_CONTACT "Vantor LUMO developers <lumo@vantor.example>")
set(LUMO_PACKAGE_SUMMARY "desktop counterpart of the LUMO MIDI display module")

# ---- Windows: the program's folder ----
if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(LUMO_WINDOWS_ARCH win64)
    else()
        set(LUMO_WINDOWS_ARCH win32)
    endif()
    # Everything sits in one folder: Program Files\Vantor LUMO, or the unpacked portable zip.
    # The tools over WinMM, beside the program.
    install(TARGETS lumo lumo-syx lumo-send RUNTIME DESTINATION .)
    install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION . RENAME LICENSE.txt)
    configure_file("${LUMO_PACKAGING_DIR}/windows/lumo.nsi.in" "${PROJECT_BINARY_DIR}/packaging/lumo.nsi" @ONLY)
    return()
endif()

# ---- Linux: the Debian package ----
include(GNUInstallDirs)
set(lumo_generated "${PROJECT_BINARY_DIR}/packaging")
set(lumo_installed_tools lumo-syx)
if(TARGET lumo-send)
    list(APPEND lumo_installed_tools lumo-send)
endif()
install(TARGETS lumo ${lumo_installed_tools} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

install(FILES "${LUMO_PACKAGING_DIR}/linux/${LUMO_APP_ID}.desktop"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
configure_file("${LUMO_PACKAGING_DIR}/linux/${LUMO_APP_ID}.metainfo.xml.in"
    "${lumo_generated}/${LUMO_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${lumo_generated}/${LUMO_APP_ID}.metainfo.xml"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
# The icon in the theme's fixed sizes, drawn by tools/plategen and committed.
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resources/icons/hicolor"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/icons")

# Manual pages and the changelog are installed compressed, as Debian's policy asks; gzip -n
# keeps the output the same from build to build.
set(lumo_compressed "")
foreach(page lumo lumo-syx lumo-send)
    configure_file("${LUMO_PACKAGING_DIR}/linux/man/${page}.1.in" "${lumo_generated}/man/${page}.1" @ONLY)
    list(APPEND lumo_compressed "man/${page}.1")
endforeach()
configure_file("${LUMO_PACKAGING_DIR}/linux/changelog.in" "${lumo_generated}/changelog" @ONLY)
list(APPEND lumo_compressed changelog)
set(lumo_gz_files "")
foreach(file IN LISTS lumo_compressed)
    add_custom_command(OUTPUT "${lumo_generated}/${file}.gz"
        COMMAND gzip -9 -n -c "${lumo_generated}/${file}" > "${lumo_generated}/${file}.gz"
        DEPENDS "${lumo_generated}/${file}"
        VERBATIM)
    list(APPEND lumo_gz_files "${lumo_generated}/${file}.gz")
endforeach()
add_custom_target(lumo_package_files ALL DEPENDS ${lumo_gz_files})
install(FILES "${lumo_generated}/man/lumo.1.gz" "${lumo_generated}/man/lumo-syx.1.gz"
    "${lumo_generated}/man/lumo-send.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${lumo_generated}/changelog.gz" "${LUMO_PACKAGING_DIR}/linux/copyright"
    DESTINATION "${CMAKE_INSTALL_DOCDIR}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "lumo")
set(CPACK_PACKAGE_VENDOR "Vantor")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${LUMO_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${LUMO_PACKAGE_SUMMARY}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries are computed from the binaries by dpkg-shlibdeps, never listed by hand. What no
# binary links but the program needs to draw its text is named: fontconfig's configuration (a
# minimal system has the library without fonts.conf, and then finds no font) and a face it finds.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fontconfig-config, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack puts the summary on the synopsis line and indents this text below it, marking its
# empty lines.
file(READ "${LUMO_PACKAGING_DIR}/linux/description.txt" lumo_description)
string(STRIP "${lumo_description}" CPACK_DEBIAN_PACKAGE_DESCRIPTION)
include(CPack)
