// Requests waiting for the agent, shared out by manager address. The
// kernel's queue of the agent's UDP socket is first-come: a manager sending
// faster than the agent answers would crowd every other manager's requests
// out of it. The agent's socket is instead read ahead into a queue per
// address, and the agent takes one request of each address in turn; when
// they are full, the address holding the most gives up its newest. The
// agent's thread reads the socket dry on each request; once the reader
// runs, a thread of its own reads it while the agent's thread is away.
// Its calls are made under the agent lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snmp_netsnmp.h"

namespace snmp_request_queue {

// Takes over the receive function of the transport the agent listens on.
void attach(netsnmp_transport *t);
// Starts the thread that reads the attached transport's socket.
void start_reader();
// The socket of the attached transport, -1 before attach.
int socket();
// Readable when the reader has filed requests since wake_clear(); -1 while
// no reader runs.
int wake_socket();
void wake_clear();
// True while requests wait, read off the socket already, that may be
// served now.
bool pending();
// A request that may change settings takes its place among the settings
// images of every entrance as it is read off the socket (sal_turn_take), and
// is held in its manager's queue (with that manager's later changes, which
// keep their order) while an image accepted before it waits, which would
// undo it; the others, that manager's reads too, are served meanwhile. True
// while one is held.
bool holding();
// The changes handed to the library have run: their turns are given back.
void served_done();
// Whether a request may change settings: a SetRequest of SNMPv1 or v2c, and
// any message whose request kind cannot be read without decoding it (an
// SNMPv3 one, whose request may be encrypted, or a malformed one).
bool may_change_settings(const uint8_t *message, size_t length);
// The address (host order) of the request handed to the library last, 0
// when unknown.
uint32_t serving();

}  // namespace snmp_request_queue
