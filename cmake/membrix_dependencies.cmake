# Third-party libraries, each looked up only when a target needs it.

# CLI11 (header only). Debian's libcli11-dev ships a package configuration;
# elsewhere the header alone is enough.
function(membrix_find_cli11)
  if(TARGET CLI11::CLI11)
    return()
  endif()
  find_package(CLI11 CONFIG QUIET)
  if(TARGET CLI11::CLI11)
    return()
  endif()
  find_path(MEMBRIX_CLI11_INCLUDE_DIR CLI/CLI.hpp)
  if(NOT MEMBRIX_CLI11_INCLUDE_DIR)
    message(FATAL_ERROR "CLI11 not found: install libcli11-dev (Debian) or set "
                        "MEMBRIX_CLI11_INCLUDE_DIR to the folder that holds CLI/CLI.hpp")
  endif()
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  set_target_properties(CLI11::CLI11 PROPERTIES
                        INTERFACE_INCLUDE_DIRECTORIES "${MEMBRIX_CLI11_INCLUDE_DIR}")
endfunction()

# QCustomPlot built against Qt 6 (Debian: libqcustomplot-dev with
# libqcustomplot2.1-qt6, library libQCustomPlotQt6). Defines
# membrix::qcustomplot. Qt 6 Widgets and PrintSupport must be found first.
function(membrix_find_qcustomplot)
  if(TARGET membrix::qcustomplot)
    return()
  endif()
  add_library(membrix::qcustomplot INTERFACE IMPORTED GLOBAL)
  # The header declares its classes as imported from a shared library.
  set_target_properties(membrix::qcustomplot PROPERTIES
                        INTERFACE_COMPILE_DEFINITIONS QCUSTOMPLOT_USE_LIBRARY)

  find_package(QCustomPlotQt6 CONFIG QUIET)
  if(TARGET QCustomPlotQt6::QCustomPlotQt6)
    target_link_libraries(membrix::qcustomplot INTERFACE QCustomPlotQt6::QCustomPlotQt6)
    return()
  endif()

  find_path(MEMBRIX_QCUSTOMPLOT_INCLUDE_DIR qcustomplot.h)
  find_library(MEMBRIX_QCUSTOMPLOT_LIBRARY NAMES QCustomPlotQt6 qcustomplot-qt6 qcustomplotqt6)
  if(NOT MEMBRIX_QCUSTOMPLOT_INCLUDE_DIR OR NOT MEMBRIX_QCUSTOMPLOT_LIBRARY)
    message(FATAL_ERROR "QCustomPlot for Qt 6 not found: install libqcustomplot-dev and "
                        "libqcustomplot2.1-qt6 (Debian), or configure with -DMEMBRIX_GUI=OFF")
  endif()
  target_include_directories(membrix::qcustomplot INTERFACE "${MEMBRIX_QCUSTOMPLOT_INCLUDE_DIR}")
  target_link_libraries(membrix::qcustomplot INTERFACE
                        "${MEMBRIX_QCUSTOMPLOT_LIBRARY}" Qt6::Widgets Qt6::PrintSupport)
endfunction()

# oneTBB, the thread pool of the independent runs (Debian: libtbb-dev).
# Defines TBB::tbb.
function(membrix_find_tbb)
  if(TARGET TBB::tbb)
    return()
  endif()
  find_package(TBB CONFIG QUIET)
  if(NOT TARGET TBB::tbb)
    message(FATAL_ERROR "oneTBB not found: install libtbb-dev (Debian) or set TBB_DIR to the "
                        "folder that holds TBBConfig.cmake")
  endif()
endfunction()

# NLopt, the global strategies of the fit (Debian: libnlopt-dev). Defines
# membrix::nlopt.
function(membrix_find_nlopt)
  if(TARGET membrix::nlopt)
    return()
  endif()
  find_path(NLOPT_INCLUDE_DIR nlopt.h)
  find_library(NLOPT_LIBRARY nlopt)
  if(NOT NLOPT_INCLUDE_DIR OR NOT NLOPT_LIBRARY)
    message(FATAL_ERROR "NLopt not found: install libnlopt-dev (Debian) or set NLOPT_INCLUDE_DIR "
                        "and NLOPT_LIBRARY")
  endif()
  add_library(membrix::nlopt UNKNOWN IMPORTED GLOBAL)
  set_target_properties(membrix::nlopt PROPERTIES IMPORTED_LOCATION "${NLOPT_LIBRARY}"
                                                  INTERFACE_INCLUDE_DIRECTORIES "${NLOPT_INCLUDE_DIR}")
endfunction()

# SUNDIALS CVODE, the error-controlled integrator, with its serial vector
# and dense solver (Debian: libsundials-dev). Defines membrix::sundials.
function(membrix_find_sundials)
  if(TARGET membrix::sundials)
    return()
  endif()
  find_path(SUNDIALS_INCLUDE_DIR cvode/cvode.h)
  set(libraries)
  foreach(part cvode nvecserial sunlinsoldense sunmatrixdense)
    find_library(SUNDIALS_${part}_LIBRARY sundials_${part})
    if(NOT SUNDIALS_${part}_LIBRARY)
      message(FATAL_ERROR "SUNDIALS (${part}) not found: install libsundials-dev (Debian)")
    endif()
    list(APPEND libraries "${SUNDIALS_${part}_LIBRARY}")
  endforeach()
  if(NOT SUNDIALS_INCLUDE_DIR)
    message(FATAL_ERROR "SUNDIALS not found: install libsundials-dev (Debian)")
  endif()
  add_library(membrix::sundials INTERFACE IMPORTED GLOBAL)
  set_target_properties(membrix::sundials PROPERTIES INTERFACE_LINK_LIBRARIES "${libraries}"
                                                     INTERFACE_INCLUDE_DIRECTORIES "${SUNDIALS_INCLUDE_DIR}")
endfunction()

# Nettle, the SHA-256 of the files a task reads and writes (Debian:
# nettle-dev). Defines PkgConfig::NETTLE.
function(membrix_find_nettle)
  if(TARGET PkgConfig::NETTLE)
    return()
  endif()
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(NETTLE QUIET IMPORTED_TARGET GLOBAL nettle)
  endif()
  if(NOT TARGET PkgConfig::NETTLE)
    message(FATAL_ERROR "Nettle not found: install nettle-dev and pkg-config (Debian), or set "
                        "PKG_CONFIG_PATH to the folder that holds nettle.pc")
  endif()
endfunction()
