// Requests waiting for the agent, shared out by manager address. The
// kernel's queue of the agent's UDP socket is first-come: a manager sending
// faster than the agent answers would crowd every other manager's requests
// out of it. The agent's socket is instead read ahead into a queue per
// address, and the agent takes one request of each address in turn; when
// they are full, the address holding the most gives up its newest. Used by
// the agent's thread only, under the agent lock.
#pragma once

#include "snmp_netsnmp.h"

namespace snmp_request_queue {

// Takes over the receive function of the transport the agent listens on.
void attach(netsnmp_transport *t);
// The socket of the attached transport, -1 before attach.
int socket();
// True while requests wait, read off the socket already.
bool pending();
// The address (host order) of the request handed to the library last, 0
// when unknown.
uint32_t serving();

}  // namespace snmp_request_queue
