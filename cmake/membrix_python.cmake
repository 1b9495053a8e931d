# Whether the Python module is built. MEMBRIX_PYTHON is ON, OFF or AUTO (the
# default): AUTO builds it when pybind11 and the Python 3 named by
# MEMBRIX_PYTHON_EXECUTABLE (Debian's) with NumPy are present, and never in
# the sanitizer and fuzzing builds, whose libraries a plain interpreter cannot
# load. Sets membrix_python_build.

set(MEMBRIX_PYTHON AUTO CACHE STRING "Build the Python module: ON, OFF or AUTO (when pybind11 and NumPy are present)")
set_property(CACHE MEMBRIX_PYTHON PROPERTY STRINGS AUTO ON OFF)
set(MEMBRIX_PYTHON_EXECUTABLE /usr/bin/python3 CACHE FILEPATH
    "The Python 3 the module is built for and tested with (Debian's, which has Debian's NumPy)")

set(membrix_python_build OFF)
if(MEMBRIX_PYTHON STREQUAL "AUTO" AND (MEMBRIX_SANITIZE OR MEMBRIX_FUZZ))
  message(STATUS "Python module: not built in a sanitizer or fuzzing build")
elseif(MEMBRIX_PYTHON)
  # pybind11 finds the same interpreter through CMake's FindPython.
  set(Python_EXECUTABLE "${MEMBRIX_PYTHON_EXECUTABLE}")
  set(PYBIND11_FINDPYTHON ON)
  if(MEMBRIX_PYTHON STREQUAL "AUTO")
    find_package(Python 3 QUIET COMPONENTS Interpreter Development.Module NumPy)
    if(Python_FOUND AND Python_NumPy_FOUND)
      find_package(pybind11 CONFIG QUIET)
    endif()
    if(Python_FOUND AND Python_NumPy_FOUND AND pybind11_FOUND)
      set(membrix_python_build ON)
    else()
      message(STATUS "Python module: not built (needs pybind11-dev, python3-dev and python3-numpy for "
                     "${MEMBRIX_PYTHON_EXECUTABLE}; scripts/deps.sh lists them)")
    endif()
  else()
    find_package(Python 3 REQUIRED COMPONENTS Interpreter Development.Module NumPy)
    find_package(pybind11 CONFIG REQUIRED)
    set(membrix_python_build ON)
  endif()
endif()
