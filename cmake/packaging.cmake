# Debian packages through CPack: one package per install component.
#   tovan         the server program, its unit, desktop entry, icon, manual page
#   libkardo1     the shared library (the package name carries its soname)
#   libkardo-qt1  the Qt side of the library, when it is built
#   libkardo-dev  headers, unversioned links, pkg-config files, CMake packages
#   kardo-tools   kardo-reg, kardo-card, kardo-termsim, kardo-pick-folder
# Dependencies on other packages come from dpkg-shlibdeps; those between our
# own packages from the component dependencies (an exact version each).
# `cpack -G DEB` in the build folder writes the packages.
set(KARDO_SOVERSION ${PROJECT_VERSION_MAJOR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovan-kardo)
set(CPACK_PACKAGE_VENDOR "Quellwerk")
set(CPACK_PACKAGE_CONTACT "Quellwerk <support@quellwerk.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_HOMEPAGE_URL "https://quellwerk.example/tovan")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The library packages declare their sonames (a shlibs file) for packages
# built against them. dpkg-shlibdeps looks at one package at a time: it finds
# our own libraries in the build tree, and the dependency on their packages
# comes from the component dependencies below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/kardo ${CMAKE_BINARY_DIR}/kardo/qt)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")

set(CPACK_COMPONENTS_ALL tovan kardo kardo-dev kardo-tools)
if(TARGET kardo-qt)
  list(APPEND CPACK_COMPONENTS_ALL kardo-qt)
endif()

set(CPACK_DEBIAN_TOVAN_PACKAGE_NAME tovan)
set(CPACK_DEBIAN_TOVAN_PACKAGE_SECTION net)
set(CPACK_COMPONENT_TOVAN_DESCRIPTION "serial-to-TCP server for serial and printer devices
tovan makes one local serial or printer device reachable over TCP: clients
on the data port exchange bytes with the device, a client on the control
port changes the line settings. It runs with a Qt dialog or headless, for
example as the systemd service tovan@DEVICE.")

set(CPACK_DEBIAN_KARDO_PACKAGE_NAME libkardo${KARDO_SOVERSION})
set(CPACK_DEBIAN_KARDO_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_KARDO_DESCRIPTION "chip-card terminal drivers and utilities (shared library)
libkardo drives serial chip-card terminals (the G81, Cherry and PKI
families) and reads and writes memory cards and health insurance cards.
It also holds a settings store, ciphers and file utilities.")

# The library packages run ldconfig through dpkg's trigger, not from scripts
# of their own: naming postinst and postrm keeps CPack from writing them.
set(_kardo_library_control ${PROJECT_SOURCE_DIR}/packaging/library/triggers
    ${PROJECT_SOURCE_DIR}/packaging/library/postinst ${PROJECT_SOURCE_DIR}/packaging/library/postrm)
set(CPACK_DEBIAN_KARDO_PACKAGE_CONTROL_EXTRA ${_kardo_library_control})
set(CPACK_DEBIAN_KARDO-QT_PACKAGE_CONTROL_EXTRA ${_kardo_library_control})

set(CPACK_DEBIAN_KARDO-QT_PACKAGE_NAME libkardo-qt${KARDO_SOVERSION})
set(CPACK_DEBIAN_KARDO-QT_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_KARDO-QT_DEPENDS kardo)
set(CPACK_COMPONENT_KARDO-QT_DESCRIPTION "chip-card terminal library, Qt folder chooser
libkardo-qt gives the folder dialog of libkardo a Qt file chooser, so that
libkardo itself needs no GUI toolkit.")

set(CPACK_DEBIAN_KARDO-DEV_PACKAGE_NAME libkardo-dev)
set(CPACK_DEBIAN_KARDO-DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_KARDO-DEV_DEPENDS kardo)
if(TARGET kardo-qt)
  list(APPEND CPACK_COMPONENT_KARDO-DEV_DEPENDS kardo-qt)
endif()
set(CPACK_COMPONENT_KARDO-DEV_DESCRIPTION "chip-card terminal drivers and utilities (development files)
The headers of libkardo (one umbrella header <kardo/kardo.h>), the
pkg-config files kardo and kardo-qt and the CMake packages for
find_package(kardo) and find_package(kardo-qt).")

set(CPACK_DEBIAN_KARDO-TOOLS_PACKAGE_NAME kardo-tools)
set(CPACK_DEBIAN_KARDO-TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_KARDO-TOOLS_DEPENDS kardo)
if(TARGET kardo-pick-folder)
  list(APPEND CPACK_COMPONENT_KARDO-TOOLS_DEPENDS kardo-qt)
endif()
set(CPACK_COMPONENT_KARDO-TOOLS_DESCRIPTION "chip-card terminal tools: settings editor, card tool, terminal simulator
kardo-reg looks into and edits the settings store of libkardo, kardo-card
reads and writes cards in a terminal, and kardo-termsim plays a G81, Cherry
or PKI terminal with a card on a pseudo-terminal, for trying the library
before hardware arrives.")

# Every package carries the copyright file and the changelog in its own
# documentation folder, as Debian asks.
set(_kardo_changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${_kardo_changelog} @ONLY)
execute_process(COMMAND gzip -9nf ${_kardo_changelog} RESULT_VARIABLE _kardo_gzip)
if(NOT _kardo_gzip EQUAL 0)
  message(FATAL_ERROR "gzip of the package changelog failed")
endif()
foreach(_kardo_component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${_kardo_component} _kardo_upper)
  set(_kardo_doc ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${_kardo_upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${_kardo_doc} COMPONENT ${_kardo_component})
  install(FILES ${_kardo_changelog}.gz DESTINATION ${_kardo_doc} RENAME changelog.Debian.gz COMPONENT ${_kardo_component})
endforeach()

include(CPack)
