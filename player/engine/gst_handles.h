// Small owning handles for GLib/GStreamer references.
//
// Ownership is explicit at the call site: `Adopt(p)` takes over a reference the
// caller already owns (the result of a *_new, *_get_by_name, pull/pop call),
// `Ref(p)` adds a reference of its own. No bare unref calls elsewhere.
#pragma once

#include <gst/gst.h>

#include <utility>

namespace vedra {

template <typename T, void (*Unref)(T*), T* (*AddRef)(T*)>
class GRefHandle {
public:
    GRefHandle() = default;
    GRefHandle(std::nullptr_t) {}
    GRefHandle(const GRefHandle& o) : p_(o.p_ ? AddRef(o.p_) : nullptr) {}
    GRefHandle(GRefHandle&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    GRefHandle& operator=(GRefHandle o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~GRefHandle()
    {
        if (p_)
            Unref(p_);
    }

    static GRefHandle Adopt(T* p)
    {
        GRefHandle h;
        h.p_ = p;
        return h;
    }
    static GRefHandle Ref(T* p)
    {
        GRefHandle h;
        h.p_ = p ? AddRef(p) : nullptr;
        return h;
    }

    T* get() const { return p_; }
    T* release() { return std::exchange(p_, nullptr); }
    void reset() { GRefHandle().swap(*this); }
    void swap(GRefHandle& o) noexcept { std::swap(p_, o.p_); }
    explicit operator bool() const { return p_ != nullptr; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

namespace detail {
template <typename T>
void ObjectUnref(T* p)
{
    gst_object_unref(p);
}
template <typename T>
T* ObjectRef(T* p)
{
    return static_cast<T*>(gst_object_ref(p));
}
inline void CapsUnref(GstCaps* p)
{
    gst_caps_unref(p);
}
inline GstCaps* CapsRef(GstCaps* p)
{
    return gst_caps_ref(p);
}
inline void MessageUnref(GstMessage* p)
{
    gst_message_unref(p);
}
inline GstMessage* MessageRef(GstMessage* p)
{
    return gst_message_ref(p);
}
inline void SampleUnref(GstSample* p)
{
    gst_sample_unref(p);
}
inline GstSample* SampleRef(GstSample* p)
{
    return gst_sample_ref(p);
}
inline void BufferUnref(GstBuffer* p)
{
    gst_buffer_unref(p);
}
inline GstBuffer* BufferRef(GstBuffer* p)
{
    return gst_buffer_ref(p);
}
inline void ErrorFree(GError* p)
{
    g_error_free(p);
}
inline GError* ErrorCopy(GError* p)
{
    return g_error_copy(p);
}
} // namespace detail

template <typename T>
using GstObjectHandle = GRefHandle<T, detail::ObjectUnref<T>, detail::ObjectRef<T>>;

using ElementHandle = GstObjectHandle<GstElement>;
using PadHandle = GstObjectHandle<GstPad>;
using BusHandle = GstObjectHandle<GstBus>;
using DeviceHandle = GstObjectHandle<GstDevice>;
using DeviceMonitorHandle = GstObjectHandle<GstDeviceMonitor>;
using CapsHandle = GRefHandle<GstCaps, detail::CapsUnref, detail::CapsRef>;
using MessageHandle = GRefHandle<GstMessage, detail::MessageUnref, detail::MessageRef>;
using SampleHandle = GRefHandle<GstSample, detail::SampleUnref, detail::SampleRef>;
using BufferHandle = GRefHandle<GstBuffer, detail::BufferUnref, detail::BufferRef>;
using ErrorHandle = GRefHandle<GError, detail::ErrorFree, detail::ErrorCopy>;

// A newly made element is floating; the handle sinks it so it owns one real reference.
inline ElementHandle MakeElement(const char* factory, const char* name = nullptr)
{
    GstElement* e = gst_element_factory_make(factory, name);
    return e ? ElementHandle::Adopt(GST_ELEMENT(gst_object_ref_sink(e))) : ElementHandle();
}

// g_free'd strings (gst_caps_to_string, g_strdup_printf, ...).
class GCharHandle {
public:
    explicit GCharHandle(gchar* s) : s_(s) {}
    GCharHandle(const GCharHandle&) = delete;
    GCharHandle& operator=(const GCharHandle&) = delete;
    ~GCharHandle() { g_free(s_); }
    const char* get() const { return s_ ? s_ : ""; }

private:
    gchar* s_;
};

} // namespace vedra
