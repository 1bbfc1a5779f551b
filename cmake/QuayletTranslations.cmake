# The translated message catalogs: resources/strings/LANG.po, compiled against the English
# string table into share/locale/LANG/LC_MESSAGES/quaylet.mo of the build tree (where the
# programs look first) and installed under the system's locale folder.
find_program(QUAYLET_MSGFMT msgfmt REQUIRED)
get_filename_component(gettext_dir ${QUAYLET_MSGFMT} DIRECTORY)

set(strings_dir ${PROJECT_SOURCE_DIR}/resources/strings)
file(GLOB catalog_sources CONFIGURE_DEPENDS ${strings_dir}/*.po)
set(catalogs)
foreach(po IN LISTS catalog_sources)
    get_filename_component(language ${po} NAME_WE)
    set(mo ${PROJECT_BINARY_DIR}/share/locale/${language}/LC_MESSAGES/quaylet.mo)
    add_custom_command(
        OUTPUT ${mo}
        COMMAND ${CMAKE_COMMAND} -DJSON=${strings_dir}/en.json -DPO=${po}
                -DPOT=${PROJECT_BINARY_DIR}/quaylet.pot -DMO=${mo} -DGETTEXT_DIR=${gettext_dir}
                -P ${PROJECT_SOURCE_DIR}/cmake/MessageCatalog.cmake
        DEPENDS ${po} ${strings_dir}/en.json ${PROJECT_SOURCE_DIR}/cmake/MessageCatalog.cmake
        COMMENT "Compiling the '${language}' message catalog"
        VERBATIM)
    list(APPEND catalogs ${mo})
    install(FILES ${mo} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${language}/LC_MESSAGES)
endforeach()
add_custom_target(quaylet_catalogs ALL DEPENDS ${catalogs})
