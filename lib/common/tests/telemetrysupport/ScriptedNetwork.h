#pragma once

// The scripted foundation network double of the runtime tests; its answer helpers leave
// members to their defaults, which -Wextra reports.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include "../support/ScriptedNetwork.h"
#pragma GCC diagnostic pop
