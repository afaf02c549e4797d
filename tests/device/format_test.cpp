#include <gtest/gtest.h>

#include "base/format.h"

namespace {

TEST(Compose, PlaceholdersUnderBothConventions)
{
    const std::string nbsp = "\xC2\xA0";
    struct Row {
        std::string pattern;
        std::vector<FmtArg> args;
        std::string fr, en;
    };
    const std::vector<Row> rows = {
        {"{0:G}", {FmtArg(41666.0f)}, "41666", "41666"},
        {"{0}", {FmtArg(50000.0f)}, "50000", "50000"},
        {"{0:G}", {FmtArg(12.5f)}, "12,5", "12.5"},
        {"{0:G}", {FmtArg(-7)}, "-7", "-7"},
        {"{0:N0}", {FmtArg(41666.0f)}, "41" + nbsp + "666", "41,666"},
        {"{0:N0}", {FmtArg(2090000000ull)}, "2" + nbsp + "090" + nbsp + "000" + nbsp + "000", "2,090,000,000"},
        {"{0:N0}", {FmtArg(999)}, "999", "999"},
        {"{0:N0}", {FmtArg(-1234567)}, "-1" + nbsp + "234" + nbsp + "567", "-1,234,567"},
        {"{1:N1}", {FmtArg(0), FmtArg(85899.34f)}, "85" + nbsp + "899,3", "85,899.3"},
        {"{0:N1}", {FmtArg(1234.5)}, "1" + nbsp + "234,5", "1,234.5"},
        {"{0:N1}", {FmtArg(10.0f)}, "10,0", "10.0"},
        {"{0:N1}", {FmtArg(0.04)}, "0,0", "0.0"},
        {"{0:N1}", {FmtArg(1.25)}, "1,3", "1.3"}, // exact halves round away from zero
        {"{0:N1}", {FmtArg(-0.25)}, "-0,3", "-0.3"},
        {"{0:N1}", {FmtArg(999.96)}, "1" + nbsp + "000,0", "1,000.0"},
        {"{0:N1}", {FmtArg(-0.04)}, "0,0", "0.0"},
        {"{0:N0}", {FmtArg(2.5)}, "3", "3"},
        {"{0:N1}", {FmtArg(1.05f)}, "1,1", "1.1"}, // a float counts with 7 digits
        {"{0:N1}", {FmtArg(10.25f)}, "10,3", "10.3"},
        {"{0:N1}", {FmtArg(0.00012f)}, "0,0", "0.0"},
        {"{0:N0}", {FmtArg(4294967296.0f)}, "4" + nbsp + "294" + nbsp + "967" + nbsp + "000", "4,294,967,000"},
        {"{0:D3}", {FmtArg(7)}, "007", "007"},
        {"{0:D2}/{1:D2}/{2:D4}", {FmtArg(7), FmtArg(12), FmtArg(2026)}, "07/12/2026", "07/12/2026"},
        {"{0:D2}", {FmtArg(123)}, "123", "123"},
        {"a {0} b {1:G} c", {FmtArg("x"), FmtArg(3u)}, "a x b 3 c", "a x b 3 c"},
        {"{2}", {FmtArg(1)}, "{2}", "{2}"},       // missing argument left as it stands
        {"{0:Q}", {FmtArg(1)}, "{0:Q}", "{0:Q}"}, // unknown format left as it stands
        {"{{0}}", {FmtArg(1)}, "{0}", "{0}"},
        {"{99999999999999999999}", {FmtArg(1)}, "{99999999999999999999}", "{99999999999999999999}"},
        {"{0:N99999999999}", {FmtArg(1)}, "{0:N99999999999}", "{0:N99999999999}"},
    };
    for (const Row& r : rows) {
        auto call = [&](const Conventions& c) {
            switch (r.args.size()) {
            case 1:
                return compose(c, r.pattern, {r.args[0]});
            case 2:
                return compose(c, r.pattern, {r.args[0], r.args[1]});
            default:
                return compose(c, r.pattern, {r.args[0], r.args[1], r.args[2]});
            }
        };
        EXPECT_EQ(call(Conventions::french()), r.fr) << r.pattern;
        EXPECT_EQ(call(Conventions::english()), r.en) << r.pattern;
    }
}

} // namespace
