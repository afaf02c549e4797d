# The DLLs the Windows programs load, beside them in the build tree (so that
# they run under Wine as built) and in the installed folder: Qt's, its
# platform plugins and style, FFTW, HDF5, pugixml, libusb, and the
# compiler's runtime that those DLLs link against.
set(ondaris_dll_prefixe ${ONDARIS_WINDOWS_PREFIX})
set(ondaris_dll)
set(ondaris_dll_qt)
if(ONDARIS_FENETRE)
  foreach(m Core Gui Widgets)
    list(APPEND ondaris_dll_qt ${ondaris_dll_prefixe}/bin/Qt6${m}.dll)
  endforeach()
endif()
foreach(nom libfftw3f-3.dll libhdf5.dll libpugixml.dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
  if(EXISTS ${ondaris_dll_prefixe}/bin/${nom})
    list(APPEND ondaris_dll ${ondaris_dll_prefixe}/bin/${nom})
  endif()
endforeach()
set(ondaris_dll_plugins)
if(ONDARIS_FENETRE)
  foreach(p platforms/qwindows.dll platforms/qoffscreen.dll platforms/qminimal.dll styles/qwindowsvistastyle.dll)
    list(APPEND ondaris_dll_plugins ${p})
  endforeach()
endif()

# Copies them into DIR (the test programs' folder has its own stand-in
# libusb-1.0.dll, so libusb is asked for apart, and Qt Test besides).
function(ondaris_copie_dll cible dossier avec_libusb)
  set(commandes)
  set(qt ${ondaris_dll_qt})
  if(NOT avec_libusb AND ONDARIS_FENETRE)
    # The window's tests use Qt Test.
    list(APPEND qt ${ondaris_dll_prefixe}/bin/Qt6Test.dll)
  endif()
  foreach(f ${ondaris_dll} ${qt})
    list(APPEND commandes COMMAND ${CMAKE_COMMAND} -E copy_if_different ${f} ${dossier}/)
  endforeach()
  if(avec_libusb)
    list(APPEND commandes COMMAND ${CMAKE_COMMAND} -E copy_if_different
         ${ondaris_dll_prefixe}/bin/libusb-1.0.dll ${dossier}/)
  endif()
  foreach(p ${ondaris_dll_plugins})
    get_filename_component(sous ${p} DIRECTORY)
    list(APPEND commandes COMMAND ${CMAKE_COMMAND} -E make_directory ${dossier}/${sous}
         COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ondaris_dll_prefixe}/plugins/${p} ${dossier}/${sous}/)
  endforeach()
  if(ONDARIS_FENETRE AND EXISTS ${ondaris_dll_prefixe}/translations/qtbase_fr.qm)
    list(APPEND commandes COMMAND ${CMAKE_COMMAND} -E make_directory ${dossier}/translations
         COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ondaris_dll_prefixe}/translations/qtbase_fr.qm
                 ${dossier}/translations/)
  endif()
  add_custom_target(${cible} ALL ${commandes} VERBATIM)
endfunction()

if(ondaris_dll_prefixe)
  ondaris_copie_dll(dll_programmes ${CMAKE_BINARY_DIR} TRUE)
endif()
