# Read by CTest once the host and system tests are listed: which start first,
# and which may not all run at once. Most run the program and wait on its
# timers, as a unit test. Those that keep frames going round (self-tests and
# loopback tests, floods, storms), measure rates or race the web against the
# monitor keep much of a processor busy: each takes one of the "busy" locks,
# handed out in turn, of which tools/test.sh asks for three for every two
# processors (SWITCHFW_BUSY_SLOTS; three without it). (As slots of -j, they
# would wait until every lighter test had ended: CTest starts whatever
# fits.) The longest start first, so that none is left to run alone at the
# end.
set(switchfw_busy_tests
    "selftest|loopback|storm|flood|wire_rate|egress_limit|port_rate|dos_race\\.Web")
set(switchfw_long_tests "selftest|gig_phy_combo|gig_phy_e2e|egress_limit|switching_boards")
set(switchfw_busy_slots 3)
if(DEFINED ENV{SWITCHFW_BUSY_SLOTS} AND "$ENV{SWITCHFW_BUSY_SLOTS}" GREATER 0)
  set(switchfw_busy_slots "$ENV{SWITCHFW_BUSY_SLOTS}")
endif()
set(switchfw_busy_next 0)
foreach(test IN LISTS host_tests_TESTS system_tests_TESTS)
  set(cost 20)
  if(test MATCHES "${switchfw_long_tests}")
    set(cost 50)
  endif()
  set_tests_properties("${test}" PROPERTIES COST ${cost})
  if(test MATCHES "${switchfw_busy_tests}")
    math(EXPR slot "${switchfw_busy_next} % ${switchfw_busy_slots}")
    set_tests_properties("${test}" PROPERTIES RESOURCE_LOCK "busy_${slot}")
    math(EXPR switchfw_busy_next "${switchfw_busy_next} + 1")
  endif()
endforeach()
