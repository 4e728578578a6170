// A writer header that reaches up into the capture module: the dependency
// check must refuse it.
#pragma once

#include "core/capture/error_messages.h"
#include "core/platform/os_errors.h"
