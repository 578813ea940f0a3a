#include "irotation_type.h"

G_DEFINE_INTERFACE(IRotation, irotation, G_TYPE_OBJECT)

static void irotation_default_init(IRotationInterface*) {}
