# The Debian package (cpack -G DEB), made from the install rules of the folders. The Windows
# installer is packaging/windows/quillmark.nsi, built by scripts/package with makensis.
if(WIN32)
  return()
endif()

set(VY_DEB_RELEASE 1)
set(VY_DEB_VERSION ${PROJECT_VERSION}-${VY_DEB_RELEASE})

# Debian wants its copyright file and a compressed changelog in the package's doc folder.
set(VY_DEB_DOC ${CMAKE_BINARY_DIR}/deb-doc)
configure_file(${VY_PACKAGING_DIR}/debian/changelog ${VY_DEB_DOC}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${VY_DEB_DOC}/changelog.Debian.gz
  COMMAND ${VY_GZIP} -9nc ${VY_DEB_DOC}/changelog.Debian > ${VY_DEB_DOC}/changelog.Debian.gz
  DEPENDS ${VY_DEB_DOC}/changelog.Debian VERBATIM)
add_custom_target(deb_changelog ALL DEPENDS ${VY_DEB_DOC}/changelog.Debian.gz)
install(FILES ${VY_PACKAGING_DIR}/debian/copyright ${VY_DEB_DOC}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmark)
install(FILES ${VY_PACKAGING_DIR}/debian/lintian-overrides RENAME quillmark
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VENDOR Quillmark)
set(CPACK_PACKAGE_CONTACT "Quillmark <paquetes@quillmark.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "electronic signatures with the Peruvian DNIe and X.509 certificates")
set(CPACK_PACKAGE_DESCRIPTION "Quillmark signs PDF documents with PAdES signatures: signer is the
desktop program, quillmark its command-line counterpart. Certificates come
from a Peruvian electronic ID card (DNIe) in a PC/SC reader, from PKCS#11
tokens or from PKCS#12 files. voteauth, started by firmatalven:// links,
signs the challenges of the TALVEN electronic vote with the DNIe.
Every text the programs show is Spanish.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VY_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by name at run time, started as programs or read as data, so dpkg-shlibdeps cannot see
# them: the PC/SC client, p11-kit's proxy module, the openssl program for PKCS#12 files and
# DejaVu Sans, the font embedded in the stamps of PDF/A documents.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libpcsclite1, p11-kit-modules, openssl, fonts-dejavu-core")
# Without the daemon the programs run but see no card reader.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pcscd")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "opensc")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${VY_PACKAGING_DIR}/debian/postinst ${VY_PACKAGING_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
