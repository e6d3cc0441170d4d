# What `cmake --install` puts where a Linux desktop looks for it. The icon and entry are named by
# the application's reverse-DNS id, which the desktop shell matches to the running window.
include(GNUInstallDirs)

set(KELVARA_APP_ID io.github.kelvara.Kelvara)
set(kelvara_data ${PROJECT_SOURCE_DIR}/data)

install(TARGETS kelvara-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(KELVARA_APP)
    install(TARGETS kelvara RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${kelvara_data}/${KELVARA_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${kelvara_data}/${KELVARA_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${kelvara_data}/${KELVARA_APP_ID}.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    # Rendered from the SVG with rsvg-convert (data/render-icons.sh) and kept in the repository, so
    # that building needs no SVG renderer; small sizes read better than the SVG scaled down.
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES ${kelvara_data}/icons/${KELVARA_APP_ID}-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME ${KELVARA_APP_ID}.png)
    endforeach()
endif()

# Man pages and the changelog are installed compressed, as Debian's policy wants; -n keeps the
# archives free of names and times, so that two builds give the same bytes.
set(kelvara_gzipped)
set(kelvara_pages kelvara-cli.1)
if(KELVARA_APP)
    list(APPEND kelvara_pages kelvara.1)
endif()
foreach(page ${kelvara_pages})
    set(out ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
        COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/man/${page} > ${out}
        DEPENDS ${PROJECT_SOURCE_DIR}/man/${page} VERBATIM)
    list(APPEND kelvara_gzipped ${out})
    install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/doc
    COMMAND gzip -9n -c ${kelvara_data}/changelog > ${changelog}
    DEPENDS ${kelvara_data}/changelog VERBATIM)
list(APPEND kelvara_gzipped ${changelog})
add_custom_target(kelvara_docs ALL DEPENDS ${kelvara_gzipped})
install(FILES ${changelog} ${kelvara_data}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Shell completions for kelvara-cli, where each shell's own loader finds them.
install(FILES ${PROJECT_SOURCE_DIR}/completions/kelvara-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kelvara-cli)
install(FILES ${PROJECT_SOURCE_DIR}/completions/_kelvara-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${PROJECT_SOURCE_DIR}/completions/kelvara-cli.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
