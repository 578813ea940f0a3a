// The one rule for what names a recording, shared by the player and krvtool.
#include <gtest/gtest.h>

#include "krv/krv_recording_name.h"

namespace {

struct NameRow {
    const char* path;
    bool recording;
};

void PrintTo(const NameRow& row, std::ostream* os)
{
    *os << '"' << row.path << '"';
}

class RecordingName : public ::testing::TestWithParam<NameRow> {};

TEST_P(RecordingName, EndsInKrvOrAsfInAnyCase)
{
    EXPECT_EQ(krv_is_recording_name(GetParam().path), GetParam().recording);
}

INSTANTIATE_TEST_SUITE_P(Rows, RecordingName,
                         ::testing::Values(NameRow{"a.krv", true}, NameRow{"A.KRV", true}, NameRow{"b.asf", true},
                                           NameRow{"c.Asf", true}, NameRow{"/rec/day 2/cam.kRv", true},
                                           NameRow{"cam_120000.krv.expected", false}, NameRow{"x.krvx", false},
                                           NameRow{"krv", false}, NameRow{"notes.txt", false},
                                           NameRow{".krv", false},      // hidden, no name before the suffix
                                           NameRow{"/rec/.asf", false}, // the same inside a folder
                                           NameRow{".cam.krv", true},   // hidden, with a name
                                           NameRow{"dir.krv/", false},  // a folder
                                           NameRow{"rec.krv/a", false}, NameRow{"", false}));

} // namespace
