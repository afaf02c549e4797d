# What `cmake --install` puts in place, and the packages CPack makes of it
# (scripts/package.sh): a Debian package on Linux, a zip of the command-line
# tools from the Windows cross build.
include(GNUInstallDirs)

set(ondaris_outils ondaris-acq ondaris-verifie ondaris-repare ondaris-export)
set(ondaris_installation ${PROJECT_SOURCE_DIR}/installation)

if(WIN32)
  # Everything in one folder, nothing to install: the programs, and beside
  # them the notes for the lab PC (where libusb-1.0.dll goes, the WinUSB
  # driver) with Windows line ends.
  install(TARGETS ${ondaris_outils} RUNTIME DESTINATION .)
  foreach(texte LISEZMOI:${ondaris_installation}/LISEZMOI.txt LICENCE:${PROJECT_SOURCE_DIR}/LICENCE
                LICENSE:${PROJECT_SOURCE_DIR}/LICENSE)
    string(REPLACE ":" ";" texte "${texte}")
    list(GET texte 0 nom)
    list(GET texte 1 source)
    configure_file(${source} ${CMAKE_BINARY_DIR}/textes/${nom}.txt NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_BINARY_DIR}/textes/${nom}.txt DESTINATION .)
  endforeach()

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ondaris-${PROJECT_VERSION}-windows-x86_64)
else()
  set(ondaris_programmes ${ondaris_outils})
  if(TARGET ondaris)
    list(APPEND ondaris_programmes ondaris ondaris-simulateur ondaris-carte)
  endif()
  install(TARGETS ${ondaris_programmes} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The simulated array's geometry, for --sim-geometrie and ondaris-carte.
  install(FILES ${PROJECT_SOURCE_DIR}/data/geometrie-simulateur.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/ondaris)

  # The box's rule: access for plugdev, the usbfs budget raised when it is
  # plugged in. Relative to the prefix: /usr/lib/udev/rules.d in the package.
  set(ONDARIS_UDEV_DIR lib/udev/rules.d CACHE STRING "Folder of udev rules, under the prefix unless absolute")
  install(FILES ${ondaris_installation}/60-ondaris.rules DESTINATION ${ONDARIS_UDEV_DIR})

  if(TARGET ondaris)
    install(FILES ${ondaris_installation}/ondaris.desktop ${ondaris_installation}/ondaris-simulateur.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/app/fenetre/images/icone.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME ondaris.png)
  endif()

  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENCE ${PROJECT_SOURCE_DIR}/LICENSE
                ${PROJECT_SOURCE_DIR}/docs/guide-operateur.md
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/LICENCE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

  # A man page per program, made by help2man from its --help and --version.
  find_program(ONDARIS_HELP2MAN help2man)
  if(ONDARIS_HELP2MAN)
    set(resume_ondaris-acq "une acquisition Ondaris 1024 sans fenêtre")
    set(resume_ondaris-verifie "vérifie un enregistrement Ondaris 1024")
    set(resume_ondaris-repare "reconstruit l'en-tête et la description d'un enregistrement interrompu")
    set(resume_ondaris-export "exporte un enregistrement Ondaris 1024 en HDF5, NumPy ou SigMF")
    set(resume_ondaris "la fenêtre d'acquisition de l'Ondaris 1024")
    set(resume_ondaris-simulateur "la fenêtre d'acquisition sur un boîtier simulé")
    set(resume_ondaris-carte "carte acoustique d'un enregistrement Ondaris 1024")
    set(pages)
    foreach(programme ${ondaris_programmes})
      set(page ${CMAKE_BINARY_DIR}/man/${programme}.1)
      # The summary through a file: help2man would re-encode it from the
      # command line.
      file(WRITE ${page}.h2m "[NAME]\n${programme} \\- ${resume_${programme}}\n")
      add_custom_command(OUTPUT ${page}.gz
                         COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                         COMMAND ${ONDARIS_HELP2MAN} --no-info --locale=C.UTF-8 --section=1
                                 --include=${page}.h2m --output=${page} $<TARGET_FILE:${programme}>
                         COMMAND gzip -9nf ${page}
                         DEPENDS ${programme} ${page}.h2m VERBATIM)
      list(APPEND pages ${page}.gz)
    endforeach()
    add_custom_target(pages_man ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    message(STATUS "help2man absent : pas de pages de manuel (scripts/install-deps.sh)")
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  find_program(ONDARIS_DPKG dpkg)
  if(ONDARIS_DPKG)
    execute_process(COMMAND ${ONDARIS_DPKG} --print-architecture OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  set(CPACK_PACKAGE_FILE_NAME ondaris_${PROJECT_VERSION}_${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ondaris 1024 acquisition developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The libraries' packages come from dpkg-shlibdeps (Qt 6, libusb, HDF5);
  # Qt's platform plugins are loaded at run time, so they are named here.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
  # No postrm: udev notices by itself a rule that is gone, and a package
  # without one leaves nothing behind once removed.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${ondaris_installation}/postinst)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
endif()

set(CPACK_PACKAGE_NAME ondaris)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Acquisition de l'antenne de microphones Ondaris 1024 (USB)")
set(CPACK_PACKAGE_DESCRIPTION
    "La fenêtre d'acquisition (ondaris), la même sur un boîtier simulé (ondaris-simulateur),
l'acquisition sans fenêtre (ondaris-acq) et les outils d'après l'acquisition
(ondaris-verifie, ondaris-repare, ondaris-export), avec la règle udev du boîtier.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENCE)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
include(CPack)

# The installed tree, checked without a package: every program there and
# answering --version, the rule, the desktop entries and their icon, the
# man pages, the documentation.
if(ONDARIS_TESTS AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME installation
           COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DOUT=${CMAKE_BINARY_DIR}/essai-installation
                   "-DPROGRAMMES=${ondaris_programmes}" -DVERSION=${ONDARIS_VERSION}
                   -DMAN=$<BOOL:${ONDARIS_HELP2MAN}>
                   -P ${PROJECT_SOURCE_DIR}/tests/installation/verifie_installation.cmake)
  set_tests_properties(installation PROPERTIES TIMEOUT 120)
endif()
