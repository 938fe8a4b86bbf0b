// Peptide masses keep the host's number kinds, and residues are read before atoms.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/errors.hpp"
#include "results/precursor_recheck.hpp"

namespace vombrelle {
namespace {

TEST(PrecursorCheck, MassesKeepTheirKindAndReadOrder) {
    MassTable masses;
    masses.residues = {{"A", 71}, {"G", 57}, {"K", 128.09496}};
    masses.atoms = {{"mm_H", 1}, {"mm_O", 16}};
    EXPECT_TRUE(peptide_mh("AG", masses).is_int());
    EXPECT_EQ(peptide_mh("AG", masses).as_int(), 71 + 57 + 19);
    EXPECT_EQ(peptide_mh("K", masses).as_double(), std::round((128.09496 + 19) * 1e5) / 1e5);

    MassTable no_atoms;
    no_atoms.residues = masses.residues;
    try {
        peptide_mh("AXG", no_atoms);
        FAIL();
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Key);
        EXPECT_EQ(std::get<std::string>(e.key), "X");  // residues before atoms
    }
}

} // namespace
} // namespace vombrelle
