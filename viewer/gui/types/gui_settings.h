// The service settings as the viewer's controller holds them.
#pragma once

#include "settings/common_settings.h"

namespace nimbrel {

class TGUISettings : public TCommonSettings {};

}  // namespace nimbrel
