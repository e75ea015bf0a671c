# Install rules and the Debian packages (CPack, DEB generator, one package per component):
#   qlncfg           the program and its command-line companion qlncfg-cli, the data files, menu
#                    entry, icon, AppStream data, manual pages
#   qlncfg-touchsim  the simulated touch service and its manual page
# `cmake --install build` lays the files out under CMAKE_INSTALL_PREFIX (default /usr, as the
# packages do); `cpack` in the build folder (scripts/package.sh) builds both packages.

# The desktop entry's and AppStream component's id; the files in packaging/ carry it in their names.
set(QLN_APP_ID "org.qlncfg.QlnCfg")
set(QLN_HOMEPAGE "https://qlncfg.org/" CACHE STRING "Project home page named in the AppStream data")
set(QLN_SCREENSHOT_URL "https://qlncfg.org/screenshots/main-window.png" CACHE STRING
    "Web address of docs/main-window.png, named in the AppStream data")
set(QLN_PACKAGE_MAINTAINER "QlnCfg maintainers <maintainers@users.noreply.c-seed-53fdd12d.example>"
    CACHE STRING "Maintainer field of the Debian packages")
# The release date of PROJECT_VERSION, for the AppStream release and the package changelog.
set(QLN_RELEASE_DATE "2026-12-10")
set(QLN_RELEASE_DATE_RFC2822 "Thu, 10 Dec 2026 12:00:00 +0000")

set(QLN_PACKAGING_SOURCE ${CMAKE_SOURCE_DIR}/packaging)
set(QLN_PACKAGING_BINARY ${CMAKE_BINARY_DIR}/packaging)
set(QLN_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/qlncfg)
set(QLN_MAN1_DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(QLN_DOC_DESTINATION ${CMAKE_INSTALL_DATADIR}/doc)

configure_file(${QLN_PACKAGING_SOURCE}/${QLN_APP_ID}.metainfo.xml.in
               ${QLN_PACKAGING_BINARY}/${QLN_APP_ID}.metainfo.xml @ONLY)

# Manual pages and changelogs are installed compressed with gzip -9n (no name or time stamp, so
# the package is reproducible), as Debian wants them.
find_program(QLN_GZIP gzip REQUIRED)
set(QLN_COMPRESSED_FILES)
function(qln_gzip_file source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "\"$1\" -9nc \"$2\" > \"$3\"" sh ${QLN_GZIP} ${source} ${output}
    DEPENDS ${source}
    VERBATIM)
  set(QLN_COMPRESSED_FILES ${QLN_COMPRESSED_FILES} ${output} PARENT_SCOPE)
endfunction()

foreach(page qlncfg qlncfg-cli touchsim)
  configure_file(${QLN_PACKAGING_SOURCE}/${page}.1 ${QLN_PACKAGING_BINARY}/${page}.1 @ONLY)
  qln_gzip_file(${QLN_PACKAGING_BINARY}/${page}.1 ${QLN_PACKAGING_BINARY}/${page}.1.gz)
endforeach()
foreach(QLN_PACKAGE_NAME qlncfg qlncfg-touchsim)
  configure_file(${QLN_PACKAGING_SOURCE}/changelog.in ${QLN_PACKAGING_BINARY}/${QLN_PACKAGE_NAME}/changelog @ONLY)
  qln_gzip_file(${QLN_PACKAGING_BINARY}/${QLN_PACKAGE_NAME}/changelog
                ${QLN_PACKAGING_BINARY}/${QLN_PACKAGE_NAME}/changelog.gz)
endforeach()
add_custom_target(qln_packaging_files ALL DEPENDS ${QLN_COMPRESSED_FILES})

# --- qlncfg: the program -----------------------------------------------------------------------
if(TARGET QlnCfg)
  install(TARGETS QlnCfg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT qlncfg)
endif()
# The command-line companion joins the program's package when it is built.
if(TARGET qlncfg-cli)
  install(TARGETS qlncfg-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT qlncfg)
  install(FILES ${QLN_PACKAGING_BINARY}/qlncfg-cli.1.gz DESTINATION ${QLN_MAN1_DESTINATION} COMPONENT qlncfg)
  # Where Debian's bash-completion loads a command's completion from, named after the command.
  install(FILES ${QLN_PACKAGING_SOURCE}/qlncfg-cli.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qlncfg-cli COMPONENT qlncfg)
endif()
# The Ansible collection over qlncfg-cli, where ANSIBLE_COLLECTIONS_PATH=/usr/share/qlncfg/ansible
# finds it (the folder must be named ansible_collections/<namespace>/<name>).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/contrib/ansible/ansible_collections
        DESTINATION ${QLN_DATA_DESTINATION}/ansible COMPONENT qlncfg
        PATTERN "__pycache__" EXCLUDE PATTERN "tests/output" EXCLUDE)
