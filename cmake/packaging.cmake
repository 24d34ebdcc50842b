# Delivery. `cmake --build <tree> --target package` makes Termgate's zip in a Windows tree and
# mouseprobe's Debian package in a Linux tree, byte for byte the same on every rebuild of the same
# commit (make_package.py says how); the package.* tests build the package and check what it
# holds.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(packaging_make ${CMAKE_CURRENT_LIST_DIR}/packaging/make_package.py)
set(packaging_check ${CMAKE_CURRENT_LIST_DIR}/packaging/check_package.py)
set(packaging_stage ${CMAKE_BINARY_DIR}/packaging/stage)
set(packaging_testing FALSE)
# CMake keeps the name "package" for CPack in any tree that holds CPack's configuration, as trees
# configured while CPack made the packages still do.
file(REMOVE ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake)
if(BUILD_TESTING AND NOT TERMGATE_SANITIZE)
  set(packaging_testing TRUE)
endif()

# package.reproducible builds the packaged targets once more, from scratch, in a tree of its own
# configured as this one, and compares the two packages byte for byte.
set(packaging_rebuild ${CMAKE_BINARY_DIR}/packaging/rebuild)
set(packaging_configure -G ${CMAKE_GENERATOR} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
  -DBUILD_TESTING=OFF)
