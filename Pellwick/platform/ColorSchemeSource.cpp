// The interface lives in its header; this file gives it a source, so AUTOMOC generates the
// meta-object that carries its signal.
#include "platform/ColorSchemeSource.h"
