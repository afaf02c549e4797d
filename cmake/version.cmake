# The version of every program: the project's, followed by `git describe`
# when the sources are a git checkout (read when CMake configures; a tree
# without git, or git absent, gives the project's version alone).
set(ONDARIS_VERSION ${PROJECT_VERSION})
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --always --dirty
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE ondaris_describe OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE ondaris_describe_rc ERROR_QUIET)
  if(ondaris_describe_rc EQUAL 0 AND ondaris_describe)
    set(ONDARIS_VERSION "${PROJECT_VERSION}+${ondaris_describe}")
  endif()
endif()
message(STATUS "Ondaris version ${ONDARIS_VERSION}")

# Only base/version.cpp sees it: a new commit rebuilds one file.
set_source_files_properties(${PROJECT_SOURCE_DIR}/base/version.cpp PROPERTIES
                            COMPILE_DEFINITIONS "ONDARIS_VERSION=\"${ONDARIS_VERSION}\"")