if(CMAKE_TOOLCHAIN_FILE)
  list(APPEND packaging_configure -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE})
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
  set(packaging_zip Termgate-${PROJECT_VERSION_MAJOR}.${packaging_minor}-${packaging_arch}.zip)
  # The files at the top of the zip, ready to copy into one folder: the program first, the sums
  # last. wizard/win32/CMakeLists.txt installs them.
  set(packaging_files Termgate.exe index.html toolbar.html DEPLOYMENT.txt install.cmd
    uninstall.cmd Termgate-task.xml SHA256SUMS.txt)
  set(packaging_commands
    COMMAND ${Python3_EXECUTABLE} ${packaging_make} zip --tree ${CMAKE_BINARY_DIR}
      --source ${PROJECT_SOURCE_DIR} --stage ${packaging_stage}
      --output ${CMAKE_BINARY_DIR}/${packaging_zip} ${packaging_files})
  set(packaging_made ${packaging_zip})
  # The product, the 32-bit one, also comes as a Windows Installer package, for Group Policy
  # software installation and the fleet tools that take only MSI files: wixl (msitools) makes it
  # from wizard/deploy/Termgate.wxs and the files the zip's command has just staged.
  set(packaging_msi "")
  if(packaging_arch STREQUAL win32)
    set(packaging_msi Termgate-${PROJECT_VERSION_MAJOR}.${packaging_minor}-win32.msi)
    foreach(tool wixl msiinfo msibuild)
      string(TOUPPER ${tool} tool_variable)
      find_program(${tool_variable}_PROGRAM ${tool} REQUIRED)
    endforeach()
    # Signed as Termgate.exe is, with the certificate of wizard/win32/CMakeLists.txt.
    set(packaging_msi_signing "")
    if(TERMGATE_SIGN_PKCS12)
      find_program(OSSLSIGNCODE_PROGRAM osslsigncode REQUIRED)
      set(packaging_msi_signing --osslsigncode ${OSSLSIGNCODE_PROGRAM}
        --sign-pkcs12 ${TERMGATE_SIGN_PKCS12})
      if(TERMGATE_SIGN_PASSWORD_FILE)
        list(APPEND packaging_msi_signing --sign-password-file ${TERMGATE_SIGN_PASSWORD_FILE})
      endif()
      if(TERMGATE_SIGN_TIMESTAMP_URL)
        list(APPEND packaging_msi_signing --sign-timestamp-url ${TERMGATE_SIGN_TIMESTAMP_URL})
      endif()
    endif()
    list(APPEND packaging_commands
      COMMAND ${Python3_EXECUTABLE} ${packaging_make} msi --source ${PROJECT_SOURCE_DIR}
        --stage ${packaging_stage} --wxs ${PROJECT_SOURCE_DIR}/wizard/deploy/Termgate.wxs
        --version ${PROJECT_VERSION} --arch x86 --output ${CMAKE_BINARY_DIR}/${packaging_msi}
        ${packaging_msi_signing})
    string(APPEND packaging_made " and ${packaging_msi}")
  endif()
  add_custom_target(package ${packaging_commands}
    COMMENT "Making ${packaging_made}"
    VERBATIM)
  add_dependencies(package Termgate)

  if(packaging_testing)
    find_program(OSSLSIGNCODE_PROGRAM osslsigncode REQUIRED)
    find_program(OPENSSL_PROGRAM openssl REQUIRED)
    set(packaging_signed_option "")
    if(TERMGATE_SIGN_PKCS12)
      set(packaging_signed_option --signed)
    endif()
    set(packaging_msi_option "")
    if(packaging_arch STREQUAL win32)
      add_test(NAME package.zip COMMAND ${Python3_EXECUTABLE} ${packaging_check} zip
        --tree ${CMAKE_BINARY_DIR} --package ${packaging_zip}
        --pages ${PROJECT_SOURCE_DIR}/wizard/pages --trace ${TERMGATE_TRACE}
        ${packaging_signed_option})
      set_tests_properties(package.zip PROPERTIES LABELS package TIMEOUT 300
        RESOURCE_LOCK package_tree)

      # The MSI's tables, as they must be, and the files it holds.
      set(packaging_msi_option --msi ${packaging_msi})
      add_test(NAME package.msi COMMAND ${Python3_EXECUTABLE} ${packaging_check} msi
        --tree ${CMAKE_BINARY_DIR} --package ${packaging_zip} --msi ${packaging_msi}
        --version ${PROJECT_VERSION} --source ${PROJECT_SOURCE_DIR} ${packaging_signed_option})
      set_tests_properties(package.msi PROPERTIES LABELS package TIMEOUT 300
        RESOURCE_LOCK package_tree)

      # The MSI installed, upgraded and removed by Wine's msiexec, in a 64-bit prefix of its own
      # (about 20 s to make), which installs this 32-bit package as 64-bit Windows does. Its custom
      # actions run the recording schtasks of the end-to-end tests, which this tree builds only
      # as a 32-bit program; a 64-bit Wine without 32-bit support cannot run that, so the test's
      # own is built from the same source for x64, with the other compiler of the mingw-w64 pair.
      find_program(TERMGATE_MINGW_X64_CXX NAMES x86_64-w64-mingw32-g++-posix
        x86_64-w64-mingw32-g++ REQUIRED
        DOC "The x64 mingw-w64 compiler, for the stand-in schtasks of package.msi.install")
      set(packaging_schtasks ${CMAKE_BINARY_DIR}/packaging/msi-install/stand-ins/schtasks.exe)
      set(packaging_schtasks_source ${PROJECT_SOURCE_DIR}/wizard/e2e/planted/recording_schtasks.cpp)
      add_custom_command(OUTPUT ${packaging_schtasks}
        COMMAND ${TERMGATE_MINGW_X64_CXX} -std=c++20 -O2 -Wall -Wextra -municode -static
          -DUNICODE -D_UNICODE -o ${packaging_schtasks} ${packaging_schtasks_source}
        DEPENDS ${packaging_schtasks_source}
        COMMENT "Building the x64 recording schtasks for package.msi.install"
        VERBATIM)
      add_custom_target(termgate_msi_stand_in ALL DEPENDS ${packaging_schtasks})
      add_test(NAME package.msi.install COMMAND ${Python3_EXECUTABLE}
        ${CMAKE_CURRENT_LIST_DIR}/packaging/check_msi_install.py --tree ${CMAKE_BINARY_DIR}
        --package ${packaging_zip} --msi ${packaging_msi} --schtasks ${packaging_schtasks}
        --state ${CMAKE_BINARY_DIR}/packaging/msi-install/session.json
        --source ${PROJECT_SOURCE_DIR} --version ${PROJECT_VERSION})
      set_tests_properties(package.msi.install PROPERTIES LABELS package TIMEOUT 300
        RESOURCE_LOCK package_tree SKIP_RETURN_CODE 77)
    endif()
    # The signed package is made in the second tree, which package.reproducible has just built:
    # signing adds no compilation. Its files stay in packaging/signed for the end-to-end tests.
    add_test(NAME package.reproducible COMMAND ${Python3_EXECUTABLE} ${packaging_check}
      reproducible --tree ${CMAKE_BINARY_DIR} --package ${packaging_zip} ${packaging_msi_option}
      --compare Termgate.exe --rebuild ${packaging_rebuild} --source ${PROJECT_SOURCE_DIR}
      --configure ${packaging_configure})
    add_test(NAME package.signed COMMAND ${Python3_EXECUTABLE} ${packaging_check} signed
      --tree ${packaging_rebuild} --package ${packaging_zip} ${packaging_msi_option}
      --unpack ${CMAKE_BINARY_DIR}/packaging/signed
      --openssl ${OPENSSL_PROGRAM} --osslsigncode ${OSSLSIGNCODE_PROGRAM})
    set_tests_properties(package.reproducible PROPERTIES LABELS package TIMEOUT 900
      RESOURCE_LOCK package_tree FIXTURES_SETUP package_rebuild)
    set_tests_properties(package.signed PROPERTIES LABELS package TIMEOUT 300
      FIXTURES_REQUIRED package_rebuild FIXTURES_SETUP signed_package)
  endif()
