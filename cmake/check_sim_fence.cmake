# Fails when firmware code includes a header of the chip model: only the board
# glue (platform/board) and the tests may see sim/.
#   cmake -DSWITCHFW_ROOT=<source dir> -P check_sim_fence.cmake
set(fenced platform/include app api soc drv web phy pktio features snmp diag)
set(offenders)
foreach(dir ${fenced})
  file(GLOB_RECURSE files ${SWITCHFW_ROOT}/${dir}/*.h ${SWITCHFW_ROOT}/${dir}/*.cpp
       ${SWITCHFW_ROOT}/${dir}/*.def)
  foreach(f ${files})
    file(RELATIVE_PATH rel ${SWITCHFW_ROOT} ${f})
    if(rel MATCHES "(^|/)tests/")
      continue()
    endif()
    file(STRINGS ${f} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]sim/")
    if(hits)
      list(APPEND offenders "${rel}")
    endif()
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n  " text)
  message(FATAL_ERROR "firmware code includes chip-model headers (only platform/board and tests may):\n  ${text}")
endif()
