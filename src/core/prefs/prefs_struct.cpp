// The settings in force.
#include "core/prefs/prefs_struct.h"

PrefsStruct gPrefs{};
