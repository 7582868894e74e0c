# Installation: cmake --install BUILD [--prefix P] (P defaults to CMAKE_INSTALL_PREFIX):
#   P/bin/coredemo
#   P/share/coredemo/data.zip
#   P/share/applications/<id>.desktop        (starts the program as a normal launch: dialog first)
#   P/share/metainfo/<id>.metainfo.xml       (AppStream)
#   P/share/icons/hicolor/{48x48,128x128,256x256}/apps/coredemo.png, scalable/apps/coredemo.svg
#   P/share/man/man6/coredemo.6
# The program goes to bin/, not to Debian's games/: it is a demo, not a game, and bin/
# is on the search path for every prefix (~/.local/bin, /usr/local/bin, and root's too).
# The archive's path below CMAKE_INSTALL_PREFIX is built into the program as its last
# place to look (src/app/data_search.h); a prefix given only at install time is found
# through the XDG data directories instead.

# The application's id (desktop entry and AppStream component): reverse-DNS, as the
# desktop and AppStream rules ask. The project has no domain of its own; example.org
# stands in.
set(CORE_APP_ID org.example.coredemo)
# Where the installed archive and icons come from: this build, unless another build of
# the same sources made them (scripts/package.sh takes them from build/).
set(CORE_CONTENT_DIR ${CMAKE_BINARY_DIR} CACHE PATH "build folder whose data.zip and icons/ are installed")

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
set(generated_packaging ${CMAKE_BINARY_DIR}/packaging)
configure_file(${packaging}/coredemo.desktop.in ${generated_packaging}/${CORE_APP_ID}.desktop @ONLY)
configure_file(${packaging}/coredemo.metainfo.xml.in ${generated_packaging}/${CORE_APP_ID}.metainfo.xml @ONLY)
configure_file(${packaging}/coredemo.6.in ${generated_packaging}/coredemo.6 @ONLY)

install(TARGETS coredemo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CORE_CONTENT_DIR}/data.zip DESTINATION ${CMAKE_INSTALL_DATADIR}/coredemo)
install(DIRECTORY ${CORE_CONTENT_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${generated_packaging}/${CORE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${generated_packaging}/${CORE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${generated_packaging}/coredemo.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
