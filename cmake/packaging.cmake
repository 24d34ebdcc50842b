# Delivery. `cmake --build <tree> --target package` makes Termgate's zip in a Windows tree and
# mouseprobe's Debian package in a Linux tree; the package.* tests build the package and check
# what it holds.
set(CPACK_PACKAGE_VENDOR "Kelvarn Inc")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(packaging_check ${CMAKE_CURRENT_LIST_DIR}/packaging/check_package.py)
set(packaging_testing FALSE)
if(BUILD_TESTING AND NOT TERMGATE_SANITIZE)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(packaging_testing TRUE)
endif()

if(WIN32)
  # Named with the version as the exe's version record writes it: 1.0.0 is "1.00".
  set(packaging_minor 0${PROJECT_VERSION_MINOR})
  string(SUBSTRING ${packaging_minor} 0 2 packaging_minor)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(packaging_arch win32)
  else()
    set(packaging_arch win64)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME Termgate)
  set(packaging_zip Termgate-${PROJECT_VERSION_MAJOR}.${packaging_minor}-${packaging_arch})
  set(CPACK_PACKAGE_FILE_NAME ${packaging_zip})
  # The files at the top of the zip, ready to copy into one folder.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)

  if(packaging_testing AND packaging_arch STREQUAL win32)
    add_test(NAME package.zip COMMAND ${Python3_EXECUTABLE} ${packaging_check} zip
      --tree ${CMAKE_BINARY_DIR} --package ${packaging_zip}.zip
      --pages ${PROJECT_SOURCE_DIR}/wizard/pages)
    set_tests_properties(package.zip PROPERTIES LABELS package TIMEOUT 300)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME mouseprobe)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kelvarn Inc <mouseprobe@kelvarn.example>")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "print the versions of the console mouse library and server
mouseprobe asks libgpm, the console mouse library, for its own version and
for the version of the mouse server (gpm), and prints both on standard
output, one line each. No running mouse daemon is needed.")

  # The copyright file and a gzipped changelog in the package's doc folder, as Debian's policy
  # asks of every package.
  set(packaging_doc share/doc/mouseprobe)
  set(packaging_changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging/debian/changelog.in ${packaging_changelog}
    @ONLY)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  add_custom_command(OUTPUT ${packaging_changelog}.gz
    COMMAND ${GZIP_PROGRAM} -9nkf ${packaging_changelog}
    DEPENDS ${packaging_changelog}
    VERBATIM)
  add_custom_target(mouseprobe_changelog ALL DEPENDS ${packaging_changelog}.gz)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/packaging/debian/copyright
    ${packaging_changelog}.gz DESTINATION ${packaging_doc})
  include(CPack)

  if(packaging_testing)
    add_test(NAME package.deb COMMAND ${Python3_EXECUTABLE} ${packaging_check} deb
      --tree ${CMAKE_BINARY_DIR} --version ${PROJECT_VERSION})
    add_test(NAME package.deb.install COMMAND ${Python3_EXECUTABLE} ${packaging_check}
      deb-install --tree ${CMAKE_BINARY_DIR} --version ${PROJECT_VERSION})
    set_tests_properties(package.deb PROPERTIES LABELS package TIMEOUT 300 FIXTURES_SETUP deb)
    set_tests_properties(package.deb.install PROPERTIES LABELS package TIMEOUT 300
      FIXTURES_REQUIRED deb SKIP_RETURN_CODE 77)
  endif()
endif()
