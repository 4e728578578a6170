// The classic toolbox in one include: events and timers (events.h),
// windows and ports (windows.h), controls (controls.h), dialogs
// (dialogs.h), menus (menus.h), the clipboard (scrap.h), the bell, cursor,
// pointer and web links (misc.h), lists (lists.h), decompression sequences
// (image_compression.h), keys (key_codes.h) and the backends (backend.h,
// headless_backend.h; the Qt one in qt_backend.h).
#pragma once

#include "classic/toolbox/backend.h"
#include "classic/toolbox/controls.h"
#include "classic/toolbox/dialogs.h"
#include "classic/toolbox/events.h"
#include "classic/toolbox/headless_backend.h"
#include "classic/toolbox/image_compression.h"
#include "classic/toolbox/key_codes.h"
#include "classic/toolbox/lists.h"
#include "classic/toolbox/menus.h"
#include "classic/toolbox/misc.h"
#include "classic/toolbox/scrap.h"
#include "classic/toolbox/toolbox_types.h"
#include "classic/toolbox/windows.h"
