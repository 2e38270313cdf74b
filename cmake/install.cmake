# Installation (cmake --install build --prefix P) and the Debian package
# (make dist, CPack). The layout, the same under any prefix:
#   P/bin/aucal                          the host; finds its libraries in ../lib/aucal
#   P/lib/aucal/                         libqel_cms.so, libscan.so, libvexa.so, libprescan.so,
#                                        libaucal_platform.so and the simulated KASPI_SP.DLL
#   P/include/aucal/                     qel_cms.h, qel_layout.h, scan_driver.h, platform/calling.h
#   P/lib/pkgconfig/qel_cms.pc           the engine for pkg-config
#   P/share/man/man1/aucal.1.gz          made from aucal's own help (help2man)
#   P/share/bash-completion/completions/aucal
#   P/share/doc/aucal/                   README.md, api.html, third-party/ (notices of compiled-in code)
# The libraries are private to the package (their names are short and
# generic), hence lib/aucal; everything finds the rest relative to itself.
set(AUCAL_INSTALL_LIBDIR lib/aucal)
set(aucal_installed_libraries qel_cms scan vexa prescan aucal_platform kaspi_sp)

set_target_properties(aucal PROPERTIES INSTALL_RPATH "$ORIGIN/../${AUCAL_INSTALL_LIBDIR}")
set_target_properties(${aucal_installed_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS aucal RUNTIME DESTINATION bin)
install(TARGETS ${aucal_installed_libraries} LIBRARY DESTINATION ${AUCAL_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/colour_engine/include/qel_cms.h
              ${PROJECT_SOURCE_DIR}/colour_engine/include/qel_layout.h
              ${PROJECT_SOURCE_DIR}/scanner_driver/include/scan_driver.h
        DESTINATION include/aucal)
install(FILES ${PROJECT_SOURCE_DIR}/platform/include/platform/calling.h DESTINATION include/aucal/platform)
configure_file(${PROJECT_SOURCE_DIR}/dist/qel_cms.pc.in ${CMAKE_BINARY_DIR}/dist/qel_cms.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/dist/qel_cms.pc DESTINATION lib/pkgconfig)
install(FILES ${PROJECT_SOURCE_DIR}/dist/aucal-completion.bash DESTINATION share/bash-completion/completions
        RENAME aucal)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/aucal)
# aucal compiles in two header-only libraries; their copyright and licence
# texts go with it, as those licences ask (the shared libraries it links come
# with their own packages).
install(FILES /usr/share/doc/libcli11-dev/copyright DESTINATION share/doc/aucal/third-party RENAME CLI11.txt)
install(FILES /usr/share/doc/nlohmann-json3-dev/copyright DESTINATION share/doc/aucal/third-party
        RENAME nlohmann-json.txt)

# The manual page and the API reference are made by the target dist-docs
# (make dist builds it first); a plain install without them leaves them out.
set(aucal_man_page ${CMAKE_BINARY_DIR}/dist/aucal.1.gz)
add_custom_command(OUTPUT ${aucal_man_page}
                   COMMAND bash ${PROJECT_SOURCE_DIR}/dist/make-man-page.sh $<TARGET_FILE:aucal> ${aucal_man_page}
                           ${PROJECT_VERSION}
                   DEPENDS aucal ${PROJECT_SOURCE_DIR}/dist/make-man-page.sh
                   COMMENT "Writing the aucal manual page")
aucal_api_reference(${CMAKE_BINARY_DIR}/dist/api.html)
add_custom_target(dist-docs DEPENDS ${aucal_man_page} ${CMAKE_BINARY_DIR}/dist/api.html)
install(FILES ${aucal_man_page} DESTINATION share/man/man1 OPTIONAL)
install(FILES ${CMAKE_BINARY_DIR}/dist/api.html DESTINATION share/doc/aucal OPTIONAL)

# The Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME aucal)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "aucal developers <aucal@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scanner, monitor and printer colour calibration")
set(CPACK_PACKAGE_DESCRIPTION
    "The qel_cms colour engine, the scan, vexa and prescan scanner drivers, the simulated\n scanner, and aucal, the command-line host that runs the whole calibration.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds our own private libraries through their RUNPATH.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
