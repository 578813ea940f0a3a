/* IRotation: the Turnbox element's mode interface.
 *
 * Applications include this header and call irotation_set_rotation() and
 * irotation_get_rotation() on a "turnbox" element; they need not link against
 * the plugin, the interface is found by its type name once the element exists.
 * Plain C, so C and C++ applications can use it alike.
 *
 * The mode can be read or changed only while the element's output is not
 * negotiated with a linked peer; otherwise both calls fail with
 * ROTATION_E_FAIL and change nothing. Modes outside 0..6 are refused with
 * ROTATION_E_INVALIDARG. */
#ifndef TURNBOX_IROTATION_H
#define TURNBOX_IROTATION_H

#include <glib-object.h>

G_BEGIN_DECLS

#define IROTATION_TYPE_NAME "IRotation"
/* Identifiers the filter has always been known by; kept in the element's metadata. */
#define TURNBOX_CLASS_ID "{731C6E75-2B13-4C5F-9FDC-AE91C059419E}"
#define IROTATION_INTERFACE_ID "{E796A888-3E9E-4340-9900-EF89E94A08F1}"

/* Results carry the filter's historic HRESULT values. */
typedef gint32 RotationResult;
#define ROTATION_S_OK ((RotationResult)0)
#define ROTATION_E_NOINTERFACE ((RotationResult)(-2147467262)) /* 0x80004002 */
#define ROTATION_E_POINTER ((RotationResult)(-2147467261))     /* 0x80004003 */
#define ROTATION_E_FAIL ((RotationResult)(-2147467259))        /* 0x80004005 */
#define ROTATION_E_INVALIDARG ((RotationResult)(-2147024809))  /* 0x80070057 */

typedef struct _IRotation IRotation; /* the implementing object */

typedef struct _IRotationInterface {
    GTypeInterface parent;
    RotationResult (*SetRotation)(IRotation* self, gint32 mode);
    RotationResult (*GetRotation)(IRotation* self, gint32* mode);
} IRotationInterface;

static inline const IRotationInterface* irotation_interface(gpointer object)
{
    GType type = g_type_from_name(IROTATION_TYPE_NAME);
    if (type == 0 || object == NULL || !G_IS_OBJECT(object) || !G_TYPE_CHECK_INSTANCE_TYPE(object, type))
        return NULL;
    return (const IRotationInterface*)g_type_interface_peek(G_OBJECT_GET_CLASS(object), type);
}

static inline RotationResult irotation_set_rotation(gpointer object, gint32 mode)
{
    const IRotationInterface* iface = irotation_interface(object);
    if (iface == NULL || iface->SetRotation == NULL)
        return ROTATION_E_NOINTERFACE;
    return iface->SetRotation((IRotation*)object, mode);
}

static inline RotationResult irotation_get_rotation(gpointer object, gint32* mode)
{
    const IRotationInterface* iface = irotation_interface(object);
    if (iface == NULL || iface->GetRotation == NULL)
        return ROTATION_E_NOINTERFACE;
    if (mode == NULL)
        return ROTATION_E_POINTER;
    return iface->GetRotation((IRotation*)object, mode);
}

G_END_DECLS

#endif /* TURNBOX_IROTATION_H */
