# The program's identity on a Linux desktop, and the Debian package.
#
# One reverse-DNS name ties together the desktop entry, the AppStream
# component, the icon and the MIME package file; desktop shells match them by
# that name, so it must never differ between them.

include(GNUInstallDirs)

set(TREZORKA_APP_ID "io.github.trezorka.Trezorka")
# ".t2k" files have no magic bytes, so this type is told by the name alone.
set(TREZORKA_MIME_TYPE "application/x-trezorka-t2k")
# The icon name a MIME type gets by default: the slash becomes a dash.
string(REPLACE "/" "-" TREZORKA_MIME_ICON "${TREZORKA_MIME_TYPE}")
set(TREZORKA_ICON_SIZES 16 32 48 64 128 256)
# SPDX identifier for the AppStream data. The repository carries no licence
# file yet; this is the tentative choice until one is added.
set(TREZORKA_PROJECT_LICENSE "MIT")

# --- Debian package: cpack -G DEB in the build folder -----------------------

set(CPACK_PACKAGE_NAME "trezorka")
set(CPACK_PACKAGE_VENDOR "Trezorka")
set(CPACK_PACKAGE_CONTACT "Trezorka developers <trezorka@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encrypt and decrypt a file with a password (RC4, .t2k)")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
# Packages land next to the build, not in the source tree.
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
set(CPACK_GENERATOR "DEB")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TREZORKA_WEB_URL}")
# The long description below the summary line; CPack indents it and marks the
# empty line as a paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Trezorka 2.0 Portable encrypts and decrypts one file at a time with a
password. The window program (trezorka, Czech user interface) and the
command-line tool (trezorka-cli) write the same .t2k format: the bare RC4
stream keyed from a SHA-1 hash of the password, with no header and no
check value.

The format offers weak protection by today's standards: RC4 is broken,
the same password always gives the same key stream, only the first half
of the password counts, and changes to an encrypted file go unnoticed.
Use it to exchange files with Trezorka users, not to protect secrets.")
# Library dependencies come from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Loaded at run time, so dpkg-shlibdeps cannot see them: Qt's platform plugins
# (X11 and others) for the window.
if(TREZORKA_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
endif()
# The menu, the MIME database and the icon cache are refreshed by the dpkg
# triggers of desktop-file-utils, shared-mime-info and hicolor-icon-theme;
# no maintainer scripts are needed.

# The Windows ZIP is packed by windows/build.sh, not by CPack: its text files
# are converted for Windows and its entries fixed for a reproducible archive.

include(CPack)
