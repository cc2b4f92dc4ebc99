# Installs the build into a fresh prefix, as a user does, and runs the installed binary. Nothing
# but bin/fennick may be installed: no libraries, headers, tests or benchmarks.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}${err}")
endif()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
if(NOT installed STREQUAL "bin/fennick")
  message(FATAL_ERROR "expected only bin/fennick under the prefix, found: ${installed}")
endif()

execute_process(COMMAND "${PREFIX}/bin/fennick" --version
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "fennick 0.4.0\n" OR NOT err STREQUAL "")
  message(FATAL_ERROR "installed fennick --version: exit ${rc}, stdout [${out}], stderr [${err}]")
endif()
file(REMOVE_RECURSE "${PREFIX}")
