# The Debian package, built by CPack from the linux build folder:
#   cpack -G DEB
# The host goes stripped into /usr/lib/tessiva with both manifests beside it; the
# folders where the browsers look for system-wide hosts get links to those manifests.

set(TESSIVA_SYSTEM_FOLDER /usr/lib/tessiva)
set(TESSIVA_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package)
file(MAKE_DIRECTORY ${TESSIVA_PACKAGE_FILES})

# The manifests, in the bytes the per-user installer writes: two-space indentation,
# keys in order, no final line break.
set(TESSIVA_ORIGIN_ENTRIES "")
foreach(id IN LISTS TESSIVA_CHROMIUM_EXTENSION_IDS)
  if(NOT TESSIVA_ORIGIN_ENTRIES STREQUAL "")
    string(APPEND TESSIVA_ORIGIN_ENTRIES ",\n")
  endif()
  string(APPEND TESSIVA_ORIGIN_ENTRIES "    \"chrome-extension://${id}/\"")
endforeach()
set(TESSIVA_MANIFEST_TAIL "  \"description\": \"${TESSIVA_PRODUCT_NAME}\",
  \"name\": \"com.orbelle.tessiva\",
  \"path\": \"${TESSIVA_SYSTEM_FOLDER}/tessiva\",
  \"type\": \"stdio\"
}")
file(WRITE ${TESSIVA_PACKAGE_FILES}/com.orbelle.tessiva.chromium.json
  "{\n  \"allowed_origins\": [\n${TESSIVA_ORIGIN_ENTRIES}\n  ],\n${TESSIVA_MANIFEST_TAIL}")
file(WRITE ${TESSIVA_PACKAGE_FILES}/com.orbelle.tessiva.firefox.json
  "{\n  \"allowed_extensions\": [\n    \"tessiva@orbelle.software\"\n  ],\n${TESSIVA_MANIFEST_TAIL}")

# One link per browser folder, named as the browsers look the host up. Chrome's folder
# is read by Brave and Vivaldi too.
set(TESSIVA_MANIFEST_LINKS
  "chrome|/etc/opt/chrome/native-messaging-hosts|${TESSIVA_SYSTEM_FOLDER}/com.orbelle.tessiva.chromium.json"
  "chromium|/etc/chromium/native-messaging-hosts|${TESSIVA_SYSTEM_FOLDER}/com.orbelle.tessiva.chromium.json"
  "edge|/etc/opt/edge/native-messaging-hosts|${TESSIVA_SYSTEM_FOLDER}/com.orbelle.tessiva.chromium.json"
  "mozilla|/usr/lib/mozilla/native-messaging-hosts|../../tessiva/com.orbelle.tessiva.firefox.json")
foreach(entry IN LISTS TESSIVA_MANIFEST_LINKS)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 folder)
  list(GET parts 2 target)
  file(MAKE_DIRECTORY ${TESSIVA_PACKAGE_FILES}/${name})
  file(CREATE_LINK ${target} ${TESSIVA_PACKAGE_FILES}/${name}/com.orbelle.tessiva.json SYMBOLIC)
  install(FILES ${TESSIVA_PACKAGE_FILES}/${name}/com.orbelle.tessiva.json DESTINATION ${folder})
endforeach()

# The command on every user's PATH: a relative link within /usr, as Debian wants it.
file(CREATE_LINK ../lib/tessiva/tessiva ${TESSIVA_PACKAGE_FILES}/tessiva SYMBOLIC)
install(FILES ${TESSIVA_PACKAGE_FILES}/tessiva DESTINATION bin)

configure_file(${CMAKE_SOURCE_DIR}/packaging/deb/changelog.in ${TESSIVA_PACKAGE_FILES}/changelog @ONLY)
add_custom_command(OUTPUT ${TESSIVA_PACKAGE_FILES}/changelog.gz
  COMMAND gzip -9 -n -c ${TESSIVA_PACKAGE_FILES}/changelog > ${TESSIVA_PACKAGE_FILES}/changelog.gz
  DEPENDS ${TESSIVA_PACKAGE_FILES}/changelog)
add_custom_command(OUTPUT ${TESSIVA_PACKAGE_FILES}/tessiva.1.gz
  COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/packaging/deb/tessiva.1 > ${TESSIVA_PACKAGE_FILES}/tessiva.1.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/deb/tessiva.1)
add_custom_target(tessiva_package_files ALL
  DEPENDS ${TESSIVA_PACKAGE_FILES}/changelog.gz ${TESSIVA_PACKAGE_FILES}/tessiva.1.gz)
install(FILES ${TESSIVA_PACKAGE_FILES}/tessiva.1.gz DESTINATION share/man/man1)

install(TARGETS tessiva RUNTIME DESTINATION lib/tessiva)
install(FILES ${TESSIVA_PACKAGE_FILES}/com.orbelle.tessiva.chromium.json
  ${TESSIVA_PACKAGE_FILES}/com.orbelle.tessiva.firefox.json DESTINATION lib/tessiva)
install(FILES ${TESSIVA_PACKAGE_FILES}/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/deb/copyright
  DESTINATION share/doc/tessiva)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/deb/lintian-overrides
  DESTINATION share/lintian/overrides RENAME tessiva)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessiva)
set(CPACK_PACKAGE_VENDOR "Orbelle Software")
set(CPACK_PACKAGE_CONTACT "Orbelle Software <packaging@orbelle.software>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "browser companion that saves and opens downloaded files")
# The extended description, in lines short enough for the control file.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Tessiva is the desktop half of a browser extension. The browser starts it as a"
  "native messaging host; it saves the files the extension hands over into the"
  "user's folders, opens them with the applications the desktop offers, shows them"
  "in the file manager and lets the user pick folders and programs."
  "."
  "This package installs the host for every user and registers it with Google"
  "Chrome, Chromium, Microsoft Edge, Brave, Vivaldi and Firefox.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# GIO and GTK are loaded on first use, and GTK's SVG icons through the pixbuf loader:
# dpkg-shlibdeps cannot see any of them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libglib2.0-0 | libglib2.0-0t64, libgtk-3-0 | libgtk-3-0t64, librsvg2-common")
include(CPack)
