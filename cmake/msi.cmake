# The machine-wide installer package for Windows, tessiva-<version>-x64.msi:
#   cmake --build --preset windows --target tessiva_msi
# make_wxs (packaging/msi), built from the per-user installer's tables, writes the
# package's WiX source and its manifests; it runs under Wine in the build's prefix.
# make_msi.sh then builds the package with wixl from that source and a given
# tessiva.exe (the release signs the program first and packages the signed one):
#   make_msi.sh OUTPUT.msi [EXECUTABLE [VERSION]]

# The package's upgrade code: the same for every version, for as long as the product is
# installed in this form. It ties a newer package to the older one it replaces.
set(TESSIVA_MSI_UPGRADE_CODE "C3464145-640A-4CE6-B49D-86D82637E696")
set(TESSIVA_MSI ${CMAKE_BINARY_DIR}/tessiva-${PROJECT_VERSION}-x64.msi)

find_program(TESSIVA_WIXL wixl)
# The packaging script edits the package through libmsi's GObject bindings, which the
# system's Python has (python3-gi, gir1.2-libmsi-1.0).
set(TESSIVA_GI_PYTHON "")
foreach(candidate ${Python3_EXECUTABLE} /usr/bin/python3)
  execute_process(COMMAND ${candidate} -c "import gi; gi.require_version('Libmsi', '1.0')"
    RESULT_VARIABLE found OUTPUT_QUIET ERROR_QUIET)
  if(found EQUAL 0)
    set(TESSIVA_GI_PYTHON ${candidate})
    break()
  endif()
endforeach()
if(NOT TESSIVA_WIXL OR TESSIVA_GI_PYTHON STREQUAL "")
  message(WARNING "wixl or libmsi's Python bindings are missing (scripts/setup.sh installs them): "
    "no installer package")
  return()
endif()

add_executable(tessiva_make_wxs ${CMAKE_SOURCE_DIR}/packaging/msi/make_wxs.cpp)
target_link_libraries(tessiva_make_wxs PRIVATE tessiva_install)
target_link_options(tessiva_make_wxs PRIVATE -static)

set(TESSIVA_MSI_SOURCE ${CMAKE_BINARY_DIR}/msi)
set(TESSIVA_MSI_SOURCE_FILES ${TESSIVA_MSI_SOURCE}/tessiva.wxs ${TESSIVA_MSI_SOURCE}/browsers.tsv)
add_custom_command(OUTPUT ${TESSIVA_MSI_SOURCE_FILES}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TESSIVA_MSI_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TESSIVA_MSI_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E chdir ${TESSIVA_MSI_SOURCE}
    ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh $<TARGET_FILE:tessiva_make_wxs>
  DEPENDS tessiva_make_wxs
  COMMENT "Writing the installer package's source")

file(WRITE ${CMAKE_BINARY_DIR}/make_msi.sh "#!/bin/sh
# Written by CMake (cmake/msi.cmake): builds the installer package from this build.
#   make_msi.sh OUTPUT.msi [EXECUTABLE [VERSION]]
set -e
exec '${TESSIVA_GI_PYTHON}' '${CMAKE_SOURCE_DIR}/packaging/msi/make_msi.py' \\
  --source '${TESSIVA_MSI_SOURCE}' --icon '${TESSIVA_ICON}' \\
  --upgrade-code '${TESSIVA_MSI_UPGRADE_CODE}' --output \"$1\" \\
  --executable \"\${2:-${CMAKE_BINARY_DIR}/tessiva.exe}\" --version \"\${3:-${PROJECT_VERSION}}\"
")
file(CHMOD ${CMAKE_BINARY_DIR}/make_msi.sh PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

add_custom_command(OUTPUT ${TESSIVA_MSI}
  COMMAND ${CMAKE_BINARY_DIR}/make_msi.sh ${TESSIVA_MSI} $<TARGET_FILE:tessiva>
  DEPENDS tessiva ${TESSIVA_MSI_SOURCE_FILES} ${TESSIVA_ICON} ${CMAKE_SOURCE_DIR}/packaging/msi/make_msi.py
  COMMENT "Building tessiva-${PROJECT_VERSION}-x64.msi")
add_custom_target(tessiva_msi ALL DEPENDS ${TESSIVA_MSI})