install(FILES ${QLN_PACKAGING_SOURCE}/qlncfg.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME qlncfg COMPONENT qlncfg)
install(FILES ${CMAKE_SOURCE_DIR}/Data/Configuration.xml ${CMAKE_SOURCE_DIR}/Data/MultiLang.xml
        DESTINATION ${QLN_DATA_DESTINATION} COMPONENT qlncfg)
install(FILES ${QLN_PACKAGING_SOURCE}/${QLN_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT qlncfg)
install(FILES ${QLN_PACKAGING_SOURCE}/${QLN_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT qlncfg)
install(FILES ${QLN_PACKAGING_BINARY}/${QLN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT qlncfg)
install(FILES ${QLN_PACKAGING_BINARY}/qlncfg.1.gz DESTINATION ${QLN_MAN1_DESTINATION} COMPONENT qlncfg)
install(FILES ${QLN_PACKAGING_SOURCE}/copyright ${QLN_PACKAGING_BINARY}/qlncfg/changelog.gz
        DESTINATION ${QLN_DOC_DESTINATION}/qlncfg COMPONENT qlncfg)

# --- qlncfg-touchsim: the simulated service ----------------------------------------------------
if(TARGET touchsim)
  install(TARGETS touchsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT touchsim)
endif()
install(FILES ${QLN_PACKAGING_BINARY}/touchsim.1.gz DESTINATION ${QLN_MAN1_DESTINATION} COMPONENT touchsim)
install(FILES ${QLN_PACKAGING_SOURCE}/copyright ${QLN_PACKAGING_BINARY}/qlncfg-touchsim/changelog.gz
        DESTINATION ${QLN_DOC_DESTINATION}/qlncfg-touchsim COMPONENT touchsim)

# --- CPack --------------------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qlncfg)
set(CPACK_PACKAGE_VENDOR "QlnCfg developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL qlncfg touchsim)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QLN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QLN_HOMEPAGE}")
# Library dependencies come from the binaries (dpkg-shlibdeps); the rest are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# Descriptions: the synopsis, then the long text (CPack indents its lines).
set(CPACK_DEBIAN_QLNCFG_PACKAGE_NAME qlncfg)
set(CPACK_DEBIAN_QLNCFG_PACKAGE_SECTION utils)
# The Chinese texts need a CJK font; without one they show as boxes. wx's own translations give
# the message boxes' buttons in the interface's language.
set(CPACK_DEBIAN_QLNCFG_PACKAGE_DEPENDS "fonts-wqy-microhei, wx3.2-i18n")
set(CPACK_DEBIAN_QLNCFG_PACKAGE_SUGGESTS "qlncfg-touchsim, ansible-core")
set(CPACK_DEBIAN_QLNCFG_DESCRIPTION
"configuration program for infrared multi-touch screen frames
Shows the touch devices that the touch service reports and lets the user
switch a frame between multi-touch and mouse mode, calibrate it against the
screen with four targets, tune right-click and pen simulation, click speeds
and smoothing, and reset it to its factory settings. The touch service that
drives the frame must run on the same computer; the interface is in English
and Chinese.
.
qlncfg-cli does the same from a shell, without a display: status (also as
JSON), touch mode, advanced settings, factory reset, and device profiles
that save a frame's settings and bring them back or copy them to others.")

set(CPACK_DEBIAN_TOUCHSIM_PACKAGE_NAME qlncfg-touchsim)
set(CPACK_DEBIAN_TOUCHSIM_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_TOUCHSIM_DESCRIPTION
"simulated touch service for the qlncfg configuration program
Stands in for the touch service of an infrared multi-touch frame, so that
qlncfg can be run, shown and tested without a frame: it answers the
program's requests from a model of one device, publishes a TUIO touch
stream, and can be told to misbehave as a real service does.")

include(CPack)
