// The host layer: the subset of the Windows platform that the portable parts call.
#pragma once

#include "support/host/host_types.h"
#include "support/host/host_system.h"
#include "support/host/host_text.h"
#include "support/host/host_registry.h"
#include "support/host/host_resources.h"
#include "support/host/host_automation.h"
