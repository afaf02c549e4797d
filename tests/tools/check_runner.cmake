# Runs ondaris-acq and checks its exit code and the files it leaves.
#   -DRUNNER=... -DOUT=... -DCONFIG=... [-DEMULATOR=wine]
#   -DMODE=simulated|sans_enregistrement|canaux|diagnostic|nobox|usage
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})

function(expect_in text what)
  string(FIND "${text}" "${what}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "\"${what}\" missing from:\n${text}")
  endif()
endfunction()

if(MODE STREQUAL "simulated")
  # A configuration left by an earlier run (external trigger, open-ended)
  # must not add to the one given. Paced, so that a run that became
  # open-ended only times out.
  file(WRITE ${OUT}/config_en_cours.txt "Frequence = 2000 Hz\r\nDuree = 0\r\nTrig = Trig1 Flanc_montant\r\n")
  execute_process(COMMAND ${EMULATOR} ${RUNNER} --simulateur --config ${CONFIG}
                          --dossier ${OUT} --nom Essai --sans-progression
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "exit ${rc}\n${out}\n${err}")
  endif()
  # The settings in force come before Init. The folder's separator is the
  # system's.
  if(EMULATOR)
    set(sep "\\")
  else()
    set(sep "/")
  endif()
  foreach(line "Réglages :\n  Fréquence : 10,000 Hz\n  Durée : 0.5 s\n  Déclenchement : soft (immédiat)\n"
               "  Voies : 12 micros, 1 analogiques, compteurs A, sans voie d'état\n"
               "  Fichiers : ${OUT}${sep}Essai.dat (et .Ond, .log)\nLiaison USB activée")
    expect_in("${out}" "${line}")
  endforeach()
  # 14 words per frame (8 + 4 microphones, analogue 0, counter A), 5000 frames.
  foreach(pair "Essai.dat;280000" "Essai.Ond;2097")
    list(GET pair 0 name)
    list(GET pair 1 size)
    file(SIZE ${OUT}/${name} actual)
    if(NOT actual EQUAL size)
      message(FATAL_ERROR "${name}: ${actual} bytes, expected ${size}\n${out}")
    endif()
  endforeach()
  file(READ ${OUT}/Essai.log log)
  foreach(line "Nb_voies = 14" "Freq = 10000" "Nb_ech = 5000" "Faisceau_001  1  0  1  0  1  0  1  0")
    string(FIND "${log}" "${line}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "Essai.log lacks \"${line}\"")
    endif()
  endforeach()
  string(FIND "${out}" "Ondaris 1024 détecté" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the pane was not printed:\n${out}")
  endif()
elseif(MODE STREQUAL "sans_enregistrement")
  # Recording off wins over a folder and a name; the duration keeps one
  # decimal (0.04 s would be saved as 0.0, an open-ended run at next start).
  execute_process(COMMAND ${EMULATOR} ${RUNNER} --simulateur --sim-rythme libre --config ${CONFIG} --duree 0.04
                          --sans-enregistrement --dossier ${OUT}/D --nom N --sans-progression
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "exit ${rc}\n${out}\n${err}")
  endif()
  file(GLOB written ${OUT}/N.* ${OUT}/D)
  if(written)
    message(FATAL_ERROR "written without recording: ${written}")
  endif()
  expect_in("${out}" "Durée arrondie à une décimale : 0.1 s au lieu de 0.04 s\n")
  expect_in("${out}" "  Fichiers : aucun (sans enregistrement)\n")
  file(READ ${OUT}/config_en_cours.txt config)
  expect_in("${config}" "Duree = 0.1  s\n")
elseif(MODE STREQUAL "canaux")
  # Every channel the box offers can be chosen without the window.
  execute_process(COMMAND ${EMULATOR} ${RUNNER} --simulateur --sim-rythme libre --config ${CONFIG} --duree 0.1
                          --compteurs BD --etat --dossier ${OUT} --nom C.dat --sans-progression
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "exit ${rc}\n${out}\n${err}")
  endif()
  # 12 microphones, analogue 0, counters B and D, status: 16 words, 1000 frames.
  # The name's ".dat" is the data file's own.
  if(EXISTS ${OUT}/C.dat.dat)
    message(FATAL_ERROR "--nom C.dat wrote C.dat.dat")
  endif()
  file(SIZE ${OUT}/C.dat size)
  if(NOT size EQUAL 64000)
    message(FATAL_ERROR "C.dat: ${size} bytes, expected 64000\n${out}")
  endif()
  file(READ ${OUT}/C.log log)
  expect_in("${log}" "Nb_voies = 16\n")
  expect_in("${log}" "Compteurs =   0  1  0  1\n")
  expect_in("${out}" "compteurs BD, voie d'état\n")
  # A duration written with a decimal comma reads as 1.5 s under any locale.
  file(READ ${CONFIG} texte)
  string(REPLACE "Duree = 0.5  s" "Duree = 1,5  s" texte "${texte}")
  file(WRITE ${OUT}/virgule.txt "${texte}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LANG=C LC_ALL=C ${EMULATOR} ${RUNNER} --simulateur
                          --sim-rythme libre --config ${OUT}/virgule.txt --dossier ${OUT} --nom V --sans-progression
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "exit ${rc}\n${out}\n${err}")
  endif()
  # 14 words per frame, 15 000 frames.
  file(SIZE ${OUT}/V.dat size)
  if(NOT size EQUAL 840000)
    message(FATAL_ERROR "V.dat: ${size} bytes, expected 840000 (1.5 s)\n${out}")
  endif()
elseif(MODE STREQUAL "diagnostic")
  # Every microphone at 50 000 Hz (the scene's 1 kHz source far below the
  # band where noise is judged), a trigger that never comes: the check starts
  # at once, records nothing and leaves the settings file alone.
  set(config "[Paramètres généraux]\r\nFrequence = 50000 Hz\r\nDuree = 0.5  s\r\nTrig = Trig1 Flanc_montant\r\n")
  string(APPEND config "Enregistrement = 1\r\n\r\n[Micros actifs]\r\n")
  foreach(f RANGE 127)
    if(f LESS 10)
      set(f "00${f}")
    elseif(f LESS 100)
      set(f "0${f}")
    endif()
    string(APPEND config "Faisceau_${f}  1  1  1  1  1  1  1  1\r\n")
  endforeach()
  file(WRITE ${OUT}/tous.txt "${config}")
  set(diagnostic ${EMULATOR} ${RUNNER} --simulateur --sim-rythme libre --sim-declenchement jamais --config tous.txt
                 --diagnostic --sans-progression)
  execute_process(COMMAND ${diagnostic} --sim-defauts 3:muet,17:sature,200:bruit,511:continu,700:fige,12-13:permute
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 8)
    message(FATAL_ERROR "exit ${rc}, expected 8 (microphones flagged)\n${out}\n${err}")
  endif()
  foreach(line "\nmicro 3 : muet" "\nmicro 17 : saturé" "\nmicro 200 : bruyant" "\nmicro 511 : décalage continu"
               "\nmicro 700 : figé" "\nMicros : 1024 analysés sur "
               " trames, 5 signalés (muet 1, figé 1, saturé 1, bruyant 1, décalage continu 1)\n")
    expect_in("${out}" "${line}")
  endforeach()
  # The kinds a short check can judge, each by its word; microphone 323 sits
  # under the scene's source, whose tone is louder than the offset.
  execute_process(COMMAND ${diagnostic} --sim-defauts 100:coupure,200:ecrete,323:continu,500:inverse,600:claque
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 8)
    message(FATAL_ERROR "exit ${rc}, expected 8 (microphones flagged)\n${out}\n${err}")
  endif()
  foreach(line "\nmicro 100 : coupures (0 sur " "\nmicro 200 : écrêté (" "\nmicro 323 : décalage continu ("
               "\nmicro 500 : polarité inversée (" "\nmicro 600 : impulsion ("
               " trames, 5 signalés (décalage continu 1, coupures 1, écrêté 1, impulsion 1, polarité inversée 1)\n")
    expect_in("${out}" "${line}")
  endforeach()
  # A broadband source 1 cm in front of microphone 7 (outer ring), 110 dB
  # there: with the simulated array's positions, its neighbours rise with it
  # and nothing is flagged.
  get_filename_component(tests_runner ${CONFIG} DIRECTORY)
  execute_process(COMMAND ${diagnostic} --sim-geometrie ${tests_runner}/../../data/geometrie-simulateur.xml
                          --sim-point 0.412668,0.282321,0.01,bruit,70
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "exit ${rc}, expected 0 (a close source, no fault)\n${out}\n${err}")
  endif()
  expect_in("${out}" " trames, aucun signalé\n")
  file(GLOB written ${OUT}/*.dat ${OUT}/config_en_cours.txt)
  if(written)
    message(FATAL_ERROR "written by a diagnostic: ${written}")
  endif()
  execute_process(COMMAND ${diagnostic} WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "exit ${rc}, expected 0 (no fault)\n${out}\n${err}")
  endif()
  expect_in("${out}" "\nMicros : 1024 analysés sur ")
  expect_in("${out}" " trames, aucun signalé\n")
elseif(MODE STREQUAL "rejoue")
  # A recording replayed with the same channels streams the same bytes,
  # whatever the scene: the samples are the file's and counter A the box's.
  set(run ${EMULATOR} ${RUNNER} --simulateur --sim-rythme libre --config ${CONFIG} --dossier ${OUT}
          --sans-progression --compteurs ABCD --etat)
  execute_process(COMMAND ${run} --nom Source WORKING_DIRECTORY ${OUT}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "recording: exit ${rc}\n${out}\n${err}")
  endif()
  execute_process(COMMAND ${run} --nom Rejeu --sim-rejoue ${OUT}/Source.dat --sim-ton 3000 --sim-bruit 500
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "replay: exit ${rc}\n${out}\n${err}")
  endif()
  expect_in("${out}" "rejeu de Source.dat : 12 micros, 1 VA, 5000 trames à 10000 Hz, entiers, en boucle")
  file(SHA256 ${OUT}/Source.dat source)
  file(SHA256 ${OUT}/Rejeu.dat rejeu)
  if(NOT source STREQUAL rejeu)
    message(FATAL_ERROR "Rejeu.dat differs from Source.dat\n${out}")
  endif()
  # More channels, another frequency and longer than the recording: the
  # missing channels named, the speed told, the loop unseen by the counter
  # check (exit 0).
  file(WRITE ${OUT}/autre.txt "[Paramètres généraux]\r\nFrequence = 20000 Hz\r\nDuree = 1.2  s\r\n"
             "Type = float32\r\nTrig = Soft\r\nEnregistrement = 1\r\n[Micros actifs]\r\n"
             "Faisceau_000  1  1  1  1  1  1  1  1\r\nFaisceau_001  1  1  1  1  1  1  1  1\r\n"
             "[VA actives]\r\nBloc_A =   1  1  0  0\r\n[Compteurs actifs]\r\nCompteurs =   1  0  0  0\r\n")
  execute_process(COMMAND ${EMULATOR} ${RUNNER} --simulateur --sim-rythme libre --config ${OUT}/autre.txt
                          --dossier ${OUT} --nom Autre --sans-progression --sim-rejoue ${OUT}/Source.dat
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "replay with other channels: exit ${rc}\n${out}\n${err}")
  endif()
  expect_in("${out}" "Rejeu : Source.dat n'a pas les micros 9, 11, 13, 15 ni la VA 1 : ces voies sont à zéro.\n")
  expect_in("${out}" "Rejeu : Source.dat a été enregistré à 10000 Hz ; rejoué à 20000 Hz, il passe plus vite")
  file(SIZE ${OUT}/Autre.dat size)
  if(NOT size EQUAL 1824000) # 24000 frames of 19 words
    message(FATAL_ERROR "Autre.dat: ${size} bytes\n${out}")
  endif()
  # A file that is no recording: refused before Init.
  execute_process(COMMAND ${EMULATOR} ${RUNNER} --simulateur --sim-rejoue ${OUT}/absent.dat
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 64)
    message(FATAL_ERROR "absent recording: exit ${rc}\n${out}\n${err}")
  endif()
  expect_in("${err}" "Rejeu impossible de ${OUT}/absent.dat")
elseif(MODE STREQUAL "nobox")
  execute_process(COMMAND ${EMULATOR} ${RUNNER} --config ${CONFIG} --dossier ${OUT} --sans-progression
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 2)
    message(FATAL_ERROR "exit ${rc}, expected 2 (no box)\n${out}\n${err}")
  endif()
  string(FIND "${out}" "Pas de détection de Ondaris" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no alert for the missing box:\n${out}")
  endif()
  if(EMULATOR)
    # The runner with the other DLLs but without libusb-1.0.dll: Init names
    # the missing file, and the run goes on as without a box.
    get_filename_component(dossier ${RUNNER} DIRECTORY)
    file(GLOB dll ${dossier}/*.dll)
    list(FILTER dll EXCLUDE REGEX "libusb-1\\.0\\.dll$")
    set(seul ${OUT}/sans-libusb)
    file(REMOVE_RECURSE ${seul})
    file(MAKE_DIRECTORY ${seul})
    file(COPY ${RUNNER} ${dll} DESTINATION ${seul})
    get_filename_component(nom ${RUNNER} NAME)
    execute_process(COMMAND ${EMULATOR} ${seul}/${nom} --config ${CONFIG} --dossier ${seul} --sans-progression
                    WORKING_DIRECTORY ${seul} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 2)
      message(FATAL_ERROR "without libusb-1.0.dll: exit ${rc}, expected 2 (no box)\n${out}\n${err}")
    endif()
    string(FIND "${out}" "libusb-1.0.dll" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the missing libusb-1.0.dll was not reported:\n${out}")
    endif()
  endif()
else()
  execute_process(COMMAND ${EMULATOR} ${RUNNER} --duree -3 RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT rc EQUAL 64)
    message(FATAL_ERROR "exit ${rc}, expected 64 for a bad option")
  endif()
  # Names that leave the folder, a duration beyond the frequency's longest
  # (said with it), and numbers that are no setting, the simulator's too; the
  # live map without an array, and an array without the live map.
  get_filename_component(geometrie ${CONFIG}/../../../data/geometrie-simulateur.xml ABSOLUTE)
  foreach(cas "--nom;../evade;sans répertoire" "--nom;a/b;sans répertoire" "--nom;.dat;sans répertoire"
              "--duree;99999;s au plus à" "--duree;-0;durée négative" "--sim-source;-1,2;positifs"
              "--sim-ton;nan;nombre attendu" "--sim-declenchement;-0;millisecondes"
              "--carte-directe;--etat;--carte-directe demande --geometrie"
              "--geometrie;${geometrie};--geometrie demande --carte-directe")
    list(GET cas 0 option)
    list(GET cas 1 valeur)
    list(GET cas 2 raison)
    execute_process(COMMAND ${EMULATOR} ${RUNNER} --simulateur --sim-rythme libre --duree 0.1 --dossier ${OUT}/d
                            ${option} ${valeur} --sans-progression
                    WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
    if(NOT rc EQUAL 64)
      message(FATAL_ERROR "${option} ${valeur}: exit ${rc}, expected 64\n${out}\n${err}")
    endif()
    expect_in("${err}" "${raison}")
    string(FIND "${out}${err}" "arrondie" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${option} ${valeur}: reported as rounded\n${out}\n${err}")
    endif()
  endforeach()
  if(EXISTS ${OUT}/evade.dat)
    message(FATAL_ERROR "--nom ../evade wrote outside its folder")
  endif()
  # Nor is a file that is not a configuration taken.
  file(WRITE ${OUT}/pas_une_config.txt "Bonjour\n")
  execute_process(COMMAND ${EMULATOR} ${RUNNER} --config ${OUT}/pas_une_config.txt --sans-progression
                  WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 64)
    message(FATAL_ERROR "exit ${rc}, expected 64 for a file that is not a configuration\n${out}\n${err}")
  endif()
  expect_in("${out}" "pas_une_config.txt n'est pas un fichier de configuration")
endif()
