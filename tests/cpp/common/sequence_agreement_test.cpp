#include <gtest/gtest.h>

#include "common/sequence_agreement.hpp"

namespace vombrelle {
namespace {

// Lists of no sequences agree only where the caller lets them.
TEST(SequenceAgreement, EmptyListsAgreeOnlyWhenAllowed) {
    SequenceList out;
    EXPECT_FALSE(agree_on_sequences({}, {}, out, false));
    EXPECT_TRUE(agree_on_sequences({}, {}, out, true));
}

// The High and Medium sequences of two scans of one peptide: one side without any takes the
// other's; with both, the last agreeing pair in loop order replaces what came in.
TEST(SequenceAgreement, ConfidentSequences) {
    struct Case {
        SequenceList first, second, expected;
        bool agreed;
    };
    for (const Case& c : std::initializer_list<Case>{
             {{}, {"PEPkA", "PEPkQ"}, {"PEPkA", "PEPkQ"}, true},
             {{"PEPkA", "PEPkQ"}, {}, {"PEPkA", "PEPkQ"}, true},
             {{"PEPkA", "AkR"}, {"akr", "PEPkA"}, {"AkR", "akr"}, true},
             {{"AkR", "PEPkA"}, {"akr", "PEPkA"}, {"PEPkA"}, true},
             {{"PEPkA"}, {"PEPkQ"}, {"before"}, false},
             {{}, {}, {"before"}, false},
         }) {
        SequenceList out{"before"};
        EXPECT_EQ(agree_on_confident_sequences(c.first, c.second, out), c.agreed);
        EXPECT_EQ(out, c.expected);
    }
}

} // namespace
} // namespace vombrelle
