# The Debian package of the Linux build (cpack -G DEB in the build folder), in FHS places:
#   /usr/lib/quillbox            the host's program folder: the module, the sender programs,
#                                quillbox-host and the HylaFAX hook (CONF in wbcatch.ini)
#   /usr/lib/quillbox/language   the language module, found through the module's run path
#   /usr/bin                     quillbox-host (a link), quillbox-notice, quillbox-error-log
#   /usr/share/quillbox/hylafax  the FaxDispatch fragment and a sample mapping
#   /etc/default/quillbox, /etc/quillbox/hylafax-boxes   configuration (conffiles)
#   /var/lib/Corvane/Quillbox    the data folder, made by postinst
set(WBFAX_PROGRAM_DIR lib/quillbox)
set_target_properties(WbFaxRcvExt PROPERTIES INSTALL_RPATH "\$ORIGIN/language")
install(TARGETS WbFaxRcvExt quillbox-host PF_SMTP PF_SQB
  LIBRARY DESTINATION ${WBFAX_PROGRAM_DIR} RUNTIME DESTINATION ${WBFAX_PROGRAM_DIR})
install(TARGETS WbFaxRcvLC LIBRARY DESTINATION ${WBFAX_PROGRAM_DIR}/language)
install(TARGETS quillbox-notice quillbox-error-log RUNTIME DESTINATION bin)
# quillbox-host finds the module next to its own real path.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/package-links)
file(CREATE_LINK ../lib/quillbox/quillbox-host ${CMAKE_BINARY_DIR}/package-links/quillbox-host SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/package-links/quillbox-host DESTINATION bin)
install(PROGRAMS hylafax/hylafax-hook DESTINATION ${WBFAX_PROGRAM_DIR})
install(FILES hylafax/FaxDispatch hylafax/hylafax-boxes DESTINATION share/quillbox/hylafax)
install(FILES hylafax/hylafax-boxes DESTINATION /etc/quillbox)
install(FILES packaging/quillbox.default DESTINATION /etc/default RENAME quillbox)
install(FILES README.md DESTINATION share/doc/quillbox)
install(FILES hylafax/README.md DESTINATION share/doc/quillbox RENAME README.hylafax.md)
install(DIRECTORY docs/ DESTINATION share/doc/quillbox/docs)

set(CPACK_PACKAGE_NAME quillbox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Fax distribution for Scanner Quillbox: rules, folders, mail and PC notices")
set(CPACK_PACKAGE_CONTACT "WbFaxRcvExt developers <root@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "hylafax-server, samba")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm
  ${PROJECT_SOURCE_DIR}/packaging/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
