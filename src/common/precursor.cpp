#include "common/precursor.hpp"

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/mass_constants.hpp"

namespace vombrelle {

Precursor parse_precursor(std::string_view header_entry, PrecursorReading reading) {
    std::string_view items[2];
    const std::size_t n = split_whitespace_first(header_entry, items, 2);
    if (n == 0 || (n < 2 && reading != PrecursorReading::MzFirst)) throw index_error("list index out of range");
    Precursor p;
    if (reading != PrecursorReading::BothThenCharge) p.mz = parse_float(items[0]);
    if (n < 2) throw index_error("list index out of range");
    p.charge = parse_int(items[1]);
    if (reading == PrecursorReading::BothThenCharge) p.mz = parse_float(items[0]);
    p.mh = mh_from_mz(p.mz, p.charge);
    return p;
}

} // namespace vombrelle
