# Read by CTest once the host and system tests are listed: how much of a
# processor each takes, in the slots tools/test.sh gives each processor
# (three), so that a run on few processors never starts the heaviest at once,
# and which start first. Each runs the program under the sanitizers beside the
# test's own helpers (namespaces, curl, python): two slots. Those that keep
# frames going round (self-tests, floods, storms) or measure rates, and the
# race of the web and the monitor, keep a processor busy: three. The longest
# start first, so that none is left to run alone at the end.
set(switchfw_busy_tests
    "selftest|system_qos_selftest|storm|flood|wire_rate|egress_limit|port_rate|dos_race\\.Web")
set(switchfw_long_tests "selftest|gig_phy_combo|gig_phy_e2e|egress_limit|switching_boards")
foreach(test IN LISTS host_tests_TESTS system_tests_TESTS)
  set(slots 2)
  if(test MATCHES "${switchfw_busy_tests}")
    set(slots 3)
  endif()
  set(cost 20)
  if(test MATCHES "${switchfw_long_tests}")
    set(cost 50)
  endif()
  set_tests_properties("${test}" PROPERTIES PROCESSORS ${slots} COST ${cost})
endforeach()
