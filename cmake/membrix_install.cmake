# What "cmake --install" puts under the prefix:
#   bin/                       membrix-cli, and membrix with the workbench
#   share/membrix/resources/   the samples, threshold tables, ramps and channels
#   share/membrix/docs/        the help pages the workbench shows
#   share/doc/membrix/         README, licence, citation, third-party list
#   share/man/man1/            membrix, membrix-cli and one page per subcommand
#   share/applications/, share/icons/   the desktop entry and its icon
# and the Python module (python/CMakeLists.txt). The programs find the shared
# files beside their bin folder, so the installed tree can be moved.

set(MEMBRIX_INSTALL_DATA_DIR "${CMAKE_INSTALL_DATADIR}/membrix")

install(TARGETS membrix-cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
if(TARGET membrix)
  install(TARGETS membrix RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  install(FILES resources/desktop/membrix.desktop DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES resources/desktop/membrix.svg DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
endif()

# The desktop files have places of their own; the generator scripts of the
# tables stay in the source tree.
install(DIRECTORY resources/ DESTINATION "${MEMBRIX_INSTALL_DATA_DIR}/resources"
        PATTERN desktop EXCLUDE
        PATTERN "*.py" EXCLUDE)
install(DIRECTORY docs/ DESTINATION "${MEMBRIX_INSTALL_DATA_DIR}/docs")
install(FILES README.md LICENSE CITATION.cff docs/third_party.md DESTINATION "${CMAKE_INSTALL_DOCDIR}")

# The manual pages are made at install time from the installed programs'
# --help, so they never differ from the programs. help2man (Debian package
# help2man) is needed; without it the pages are left out with a warning.
install(CODE "
  set(membrix_man_cli \"$<TARGET_FILE:membrix-cli>\")
  set(membrix_man_gui \"$<$<TARGET_EXISTS:membrix>:$<TARGET_FILE_DIR:membrix-cli>/membrix>\")
  set(membrix_man_work \"${PROJECT_BINARY_DIR}/man\")
  set(membrix_man_version \"${PROJECT_VERSION}\")
  set(membrix_man_dest \"${CMAKE_INSTALL_MANDIR}/man1\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/membrix_man_pages.cmake\")
")

# Everything that is installed, built by one target (scripts/package.sh).
add_custom_target(membrix-dist)
add_dependencies(membrix-dist membrix-cli)
foreach(target membrix membrix-python)
  if(TARGET ${target})
    add_dependencies(membrix-dist ${target})
  endif()
endforeach()

# Checked in the plain build; the sanitizer and fuzzing builds are not
# installed.
if(NOT MEMBRIX_TESTS OR MEMBRIX_SANITIZE OR MEMBRIX_FUZZ)
  return()
endif()
# The installations made by the tests (and python.install) write the build folder's
# install_manifest.txt one at a time.
set(with_gui 0)
if(TARGET membrix)
  set(with_gui 1)
endif()
set(installed_run "\"complete\": true.*\"spike_times\": \\[[0-9].*\"deviation\": [0-9]")

add_test(NAME install.prefix
         COMMAND sh "${PROJECT_SOURCE_DIR}/tests/install/installed_tree_test.sh" "${CMAKE_COMMAND}"
                 "${PROJECT_BINARY_DIR}" "${PROJECT_BINARY_DIR}/install-test" ${with_gui})
set_tests_properties(install.prefix PROPERTIES LABELS install RESOURCE_LOCK membrix_install_manifest
                     PASS_REGULAR_EXPRESSION "${installed_run}" FAIL_REGULAR_EXPRESSION "missing|does not name")

find_program(membrix_dpkg_deb dpkg-deb)
if(membrix_dpkg_deb)
  set(package_python "")
  if(TARGET membrix-python)
    set(package_python "${Python_EXECUTABLE}")
  endif()
  add_test(NAME install.deb_package
           COMMAND sh "${PROJECT_SOURCE_DIR}/tests/install/package_test.sh" "${CMAKE_CPACK_COMMAND}"
                   "${PROJECT_BINARY_DIR}" "${PROJECT_BINARY_DIR}/package-test" ${with_gui}
                   "${package_python}" "${MEMBRIX_PYTHON_INSTALL_DIR}")
  set_tests_properties(install.deb_package PROPERTIES LABELS install RESOURCE_LOCK membrix_install_manifest
                       TIMEOUT 600 PASS_REGULAR_EXPRESSION "${installed_run}"
                       FAIL_REGULAR_EXPRESSION "not in the package|outside /usr|lacks|is in the package")
endif()

# The cluster build goes beside this build folder (as build-asan/ does), so a
# compiler cache with a base folder sees the same relative paths and hands
# back this build's objects.
set(cluster_python OFF)
if(membrix_python_build)
  set(cluster_python ON)
endif()
add_test(NAME install.cluster_build
         COMMAND sh "${PROJECT_SOURCE_DIR}/tests/install/cluster_config_test.sh" "${PROJECT_SOURCE_DIR}"
                 "${PROJECT_BINARY_DIR}-cluster-check" "${CMAKE_CXX_COMPILER_LAUNCHER}" ${cluster_python}
                 -DMEMBRIX_WERROR=${MEMBRIX_WERROR} -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
                 "-DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS}"
         WORKING_DIRECTORY "${PROJECT_BINARY_DIR}")
set_tests_properties(install.cluster_build PROPERTIES LABELS install TIMEOUT 900
                     PASS_REGULAR_EXPRESSION "configured without Qt, GoogleTest and Google Benchmark")

# docs/building.md names the packages of scripts/deps.sh, list by list.
if(membrix_system_python)
  add_test(NAME install.building_doc_packages
           COMMAND "${membrix_system_python}" "${PROJECT_SOURCE_DIR}/tests/install/building_doc_test.py"
                   "${PROJECT_SOURCE_DIR}")
  set_tests_properties(install.building_doc_packages PROPERTIES LABELS install)
endif()