else()
  set(packaging_maintainer "Kelvarn Inc <mouseprobe@kelvarn.example>")
  set(packaging_control ${CMAKE_BINARY_DIR}/packaging/control)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging/debian/control.in ${packaging_control}
    @ONLY)

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

  add_custom_target(package
    COMMAND ${Python3_EXECUTABLE} ${packaging_make} deb --tree ${CMAKE_BINARY_DIR}
      --source ${PROJECT_SOURCE_DIR} --stage ${packaging_stage}
      --output-dir ${CMAKE_BINARY_DIR} --control ${packaging_control}
    COMMENT "Making mouseprobe's Debian package"
    VERBATIM)
  add_dependencies(package mouseprobe mouseprobe_man mouseprobe_changelog)

  if(packaging_testing)
    add_test(NAME package.deb COMMAND ${Python3_EXECUTABLE} ${packaging_check} deb
      --tree ${CMAKE_BINARY_DIR} --version ${PROJECT_VERSION})
    add_test(NAME package.deb.install COMMAND ${Python3_EXECUTABLE} ${packaging_check}
      deb-install --tree ${CMAKE_BINARY_DIR} --version ${PROJECT_VERSION})
    add_test(NAME package.reproducible COMMAND ${Python3_EXECUTABLE} ${packaging_check}
      reproducible --tree ${CMAKE_BINARY_DIR} --package mouseprobe_${PROJECT_VERSION}_*.deb
      --compare debian/mouseprobe/usr/bin/mouseprobe
      --rebuild ${packaging_rebuild} --source ${PROJECT_SOURCE_DIR}
      --configure ${packaging_configure})
    set_tests_properties(package.deb PROPERTIES LABELS package TIMEOUT 300 FIXTURES_SETUP deb
      RESOURCE_LOCK package_tree)
    set_tests_properties(package.deb.install PROPERTIES LABELS package TIMEOUT 300
      FIXTURES_REQUIRED deb SKIP_RETURN_CODE 77)
    set_tests_properties(package.reproducible PROPERTIES LABELS package TIMEOUT 300
      RESOURCE_LOCK package_tree)
  endif()
endif()
