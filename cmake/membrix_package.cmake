# The Debian package, made by "cpack -G DEB" in a configured build folder
# (scripts/package.sh). It holds what "cmake --install" installs, under /usr;
# its dependencies are the Debian runtime packages of the libraries the
# programs and the Python module link (found by dpkg-shlibdeps) and those
# they use at run time.

set(CPACK_PACKAGE_NAME membrix)
set(CPACK_PACKAGE_VENDOR "The Membrix developers")
set(CPACK_PACKAGE_CONTACT "The Membrix developers <membrix@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "workbench for computational neurophysiology")
set(CPACK_PACKAGE_DESCRIPTION
    "Membrix simulates and analyses single neurons, fibers and ensembles: the Qt\n"
    "workbench membrix, the batch tool membrix-cli (which shares its runs over MPI)\n"
    "and the Python module membrix.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_LICENSE "GPL-3.0-or-later")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the linked libraries: the Qt platform plugins and a font for the
# windows, the interpreter the module was built for, and NumPy.
set(depends "")
if(TARGET membrix)
  list(APPEND depends qt6-qpa-plugins fonts-dejavu-core)
endif()
if(TARGET membrix-python)
  math(EXPR next_minor "${Python_VERSION_MINOR} + 1")
  list(APPEND depends "python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR})"
                      "python3 (<< ${Python_VERSION_MAJOR}.${next_minor})" python3-numpy)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pandas, python3-matplotlib, python3-neo, python3-h5py")
endif()
if(MPI_CXX_FOUND AND MEMBRIX_MPI)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "openmpi-bin")
endif()
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

include(CPack)
