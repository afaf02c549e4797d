# Installs the build into a folder of its own and checks what a package
# would hold: every program, answering --version with the build's version;
# the udev rule; the desktop entries, whose programs and icon are there;
# the man pages; the documentation.
#   -DBUILD=... -DOUT=... -DPROGRAMMES=a;b;... -DVERSION=... -DMAN=0|1
cmake_minimum_required(VERSION 3.16)
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${OUT}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install: ${rc}\n${err}")
endif()

set(manque)
foreach(f lib/udev/rules.d/60-ondaris.rules share/doc/ondaris/README.md share/doc/ondaris/copyright
          share/doc/ondaris/guide-operateur.md share/doc/ondaris/changelog.gz)
  if(NOT EXISTS ${OUT}/${f})
    list(APPEND manque ${f})
  endif()
endforeach()
foreach(p ${PROGRAMMES})
  if(MAN AND NOT EXISTS ${OUT}/share/man/man1/${p}.1.gz)
    list(APPEND manque share/man/man1/${p}.1.gz)
  endif()
  execute_process(COMMAND ${OUT}/bin/${p} --version RESULT_VARIABLE rc OUTPUT_VARIABLE v ERROR_QUIET)
  if(NOT rc EQUAL 0 OR NOT v STREQUAL "${p} ${VERSION}\n")
    list(APPEND manque "bin/${p} (--version : ${rc}, ${v})")
  endif()
endforeach()

file(GLOB entrees ${OUT}/share/applications/*.desktop)
if("ondaris" IN_LIST PROGRAMMES)
  list(LENGTH entrees n)
  if(NOT n EQUAL 2)
    list(APPEND manque "2 desktop entries (${n})")
  endif()
endif()
foreach(entree ${entrees})
  file(STRINGS ${entree} exec REGEX "^Exec=")
  file(STRINGS ${entree} icone REGEX "^Icon=")
  string(REPLACE "Exec=" "" exec "${exec}")
  string(REPLACE "Icon=" "" icone "${icone}")
  if(NOT EXISTS ${OUT}/bin/${exec} OR NOT EXISTS ${OUT}/share/icons/hicolor/64x64/apps/${icone}.png)
    list(APPEND manque "${entree}: ${exec}, ${icone}.png")
  endif()
endforeach()

if(manque)
  string(REPLACE ";" "\n  " manque "${manque}")
  message(FATAL_ERROR "Missing from the installed tree:\n  ${manque}")
endif()
