# Installation and the Debian package.
#
# `cmake --install` puts the programs, the samples, the desktop entry, the
# icons, the AppStream metadata, the manual pages and the bash completion where
# the freedesktop and Debian conventions put them; `make package` (CPack's DEB
# generator) packs the same files under /usr. The checks of all of these are
# tests of their own (tests/package).
include(GNUInstallDirs)
# Directories that install() makes are 0755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(VEXO_HOMEPAGE "https://vexo.github.io" CACHE STRING "Vexo's web site: the package's and the metadata's homepage")
set(VEXO_MAINTAINER "Vexo developers <vexo@example.org>" CACHE STRING "The Debian package's maintainer")
# The licence as an SPDX expression, and the words of the copyright file.
set(VEXO_LICENSE "LicenseRef-proprietary")
set(VEXO_LICENSE_TEXT "All rights reserved by the Vexo developers.")

find_program(VEXO_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(VEXO_GZIP gzip REQUIRED)
find_program(VEXO_PERL perl REQUIRED)

set(VEXO_DATA ${CMAKE_SOURCE_DIR}/data)
set(VEXO_GENERATED ${CMAKE_BINARY_DIR}/data)
set(VEXO_ICON_SIZES 16 22 24 32 48 64 128 256)

# --- Files made at configure time: version, date and id filled in ---
execute_process(COMMAND date -u -R -d "${VEXO_RELEASE_DATE} 12:00" OUTPUT_VARIABLE VEXO_RELEASE_DATE_RFC2822
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(${VEXO_DATA}/vexo.desktop.in ${VEXO_GENERATED}/vexo.desktop @ONLY)
configure_file(${VEXO_DATA}/metainfo.xml.in ${VEXO_GENERATED}/${VEXO_APP_ID}.metainfo.xml @ONLY)
configure_file(${VEXO_DATA}/debian/changelog.in ${VEXO_GENERATED}/changelog @ONLY)
configure_file(${VEXO_DATA}/debian/copyright.in ${VEXO_GENERATED}/copyright @ONLY)

# --- Files made at build time ---
set(VEXO_MADE_FILES)

# The icon at every size from its one drawing.
set(VEXO_ICON_SVG ${VEXO_DATA}/icons/vexo.svg)
foreach(size ${VEXO_ICON_SIZES})
  set(png ${VEXO_GENERATED}/icons/${size}x${size}/${VEXO_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${VEXO_GENERATED}/icons/${size}x${size}
                     COMMAND ${VEXO_RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${VEXO_ICON_SVG}
                     DEPENDS ${VEXO_ICON_SVG} VERBATIM)
  list(APPEND VEXO_MADE_FILES ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Manual pages: each made from the program's --help and what its page adds,
# and compressed as Debian installs them.
set(VEXO_MAN_PROGRAMS)
if(TARGET vexo)
  list(APPEND VEXO_MAN_PROGRAMS vexo)
endif()
list(APPEND VEXO_MAN_PROGRAMS vexo-cli)
set(VEXO_MAN_NAME_vexo "find the grid of lines in a photograph and name its cells")
set(VEXO_MAN_NAME_vexo-cli "find the grid of lines in JPEG photographs, in batch")
foreach(program ${VEXO_MAN_PROGRAMS})
  set(page ${VEXO_GENERATED}/man/${program}.1)
  add_custom_command(OUTPUT ${page} ${page}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${VEXO_GENERATED}/man
                     COMMAND ${VEXO_PERL} ${CMAKE_SOURCE_DIR}/tools/make-man-page.pl $<TARGET_FILE:${program}>
                             "${VEXO_MAN_NAME_${program}}" "${program} ${PROJECT_VERSION}" ${VEXO_RELEASE_DATE}
                             ${VEXO_DATA}/man/${program}.roff ${page}
                     COMMAND ${VEXO_GZIP} -9nf --keep ${page}
                     DEPENDS ${program} ${CMAKE_SOURCE_DIR}/tools/make-man-page.pl ${VEXO_DATA}/man/${program}.roff
                     VERBATIM)
  list(APPEND VEXO_MADE_FILES ${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

set(VEXO_CHANGELOG_GZ ${VEXO_GENERATED}/changelog.gz)
add_custom_command(OUTPUT ${VEXO_CHANGELOG_GZ}
                   COMMAND ${VEXO_GZIP} -9nf --keep ${VEXO_GENERATED}/changelog
                   DEPENDS ${VEXO_GENERATED}/changelog VERBATIM)
list(APPEND VEXO_MADE_FILES ${VEXO_CHANGELOG_GZ})

add_custom_target(vexo_install_files ALL DEPENDS ${VEXO_MADE_FILES})

# --- Install rules ---
install(TARGETS vexo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET vexo)
  install(TARGETS vexo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vexo/samples
        FILES_MATCHING PATTERN "*.jpg")
install(FILES ${VEXO_GENERATED}/vexo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VEXO_GENERATED}/${VEXO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VEXO_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${VEXO_APP_ID}.svg)
install(FILES ${VEXO_DATA}/vexo-cli.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME vexo-cli)
install(FILES ${VEXO_GENERATED}/copyright ${VEXO_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# --- The Debian package: `make package` ---
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VEXO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VEXO_HOMEPAGE}")
# The package's Depends come from the shared libraries the programs use.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "find the grid of lines in a photograph and name its cells
Vexo is a workbench for grayscale photographs stored as JPEG files, above
all for finding a regular grid of straight lines in a photo and naming its
cells (A1, B1, ...). Pick one of eighteen numbered operations (edge filters,
intensity operations, chain filters, line finders, crossing marks and a grid
search that labels every cell), type one integer parameter and press GO;
every step shows on the picture at once.
.
The package holds the window (vexo) and vexo-cli, which runs the same
operations without a window on single photos or whole folders and writes
annotated pictures, reports and a summary table.")
include(CPack)

# --- Checks ---
add_test(NAME install_metadata
         COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check-metadata.sh
                 ${VEXO_GENERATED}/vexo.desktop ${VEXO_GENERATED}/${VEXO_APP_ID}.metainfo.xml)
add_test(NAME man_pages COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check-man-pages.sh ${CMAKE_BINARY_DIR})
add_test(NAME bash_completion
         COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check-completion.sh
                 ${VEXO_DATA}/vexo-cli.bash-completion $<TARGET_FILE:vexo-cli>)
if(TARGET vexo)
  add_test(NAME debian_package COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check-package.sh ${CMAKE_BINARY_DIR} ${VEXO_APP_ID})
  set_tests_properties(debian_package PROPERTIES TIMEOUT 600)
endif()
