// The settings in force.
#include "prefs/prefs_struct.h"

PrefsStruct gPrefs{};
