// The "mirror" settings item: mirroring on or off, the monitor port and the
// ports whose received and sent traffic is copied to it.
#pragma once

#include "serialize.h"

int mirror_item(int op, settings_medium *m);
