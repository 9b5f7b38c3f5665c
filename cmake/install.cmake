# Installation: the program and the handset simulator, and on Linux the desktop
# entry, the theme icons, the manual page, the AppStream entry and the
# copyright. Included from the top level so that its tests and the package
# rules see the whole project.
include(GNUInstallDirs)

install(TARGETS nuvokrc nuvok-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(NOT WIN32)
    # Writes the theme icon from the window's own icon code and prints the
    # usage card for the manual's key map check. Built only, never installed.
    add_executable(nuvokrc-assets ${CMAKE_SOURCE_DIR}/data/nuvokrc_assets.cpp)
    target_link_libraries(nuvokrc-assets PRIVATE nuvok_qt)
    set_target_properties(nuvokrc-assets PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

    set(NUVOKRC_ICON_PNG ${CMAKE_BINARY_DIR}/data/nuvokrc.png)
    add_custom_command(OUTPUT ${NUVOKRC_ICON_PNG}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/data
        # Sanitizer builds: what Qt keeps until exit must not fail the build.
        COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
                $<TARGET_FILE:nuvokrc-assets> icon ${NUVOKRC_ICON_PNG}
        DEPENDS nuvokrc-assets
        COMMENT "Drawing the 64x64 theme icon")
    add_custom_target(nuvokrc-icon ALL DEPENDS ${NUVOKRC_ICON_PNG})

    configure_file(${CMAKE_SOURCE_DIR}/data/nuvokrc.1.in ${CMAKE_BINARY_DIR}/data/nuvokrc.1 @ONLY)

    install(FILES ${CMAKE_SOURCE_DIR}/data/nuvokrc.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${NUVOKRC_ICON_PNG}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
    install(FILES ${CMAKE_SOURCE_DIR}/data/nuvokrc.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${CMAKE_BINARY_DIR}/data/nuvokrc.1
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    # The software centres' entry (AppStream), and the copyright and licence in
    # Debian's machine-readable form, where Debian's tools look for them.
    install(FILES ${CMAKE_SOURCE_DIR}/data/org.example.nuvokrc.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/nuvokrc)

    if(NUVOKRC_BUILD_TESTS)
        # Installs into a private prefix and checks what landed there.
        add_test(NAME install_tree
                 COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-install.sh ${CMAKE_BINARY_DIR}
                         ${CMAKE_BINARY_DIR}/install-test)
        set_tests_properties(install_tree PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
        add_test(NAME manual_keymap
                 COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-keymap.sh
                         $<TARGET_FILE:nuvokrc-assets> ${CMAKE_BINARY_DIR}/data/nuvokrc.1)
        set_tests_properties(manual_keymap PROPERTIES TIMEOUT 60)
    endif()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
