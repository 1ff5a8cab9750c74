# What `cmake --install` puts under the prefix, and the Debian package that
# cpack builds from it (scripts/package): the program, its desktop entry, its
# icon in the hicolor theme, the MIME type of its data files and its AppStream
# metainfo.
set(ZORBEL_APP_ID example.zorbel.Zorbel)
set(desktop_dir ${PROJECT_SOURCE_DIR}/resources/desktop)
# The PNG sizes of the icon, rendered from icons/zorbel.svg by icons/render.
set(ZORBEL_ICON_SIZES 16 24 32 48 64 128 256)

install(TARGETS zorbel RUNTIME DESTINATION bin)
# A stripped program (the package's) loses the compiler's notes too, as
# Debian's own packages do.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/zorbel\" COMMAND_ERROR_IS_FATAL ANY)
endif()")
install(FILES ${desktop_dir}/${ZORBEL_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${desktop_dir}/${ZORBEL_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${desktop_dir}/zorbel.xml DESTINATION share/mime/packages)
install(FILES ${desktop_dir}/icons/zorbel.svg DESTINATION share/icons/hicolor/scalable/apps)
foreach(size ${ZORBEL_ICON_SIZES})
  install(FILES ${desktop_dir}/icons/zorbel-${size}.png
    DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME zorbel.png)
endforeach()

# The manual page, and the copyright and changelog files where Debian keeps a
# package's own; the compressed ones as Debian's tools compress them (gzip -9n:
# no name or time inside, so the same text gives the same bytes).
set(package_dir ${PROJECT_SOURCE_DIR}/resources/package)
foreach(doc zorbel.1 changelog)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${doc}.gz
    COMMAND gzip -9nc ${package_dir}/${doc} > ${PROJECT_BINARY_DIR}/${doc}.gz
    DEPENDS ${package_dir}/${doc} VERBATIM)
endforeach()
add_custom_target(zorbel_docs DEPENDS ${PROJECT_BINARY_DIR}/zorbel.1.gz ${PROJECT_BINARY_DIR}/changelog.gz)
add_dependencies(zorbel zorbel_docs) # building the program alone (scripts/run, scripts/package) makes them too
install(FILES ${PROJECT_BINARY_DIR}/zorbel.1.gz DESTINATION share/man/man1)
install(FILES ${package_dir}/copyright ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION share/doc/zorbel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorbel)
set(CPACK_PACKAGE_VENDOR Ventaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "household money program")
# Lines of at most 80 columns, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
  "Zorbel keeps a household's money: accounts in several currencies, expenses,\nincomes and transfers in a tree of categories, planned and realised operations,\npeople, firms, a diary with reminders, analyses with charts, printed reports\nand exports. Its windows speak Russian.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ventaro <author@zorbel.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Depends: the shared libraries' packages (dpkg-shlibdeps), and what the
# program loads without linking it: Qt's window system plugins, the fonts
# the report layouts measure with, Qt's Russian translations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation2, qt6-translations-l10n")
# No maintainer scripts: the triggers of desktop-file-utils, shared-mime-info
# and the icon cache refresh the menu, the MIME database and the icons.
include(CPack)

if(ZORBEL_TESTS)
  string(REPLACE ";" " " icon_sizes "${ZORBEL_ICON_SIZES}")
  # The installed files pass the desktop's validators; the package lists them
  # and its dependencies.
  add_test(NAME install_files
    COMMAND ${CMAKE_COMMAND} -E env "ZORBEL_ICON_SIZES=${icon_sizes}" ZORBEL_APP_ID=${ZORBEL_APP_ID}
            bash ${PROJECT_SOURCE_DIR}/tests/install/check-install.sh ${PROJECT_BINARY_DIR})
  add_test(NAME install_package
    COMMAND ${CMAKE_COMMAND} -E env ZORBEL_APP_ID=${ZORBEL_APP_ID} ZORBEL_HARDENED=${ZORBEL_HARDENED}
            bash ${PROJECT_SOURCE_DIR}/tests/install/check-package.sh ${PROJECT_BINARY_DIR})
  set_tests_properties(install_files install_package PROPERTIES TIMEOUT 300)
endif()
