# Builds the Debian package from a finished build tree and checks it as a distribution would:
# lintian without errors (its warnings are printed), the AppStream metainfo and the desktop
# entry valid, the man pages, completion, metainfo, catalog and disk helper where they belong,
# and the installed programs answering --version and finding their German texts.
# Script mode: cmake -DBUILD_DIR=build -DWORK_DIR=dir -DVERSION=x.y.z -DSNAPSHOT=machine.json
#   -P check_package.cmake
foreach(variable BUILD_DIR WORK_DIR VERSION SNAPSHOT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "check_package.cmake needs -D${variable}=...")
    endif()
endforeach()

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    set(status "${status}" PARENT_SCOPE)
    set(output "${output}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run(${CMAKE_CPACK_COMMAND} -G DEB -B ${WORK_DIR} --config ${BUILD_DIR}/CPackConfig.cmake)
file(GLOB deb ${WORK_DIR}/quaylet_*.deb)
file(GLOB dbgsym ${WORK_DIR}/quaylet-dbgsym_*.ddeb)
if(NOT status EQUAL 0 OR NOT deb OR NOT dbgsym)
    message(FATAL_ERROR "cpack made no package and debug symbol package:\n${output}")
endif()

set(failures)
run(lintian --fail-on error ${deb})
message("lintian:\n${output}")
if(NOT status EQUAL 0)
    list(APPEND failures "lintian reports errors")
endif()

run(dpkg-deb -c ${deb})
foreach(path
        usr/bin/quaylet usr/bin/quaylet-cli usr/libexec/quaylet/quaylet-diskutil
        usr/libexec/quaylet/quaylet-udisks.so
        usr/share/man/man1/quaylet.1.gz usr/share/man/man1/quaylet-cli.1.gz
        usr/share/man/man8/quaylet-diskutil.8.gz
        usr/share/bash-completion/completions/quaylet-cli
        usr/share/metainfo/com.pemrix.Quaylet.metainfo.xml
        usr/share/applications/quaylet.desktop
        usr/share/locale/de/LC_MESSAGES/quaylet.mo
        usr/share/doc/quaylet/copyright usr/share/doc/quaylet/changelog.gz)
    if(NOT output MATCHES " \\./${path}\n")
        list(APPEND failures "the package lacks /${path}")
    endif()
endforeach()
run(dpkg-deb -f ${deb} Section)
if(NOT output STREQUAL "utils\n")
    list(APPEND failures "the package's section is ${output}")
endif()

set(root ${WORK_DIR}/root)
run(dpkg-deb -x ${deb} ${root})
run(appstreamcli validate --no-net ${root}/usr/share/metainfo/com.pemrix.Quaylet.metainfo.xml)
if(NOT status EQUAL 0)
    list(APPEND failures "appstreamcli validate:\n${output}")
endif()
run(desktop-file-validate ${root}/usr/share/applications/quaylet.desktop)
if(NOT status EQUAL 0 OR NOT output STREQUAL "")
    list(APPEND failures "desktop-file-validate:\n${output}")
endif()

foreach(program bin/quaylet bin/quaylet-cli libexec/quaylet/quaylet-diskutil)
    get_filename_component(name ${program} NAME)
    run(${root}/usr/${program} --version)
    if(NOT output STREQUAL "${name} ${VERSION}\n")
        list(APPEND failures "${name} --version says: ${output}")
    endif()
endforeach()
run(${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 LANGUAGE=de
    ${root}/usr/bin/quaylet-cli --snapshot ${SNAPSHOT} status)
if(NOT output MATCHES "Auszuhängen")
    list(APPEND failures "the installed quaylet-cli does not speak German:\n${output}")
endif()

if(failures)
    list(JOIN failures "\n" failures)
    message(FATAL_ERROR "${failures}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
