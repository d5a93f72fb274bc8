# Install rules and the Debian packages: `murmelpost` (client), `murmelpost-server`,
# `murmelpost-send`, one CPack component each. Paths are Debian's; the service unit and
# the configuration file go to absolute places, so a staged install uses DESTDIR.
# Debian software lives under /usr, not /usr/local.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install prefix" FORCE)
endif()
include(GNUInstallDirs)

set(MURMELPOST_SCREENSHOT_URL "https://murmelpost.org/screenshots"
    CACHE STRING "Where the metainfo's screenshots are published")
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${PROJECT_BINARY_DIR}/packaging)

install(TARGETS murmelpost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT client)
install(TARGETS murmelpost-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
install(TARGETS murmelpost-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT send)

# Man pages from each program's own --help and --version, so they never drift apart.
find_program(HELP2MAN help2man REQUIRED)
set(man_pages)
set(summary_murmelpost "record a spoken message and send it as e-mail")
set(summary_murmelpost-server "transfer server that delivers Murmelpost voice messages as e-mail")
set(summary_murmelpost-send "send a Murmelpost voice message from the command line")
foreach(program murmelpost murmelpost-server murmelpost-send)
  set(include_file ${packaging}/man/${program}.h2m)
  set(include_option)
  set(include_depends)
  if(EXISTS ${include_file})
    set(include_option --include=${include_file})
    set(include_depends ${include_file})
  endif()
  set(page ${generated}/${program}.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${HELP2MAN} --no-info --no-discard-stderr --section=1 ${include_option}
            "--name=${summary_${program}}"
            --output=${page} $<TARGET_FILE:${program}>
    COMMAND gzip -9nf ${page}
    DEPENDS ${program} ${include_depends}
    COMMENT "Writing the man page of ${program}")
  list(APPEND man_pages ${page}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${generated}/murmelpost.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT client)
install(FILES ${generated}/murmelpost-server.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT server)
install(FILES ${generated}/murmelpost-send.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT send)

# The desktop: entry, icons drawn from the client's own artwork, metainfo.
install(FILES ${packaging}/murmelpost.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT client)
install(DIRECTORY ${packaging}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
        COMPONENT client)
configure_file(${packaging}/org.murmelpost.murmelpost.metainfo.xml.in
               ${generated}/org.murmelpost.murmelpost.metainfo.xml @ONLY)
install(FILES ${generated}/org.murmelpost.murmelpost.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT client)

# The service.
install(FILES ${packaging}/murmelpost-server.service DESTINATION /lib/systemd/system
        COMPONENT server)
install(FILES ${packaging}/server.conf DESTINATION /etc/murmelpost COMPONENT server)

# Every package carries the copyright and its changelog.
configure_file(${packaging}/copyright ${generated}/copyright @ONLY)
configure_file(${packaging}/changelog ${generated}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${generated}/changelog.Debian.gz
                   COMMAND gzip -9nkf ${generated}/changelog.Debian
                   DEPENDS ${packaging}/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${generated}/changelog.Debian.gz)
foreach(component client server send)
  set(name_client murmelpost)
  set(name_server murmelpost-server)
  set(name_send murmelpost-send)
  install(FILES ${generated}/copyright ${generated}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${name_${component}} COMPONENT ${component})
  file(WRITE ${generated}/overrides/${name_${component}}
       "# Built from its own repository, not uploaded to Debian: there is no ITP bug to close.\n"
       "${name_${component}}: initial-upload-closes-no-bugs\n")
  install(FILES ${generated}/overrides/${name_${component}}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME murmelpost)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Murmelpost developers <maintainers@murmelpost.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL client server send)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE murmelpost)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME murmelpost)
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION sound)
set(CPACK_COMPONENT_CLIENT_DESCRIPTION
    "voice e-mail client\nRecords a spoken message, plays it back, addresses it from its own address\nbook and sends it through a Murmelpost transfer server, which delivers it as\ne-mail. It runs in a window that shows a small handheld screen.")
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME murmelpost-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "init-system-helpers (>= 1.54~)")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    "${packaging}/debian/server/postinst;${packaging}/debian/server/prerm;${packaging}/debian/server/postrm;${packaging}/debian/server/conffiles")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_SERVER_DESCRIPTION
    "transfer server for Murmelpost voice e-mail\nReceives voice messages from Murmelpost clients over their transfer protocol\non port 110, keeps each one durably and delivers it as e-mail with the voice\nas MP3, into a Maildir outbox or through an SMTP relay. Runs as a hardened\nsystemd service and serves help pages, /healthz and /metrics over HTTP.")
set(CPACK_DEBIAN_SEND_PACKAGE_NAME murmelpost-send)
set(CPACK_DEBIAN_SEND_PACKAGE_SECTION mail)
set(CPACK_COMPONENT_SEND_DESCRIPTION
    "command-line sender for Murmelpost voice e-mail\nSends a voice message, read from an audio file, to a Murmelpost transfer\nserver through the same sessions as the client, for scripts and headless use.")
include(CPack)
