# Writes the manual pages of membrix, membrix-cli and each subcommand of
# membrix-cli with help2man and installs them into section 1. Run by
# "cmake --install" with membrix_man_cli (the batch tool), membrix_man_gui
# (the workbench, or empty), membrix_man_work (a scratch folder),
# membrix_man_version and membrix_man_dest (relative to the prefix).

find_program(membrix_help2man help2man)
if(NOT membrix_help2man)
  message(WARNING "help2man not found (Debian package help2man): the manual pages are not installed")
  return()
endif()

file(REMOVE_RECURSE "${membrix_man_work}")
file(MAKE_DIRECTORY "${membrix_man_work}/bin")

# help2man names a page after the program it runs, so each subcommand gets a
# small program of its own name that calls "membrix-cli SUBCOMMAND".
function(membrix_man_page name description)
  execute_process(COMMAND "${membrix_help2man}" --no-info --no-discard-stderr
                          --version-string "${membrix_man_version}" --name "${description}"
                          --section 1 --source "Membrix ${membrix_man_version}"
                          --output "${membrix_man_work}/${name}.1" ${ARGN}
                  RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${name}: ${error}")
  endif()
endfunction()

if(membrix_man_gui)
  # The workbench answers --help without a display.
  membrix_man_page(membrix "workbench for computational neurophysiology" "${membrix_man_gui}")
endif()
membrix_man_page(membrix-cli "batch tool of the Membrix workbench" "${membrix_man_cli}")

# The subcommands are the indented names under "Subcommands:" in the help,
# each described by the first clause of its text.
execute_process(COMMAND "${membrix_man_cli}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${membrix_man_cli} --help failed")
endif()
string(REGEX REPLACE ".*\nSubcommands:\n" "" commands "${help}")
string(REGEX REPLACE "\n\n.*" "" commands "${commands}")
string(REPLACE "\n" ";" commands "${commands}")
set(count 0)
foreach(line IN LISTS commands)
  if(NOT line MATCHES "^  ([a-z][a-z0-9-]*)( +(.*))?$")
    continue()
  endif()
  set(command "${CMAKE_MATCH_1}")
  string(STRIP "${CMAKE_MATCH_3}" summary)
  string(REGEX REPLACE "([:;,]|\\. ).*" "" summary "${summary}")
  if(summary STREQUAL "")
    set(summary "the ${command} command of membrix-cli")
  endif()
  set(wrapper "${membrix_man_work}/bin/membrix-cli-${command}")
  file(WRITE "${wrapper}" "#!/bin/sh\nexec \"${membrix_man_cli}\" ${command} \"$@\"\n")
  file(CHMOD "${wrapper}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                      WORLD_READ WORLD_EXECUTE)
  membrix_man_page(membrix-cli-${command} "${summary}" "${wrapper}")
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no subcommands found in the help of ${membrix_man_cli}")
endif()

file(GLOB pages "${membrix_man_work}/*.1")
file(INSTALL ${pages} DESTINATION "${CMAKE_INSTALL_PREFIX}/${membrix_man_dest}")
