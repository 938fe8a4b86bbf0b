// The rescue MGF: one block per rescue spectrum, written back to back with LF line ends.
//
//   BEGIN IONS
//   TITLE=FILE: <title>            (the title in double quotes for four-scan groups)
//   PEPMASS=<partner m/z>
//   CHARGE=<partner charge>+
//   RTINSECONDS=1000000
//   SCANS=<scan label>
//   <m/z> <intensity>              (the parent's deconvoluted peaks, ascending m/z)
//   END IONS
//
// Numbers are written in the interpreter's text form (shortest round-trip digits for floats).
// Blocks of one group share the parent's peak lines, so those are formatted once per parent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/number.hpp"
#include "common/scan_table.hpp"
#include "rescue_mgf/partner_derivation.hpp"

namespace vombrelle::rescue_mgf {

enum class TitleForm : std::uint8_t { Quoted, Plain };

class RescueMgfWriter {
public:
    // Receives the text in large pieces; the last piece comes from finish().
    using Sink = std::function<void(std::string_view)>;

    explicit RescueMgfWriter(Sink sink, std::size_t buffer_bytes = std::size_t{1} << 20);

    // Appends one block. `parent_peaks` is the deconvoluted peak list of the parent MS2 scan
    // `parent_scan` (the same list for the same scan number within one run).
    void write_block(std::string_view title, TitleForm form, const Partner& partner, const HostNumber& scan_label,
                     std::int64_t parent_scan, const std::vector<Peak>& parent_peaks);

    // Hands the remaining text to the sink.
    void finish();

private:
    const std::string& peak_lines(std::int64_t parent_scan, const std::vector<Peak>& peaks);

    Sink sink_;
    std::size_t buffer_bytes_;
    std::string buffer_;
    bool have_cached_ = false;
    std::int64_t cached_parent_ = 0;
    std::string cached_lines_;  // peak lines and "END IONS" of cached_parent_
};

} // namespace vombrelle::rescue_mgf
