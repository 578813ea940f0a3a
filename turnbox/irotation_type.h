// Registration of the IRotation interface type, inside the plugin only.
#pragma once

#include "irotation.h"

G_BEGIN_DECLS

#define TURNBOX_TYPE_IROTATION (irotation_get_type())
GType irotation_get_type(void);

G_END_DECLS
