# What `cmake --install` puts in place, and the packages CPack makes of it
# (scripts/package.sh): a Debian package on Linux, a zip of the command-line
# tools from the Windows cross build.
include(GNUInstallDirs)

set(ondaris_outils ondaris-acq ondaris-verifie ondaris-repare ondaris-export)
set(ondaris_installation ${PROJECT_SOURCE_DIR}/installation)

if(WIN32)
  # Everything in one folder: the windows, the tools, the DLLs they load
  # (Qt's with its platform plugin and style, FFTW, HDF5, pugixml, libusb),
  # the simulated array's geometry, the guide and the notes for the lab PC
  # (the WinUSB driver) with Windows line ends. The zip is that folder; the
  # installer puts it in Program Files with Start-menu entries.
  set(ondaris_programmes ${ondaris_outils})
  if(TARGET ondaris)
    list(APPEND ondaris_programmes ondaris ondaris-simulateur ondaris-carte)
  endif()
  install(TARGETS ${ondaris_programmes} RUNTIME DESTINATION .)
  if(ondaris_dll_prefixe)
    install(FILES ${ondaris_dll} ${ondaris_dll_qt} ${ondaris_dll_prefixe}/bin/libusb-1.0.dll DESTINATION .)
    foreach(p ${ondaris_dll_plugins})
      get_filename_component(sous ${p} DIRECTORY)
      install(FILES ${ondaris_dll_prefixe}/plugins/${p} DESTINATION ${sous})
    endforeach()
    if(ONDARIS_FENETRE AND EXISTS ${ondaris_dll_prefixe}/translations/qtbase_fr.qm)
      install(FILES ${ondaris_dll_prefixe}/translations/qtbase_fr.qm DESTINATION translations)
    endif()
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/data/geometrie-simulateur.xml DESTINATION donnees)
  foreach(texte LISEZMOI:${ondaris_installation}/LISEZMOI.txt LICENCE:${PROJECT_SOURCE_DIR}/LICENCE
                LICENSE:${PROJECT_SOURCE_DIR}/LICENSE guide-operateur:${PROJECT_SOURCE_DIR}/docs/guide-operateur.md)
    string(REPLACE ":" ";" texte "${texte}")
    list(GET texte 0 nom)
    list(GET texte 1 source)
    configure_file(${source} ${CMAKE_BINARY_DIR}/textes/${nom}.txt NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_BINARY_DIR}/textes/${nom}.txt DESTINATION .)
  endforeach()

  set(CPACK_GENERATOR ZIP NSIS)
  set(CPACK_PACKAGE_FILE_NAME ondaris-${PROJECT_VERSION}-windows-x86_64)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY "Ondaris 1024")
  set(CPACK_PACKAGE_VENDOR "Ondaris 1024 acquisition developers")
  # A 64-bit installer: Debian's makensis makes a 32-bit one by default,
  # which Wine without its 32-bit part runs as a silent no-op. The target
  # goes through a wrapper, as one argument.
  find_program(ONDARIS_MAKENSIS makensis)
  if(ONDARIS_MAKENSIS)
    file(WRITE ${CMAKE_BINARY_DIR}/makensis-amd64
         "#!/bin/sh
exec \"${ONDARIS_MAKENSIS}\" '-XTarget amd64-unicode' \"$@\"
")
    file(CHMOD ${CMAKE_BINARY_DIR}/makensis-amd64 PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CPACK_NSIS_EXECUTABLE ${CMAKE_BINARY_DIR}/makensis-amd64)
  endif()
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_PACKAGE_NAME "Ondaris 1024")
  set(CPACK_NSIS_DISPLAY_NAME "Ondaris 1024 ${PROJECT_VERSION}")
  set(CPACK_NSIS_INSTALLED_ICON_NAME ondaris.exe)
  set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/installation/ondaris.ico)
  set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/installation/ondaris.ico)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  # (Backslashes doubled twice: CPack writes these into its own CMake file.)
  # The Start-menu entries start in the user's own folder, Documents\Ondaris
  # (created if missing), where the settings and recordings go; never in the
  # install folder. The uninstaller leaves that folder alone.
  set(ondaris_raccourcis)
  if(TARGET ondaris)
    set(ondaris_raccourcis
        "ondaris.exe|Ondaris 1024"
        "ondaris-simulateur.exe|Ondaris 1024 (boîtier simulé)")
  endif()
  set(creation "  SetShellVarContext current\n  CreateDirectory '$DOCUMENTS\\\\Ondaris'\n  SetOutPath '$DOCUMENTS\\\\Ondaris'\n  StrCmp $SV_ALLUSERS 'AllUsers' 0 +2\n  SetShellVarContext all\n")
  set(suppression "")
  foreach(r ${ondaris_raccourcis})
    string(REPLACE "|" ";" r "${r}")
    list(GET r 0 exe)
    list(GET r 1 titre)
    string(APPEND creation "  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\${titre}.lnk' '$INSTDIR\\\\${exe}'\n")
    string(APPEND suppression "  Delete '$SMPROGRAMS\\\\$START_MENU\\\\${titre}.lnk'\n")
  endforeach()
  string(APPEND creation "  SetOutPath '$INSTDIR'\n")
  set(CPACK_NSIS_CREATE_ICONS_EXTRA "${creation}")
  set(CPACK_NSIS_DELETE_ICONS_EXTRA "${suppression}")
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

  # The licence as Debian has it: the copyright file points at the GPL in
  # /usr/share/common-licenses; the changelog, compressed.
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/guide-operateur.md
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${ondaris_installation}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(ONDARIS_MAINTENEUR "Ondaris 1024 acquisition developers <maintainers@users.noreply.c-seed-509a3829.example>"
      CACHE STRING "The Debian package's maintainer, with an address")
  configure_file(${ondaris_installation}/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
                     COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
                     DEPENDS ${CMAKE_BINARY_DIR}/changelog)
  add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

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
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ONDARIS_MAINTENEUR}")
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
    "La fenêtre d'acquisition (ondaris), la même sur un boîtier simulé
(ondaris-simulateur), l'acquisition sans fenêtre (ondaris-acq) et les outils
d'après l'acquisition (ondaris-verifie, ondaris-repare, ondaris-export,
ondaris-carte), avec la règle udev du boîtier.")
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
