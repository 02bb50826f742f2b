# Linux install and Debian package: tarvikctl, the udev rules and the services
# they start when a disc changes or a drive appears, the hook that restores the
# speeds after a resume, and the man page; nothing else (no tests, benches
# or libraries). `cmake --install build/host --prefix /usr` or, in build/host,
# `cpack -G DEB` for tarvik_VERSION_ARCH.deb.
if(WIN32 OR NOT TARGET tarvikctl)
  return()
endif()

set(TARVIK_LINUX_FILES ${CMAKE_SOURCE_DIR}/packaging/linux)
# Installing (and so cpack) builds nothing: what it installs is built by
# `--target tarvikctl tarvikctl_man`, and the tests and benchmarks need not be.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS tarvikctl RUNTIME DESTINATION bin)
install(FILES ${TARVIK_LINUX_FILES}/60-tarvik.rules DESTINATION lib/udev/rules.d)
install(FILES ${TARVIK_LINUX_FILES}/tarvik-disc@.service ${TARVIK_LINUX_FILES}/tarvik-start@.service
              ${TARVIK_LINUX_FILES}/tarvik-resume.service DESTINATION lib/systemd/system)
install(PROGRAMS ${TARVIK_LINUX_FILES}/system-sleep.sh DESTINATION lib/systemd/system-sleep
        RENAME tarvik)
install(FILES ${TARVIK_LINUX_FILES}/tarvikctl.bash-completion
        DESTINATION share/bash-completion/completions RENAME tarvikctl)

# The man page names the project's version. Debian keeps man pages gzipped;
# -n leaves out the time stamp, so a rebuild gives the same bytes.
set(TARVIK_MAN ${CMAKE_BINARY_DIR}/man/tarvikctl.1)
configure_file(${TARVIK_LINUX_FILES}/tarvikctl.1.in ${TARVIK_MAN} @ONLY)
set(TARVIK_MAN_GZ ${TARVIK_MAN}.gz)
add_custom_command(OUTPUT ${TARVIK_MAN_GZ}
  COMMAND gzip -9 -n -c ${TARVIK_MAN} > ${TARVIK_MAN_GZ}
  DEPENDS ${TARVIK_MAN}
  VERBATIM)
add_custom_target(tarvikctl_man ALL DEPENDS ${TARVIK_MAN_GZ})
install(FILES ${TARVIK_MAN_GZ} DESTINATION share/man/man1)

# The same script after install and after removal: udev and systemd reload.
foreach(script postinst postrm)
  configure_file(${TARVIK_LINUX_FILES}/reload-udev-systemd.sh
                 ${CMAKE_BINARY_DIR}/debian/${script} COPYONLY)
endforeach()

set(TARVIK_DEB_MAINTAINER "Tarvik maintainers <maintainers@tarvik.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TARVIK_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps optical drives quiet by limiting their read speed")
# CPack puts the summary on the Description line, this below it.
set(CPACK_PACKAGE_DESCRIPTION
  "tarvikctl detects the read speeds a CD, DVD or Blu-ray drive offers for the
kind of disc in it, keeps one list per kind of disc and sets the speed chosen
with the method the drive obeys (SET CD SPEED or SET STREAMING).
.
A udev rule restores the chosen speed after every disc change, so a speed
chosen once with tarvikctl --system stays in force.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_BINARY_DIR}/debian/postinst ${CMAKE_BINARY_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
