# The installation layout and the Debian package.
#
# `cmake --install build/release --prefix <root>/usr` lays the program out as
# the package does: the program folder lib/vanto (the client, its web engine
# module node.so, the crash message helper, vanto-reg, language/ and oem.ini:
# everything the client takes from beside itself), bin/vanto linking to it, the
# desktop entry, icons, AppStream data and documentation under share/.
# `cmake --build --preset release --target deb` (or cpack with the build's
# CPackConfig.cmake) builds the .deb from that layout.

# Where the client and the files it reads from its own folder go; the client
# finds the folder through /proc/self/exe, so bin/vanto may be a link.
set(VANTO_INSTALL_PROGRAM_DIR lib/vanto)

set(VANTO_APP_ID "org.vanto.client" CACHE STRING "AppStream component id of the desktop application")
set(VANTO_PACKAGE_MAINTAINER "Vanto maintainers <maintainers@vanto.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vanto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "${VANTO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client of an online store of office document templates")
set(CPACK_PACKAGE_DESCRIPTION
    "Shows the store's presentation, spreadsheet and word-processing templates\n"
    "in tabs of embedded web views, signs the user in by SMS code or QQ/WeChat,\n"
    "downloads templates into files the user chooses and opens them, and checks\n"
    "daily for a new version of itself.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are the shared libraries the programs and node.so link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ... and the browser the client falls back to when the desktop has no opener.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "sensible-utils")
# The desktop's opener shows downloaded templates and opens addresses.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE VANTO_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT VANTO_DEB_ARCH)
  set(VANTO_DEB_ARCH amd64)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VANTO_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME "vanto_${PROJECT_VERSION}_${VANTO_DEB_ARCH}.deb")
set(VANTO_DEB_FILE "${CMAKE_BINARY_DIR}/${CPACK_DEBIAN_FILE_NAME}")

# The maintainer scripts, with the installed paths filled in.
set(VANTO_PROGRAM_DIR /usr/${VANTO_INSTALL_PROGRAM_DIR})
set(VANTO_MACHINE_DIR /var/lib/vanto)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA)
foreach(script postinst prerm postrm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${script}.in ${CMAKE_BINARY_DIR}/packaging/control/${script}
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                 WORLD_READ WORLD_EXECUTE)
  list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/control/${script})
endforeach()

include(CPack)
