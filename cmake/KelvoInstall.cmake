# SPDX-License-Identifier: GPL-2.0-or-later
# What `cmake --install` puts where, and the Debian package CPack makes of it.
include(GNUInstallDirs)

set(KELVO_APP_ID org.norvane.Kelvo)
set(KELVO_REPOSITORY_URL "https://git.norvane.example/kelvo"
    CACHE STRING "Where the repository is published; the metainfo's links point there")
set(KELVO_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvo)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS kelvo kelvo-cli kelvo-apsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped program keeps the compilers' banners unless told otherwise, as Debian's tools do.
if(CMAKE_OBJCOPY)
  install(CODE "
    foreach(program kelvo kelvo-cli kelvo-apsim)
      execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment --remove-section=.note
                      \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()")
endif()

set(data ${PROJECT_SOURCE_DIR}/data)
install(FILES ${data}/${KELVO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${data}/${KELVO_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/data/${KELVO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/data/${KELVO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/src/gui/resources/icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${KELVO_APP_ID}.svg)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${data}/icons/hicolor/${size}x${size}/apps/${KELVO_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${data}/completion/kelvo-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${data}/copyright DESTINATION ${KELVO_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kelvo)

# Manual pages and the package's change log go in compressed, without time stamps, so that
# two builds of one tree give the same files.
find_program(KELVO_GZIP gzip REQUIRED)
set(compressed)
function(kelvo_compressed source target)
  add_custom_command(OUTPUT ${target}
                     COMMAND ${KELVO_GZIP} -9 -n -c ${source} > ${target}
                     DEPENDS ${source} VERBATIM)
  set(compressed ${compressed} ${target} PARENT_SCOPE)
endfunction()
foreach(page kelvo kelvo-cli kelvo-apsim)
  kelvo_compressed(${data}/man/${page}.1 ${PROJECT_BINARY_DIR}/data/${page}.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/data/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/data/changelog
               @ONLY)
kelvo_compressed(${PROJECT_BINARY_DIR}/data/changelog
                 ${PROJECT_BINARY_DIR}/data/changelog.Debian.gz)
install(FILES ${PROJECT_BINARY_DIR}/data/changelog.Debian.gz DESTINATION ${KELVO_DOC_DIR})
add_custom_target(kelvo-data ALL DEPENDS ${compressed})

# The Debian package (scripts/package). Dependencies come from dpkg-shlibdeps; the one
# maintainer script gives the two programs that bind privileged ports their capability.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Norvane Kelvo developers <kelvo@norvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration utility for 802.11b wireless access points")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kelvo finds the access points on the local segment over SNMPv1, reads and
changes their configuration (identity and password, IP settings, radio,
authorised stations, WEP, 802.1X and RADIUS), watches their traffic
counters, keeps configurations as named profiles and upgrades firmware by
TFTP from a server inside the program.
.
The package holds the desktop program kelvo, the command-line front end
kelvo-cli and kelvo-apsim, which simulates access points for trying the
program and for tests.")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KELVO_REPOSITORY_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libcap2-bin)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
