// The plugin as GStreamer sees it: one element, never auto-plugged, with the
// filter's historic identity in its metadata.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <string>

#include "../../turnbox/irotation.h"
#include "gst_handles.h"

namespace turnbox_test {
namespace {

TEST(TurnboxPlugin, ServesOneElementUnderItsNameOnly)
{
    GList* features = gst_registry_get_feature_list_by_plugin(gst_registry_get(), "turnbox");
    ASSERT_EQ(g_list_length(features), 1u);
    EXPECT_STREQ(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(features->data)), "turnbox");
    gst_plugin_feature_list_free(features);
    for (const char* other : {"Turnbox", "turnbox0", "Karvel Rotate Filter", "rotation"})
        EXPECT_EQ(gst_element_factory_make(other, nullptr), nullptr) << other;
}

TEST(TurnboxPlugin, FactoryCarriesNameRankAndClassId)
{
    GstElementFactory* factory = gst_element_factory_find("turnbox");
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(factory)), GST_RANK_NONE);
    EXPECT_STREQ(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME), "Karvel Rotate Filter");
    EXPECT_STREQ(gst_element_factory_get_metadata(factory, "class-id"), TURNBOX_CLASS_ID);
    // Auto-plugging looks at decent ranks only.
    GList* plugged = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_ANY, GST_RANK_MARGINAL);
    EXPECT_EQ(g_list_find(plugged, factory), nullptr);
    gst_plugin_feature_list_free(plugged);
    gst_object_unref(factory);
}

} // namespace
} // namespace turnbox_test
