# Debian package of the installed programs.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "quaylet")
set(CPACK_PACKAGE_CONTACT "Quaylet maintainers <maintainers@quaylet.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "lsof, procps, util-linux, mount")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
