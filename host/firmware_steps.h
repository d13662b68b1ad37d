// The start-up steps of the firmware, taken from the subsystems in this build.
#pragma once

#include "main_app.h"
#include "options.h"

const main_app_steps *firmware_steps(const HostOptions &options);
