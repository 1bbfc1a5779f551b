# The Debian package: the programs, the disk helper under libexec, the message catalogs, man
# pages, bash completion, AppStream metainfo, and the copyright file and changelog that a
# Debian package carries. `cpack -G DEB` in a build tree (the default RelWithDebInfo build:
# optimised, with debug information) writes quaylet_VERSION_ARCH.deb with stripped programs
# and quaylet-dbgsym_VERSION_ARCH.ddeb with their debug symbols.
set(resources ${PROJECT_SOURCE_DIR}/resources)
set(packaging ${PROJECT_BINARY_DIR}/packaging)
find_program(QUAYLET_GZIP gzip REQUIRED)

# The changelog's newest entry names the version being built.
file(STRINGS ${resources}/debian/changelog newest_entry LIMIT_COUNT 1)
if(NOT newest_entry MATCHES "^quaylet \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "resources/debian/changelog does not start with an entry for "
                        "${PROJECT_VERSION}: ${newest_entry}")
endif()

# Files gzip'd as Debian wants them: quaylet_gzip(SOURCE DESTINATION) installs SOURCE.gz.
set(gzipped)
function(quaylet_gzip source destination)
    get_filename_component(name ${source} NAME)
    set(output ${packaging}/gz/${name}.gz)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DGZIP=${QUAYLET_GZIP} -DINPUT=${source} -DOUTPUT=${output}
                -P ${PROJECT_SOURCE_DIR}/cmake/GzipFile.cmake
        DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/GzipFile.cmake
        VERBATIM)
    install(FILES ${output} DESTINATION ${destination})
    set(gzipped ${gzipped} ${output} PARENT_SCOPE)
endfunction()

set(LIBEXEC_DIR ${CMAKE_INSTALL_FULL_LIBEXECDIR}/quaylet)
foreach(page quaylet.1 quaylet-cli.1 quaylet-diskutil.8)
    configure_file(${resources}/man/${page} ${packaging}/man/${page} @ONLY)
    string(REGEX MATCH "[0-9]$" section ${page})
    quaylet_gzip(${packaging}/man/${page} ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
set(docs ${CMAKE_INSTALL_DATADIR}/doc/quaylet)
quaylet_gzip(${resources}/debian/changelog ${docs})
add_custom_target(quaylet_packaging_files ALL DEPENDS ${gzipped})
install(FILES ${resources}/debian/copyright DESTINATION ${docs})

install(FILES ${resources}/completion/quaylet-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
configure_file(${resources}/com.pemrix.Quaylet.metainfo.xml
               ${packaging}/com.pemrix.Quaylet.metainfo.xml @ONLY)
install(FILES ${packaging}/com.pemrix.Quaylet.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "quaylet")
set(CPACK_PACKAGE_CONTACT "Quaylet maintainers <maintainers@quaylet.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "safe unplugging of Thunderbolt docks")
# The summary above is the synopsis; CPack puts it before this extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quaylet finds every mounted volume behind a Thunderbolt dock, unmounts it
safely (innermost disk images first, never forced), names the process that
keeps a volume busy and says whether the dock may be unplugged.
.
The package holds the tray icon (quaylet), the command quaylet-cli for
scripts and terminals, and the disk helper they share.")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "lsof, procps, mount")
# udisks2 lets a user without root rights unmount; GNOME shows the tray icon only with the
# AppIndicator extension, which other desktops do without.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udisks2")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
include(CPack)
