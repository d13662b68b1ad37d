# Read by CTest once the host and system tests are listed: how much of a
# processor each takes, in the slots tools/test.sh gives each processor
# (three), and which start first. Most run the program and wait on its
# timers: one slot, as a unit test. Those that keep frames going round
# (self-tests and loopback tests, floods, storms) or measure rates take
# about two thirds of a processor: two, so that two processors never run
# more than three of them at once. The race of the web and the monitor keeps one busy: three. The
# longest start first, so that none is left to run alone at the end.
set(switchfw_busy_tests "selftest|loopback|storm|flood|wire_rate|egress_limit|port_rate")
set(switchfw_long_tests "selftest|gig_phy_combo|gig_phy_e2e|egress_limit|switching_boards")
foreach(test IN LISTS host_tests_TESTS system_tests_TESTS)
  set(slots 1)
  if(test MATCHES "dos_race\\.Web")
    set(slots 3)
  elseif(test MATCHES "${switchfw_busy_tests}")
    set(slots 2)
  endif()
  set(cost 20)
  if(test MATCHES "${switchfw_long_tests}")
    set(cost 50)
  endif()
  set_tests_properties("${test}" PROPERTIES PROCESSORS ${slots} COST ${cost})
endforeach()
