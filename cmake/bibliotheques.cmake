# The header-only libraries from Debian: CLI11 reads the command lines of
# the runner and the tools, nlohmann-json writes the SigMF metadata.
# Each one is an interface target that gives its own folder only: a cross
# build must not see the host's other headers, so there it reaches them
# through a folder of links in the build tree.
function(ondaris_entetes cible fichier paquet)
  find_path(dossier_${cible} ${fichier} PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_CACHE)
  if(NOT dossier_${cible})
    message(FATAL_ERROR "${fichier} introuvable (${paquet} : scripts/install-deps.sh)")
  endif()
  get_filename_component(sous_dossier ${fichier} DIRECTORY)
  add_library(${cible} INTERFACE)
  if(CMAKE_CROSSCOMPILING)
    set(liens ${CMAKE_BINARY_DIR}/entetes-${cible})
    file(MAKE_DIRECTORY ${liens})
    file(CREATE_LINK ${dossier_${cible}}/${sous_dossier} ${liens}/${sous_dossier} SYMBOLIC)
    target_include_directories(${cible} SYSTEM INTERFACE ${liens})
  elseif(NOT dossier_${cible} STREQUAL "/usr/include")
    target_include_directories(${cible} SYSTEM INTERFACE ${dossier_${cible}})
  endif()
endfunction()

ondaris_entetes(ondaris_cli11 CLI/CLI.hpp libcli11-dev)
ondaris_entetes(ondaris_json nlohmann/json.hpp nlohmann-json3-dev)
