// How far a measured value may lie from a reference, for every mass test of the search and the
// rescues. A ppm tolerance is relative to the reference (|difference| / reference x 1000000, in
// that order of operations); a fraction tolerance is relative without the factor; an absolute one
// is in Da. All are inclusive. The caller computes the difference itself, in the order of
// operations its masses call for, and hands its absolute value in (the absolute window takes the
// signed difference and bounds it on both sides).
#pragma once

#include "common/errors.hpp"

namespace vombrelle {

// The relative error in ppm: |difference| / reference x 1000000.
inline double ppm_error(double abs_difference, double reference) { return abs_difference / reference * 1000000.0; }

class Tolerance {
public:
    // Nothing is within a ppm tolerance of a reference of 0: the host would fail the whole run on
    // that one odd scan or argument. A fraction of 0 raises the host's division error, as the test
    // it stands for does.
    static constexpr Tolerance ppm(double v) { return {Kind::Ppm, v}; }
    static constexpr Tolerance fraction(double v) { return {Kind::Fraction, v}; }
    static constexpr Tolerance absolute(double da) { return {Kind::Absolute, da}; }

    constexpr double value() const { return value_; }

    // Whether `difference` lies within the tolerance of `reference`. A relative kind takes the
    // absolute difference; the absolute kind takes the signed one and ignores the reference.
    bool contains(double difference, double reference = 0.0) const {
        switch (kind_) {
            case Kind::Ppm:
                if (reference == 0.0) return false;
                return ppm_error(difference, reference) <= value_;
            case Kind::Fraction:
                if (reference == 0.0) throw zero_division_error("float division by zero");
                return difference / reference <= value_;
            case Kind::Absolute:
                return difference <= value_ && difference >= -value_;
        }
        return false;
    }

private:
    enum class Kind { Ppm, Fraction, Absolute };
    constexpr Tolerance(Kind kind, double value) : kind_(kind), value_(value) {}

    Kind kind_;
    double value_;
};

// Two masses against the one they should make (a peptide pair or a fragment pair against the
// precursor, a partner against a peak, an MS3 m/z against a parent peak, the arm forms' difference
// against linker_dm).
inline constexpr Tolerance kPairTolerance = Tolerance::ppm(20.0);
// The monoisotopic peak the precursor-mass rescue looks for, relative to the peak's m/z.
inline constexpr Tolerance kIsotopePeakTolerance = Tolerance::ppm(15.0);
// How far a pair may miss its precursor and the miss still be an isotope error (Da).
inline constexpr Tolerance kIsotopeWindow = Tolerance::absolute(5.5);
// The two arm forms of a two-scan group of the rescue spectra: their difference may miss
// linker_dm by a tenth of it.
inline constexpr Tolerance kArmFormTolerance = Tolerance::fraction(0.1);

} // namespace vombrelle
