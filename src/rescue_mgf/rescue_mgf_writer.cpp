#include "rescue_mgf/rescue_mgf_writer.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/host_text.hpp"

namespace vombrelle::rescue_mgf {

RescueMgfWriter::RescueMgfWriter(Sink sink, std::size_t buffer_bytes)
    : sink_(std::move(sink)), buffer_bytes_(buffer_bytes) {
    buffer_.reserve(buffer_bytes_ + 4096);
}

const std::string& RescueMgfWriter::peak_lines(std::int64_t parent_scan, const std::vector<Peak>& peaks) {
    if (have_cached_ && cached_parent_ == parent_scan) return cached_lines_;
    // Groups come in ascending scan order and neighbouring groups mostly share their parent, so
    // one cached parent catches nearly every repeat at the cost of one peak list.
    std::vector<const Peak*> order;
    order.reserve(peaks.size());
    for (const Peak& p : peaks) order.push_back(&p);
    std::stable_sort(order.begin(), order.end(), [](const Peak* a, const Peak* b) { return a->mz < b->mz; });
    cached_lines_.clear();
    for (const Peak* p : order) {
        append_float_repr(cached_lines_, p->mz);
        cached_lines_.push_back(' ');
        append_float_repr(cached_lines_, p->intensity);
        cached_lines_.push_back('\n');
    }
    cached_lines_.append("END IONS\n");
    cached_parent_ = parent_scan;
    have_cached_ = true;
    return cached_lines_;
}

void RescueMgfWriter::write_block(std::string_view title, TitleForm form, const Partner& partner,
                                  const HostNumber& scan_label, std::int64_t parent_scan,
                                  const std::vector<Peak>& parent_peaks) {
    buffer_.append("BEGIN IONS\nTITLE=FILE: ");
    if (form == TitleForm::Quoted) buffer_.push_back('"');
    buffer_.append(title);
    if (form == TitleForm::Quoted) buffer_.push_back('"');
    buffer_.append("\nPEPMASS=");
    append_float_repr(buffer_, partner.mz);
    buffer_.append("\nCHARGE=");
    append_int(buffer_, partner.charge);
    buffer_.append("+\nRTINSECONDS=1000000\nSCANS=");
    scan_label.append_text(buffer_);
    buffer_.push_back('\n');
    buffer_.append(peak_lines(parent_scan, parent_peaks));
    if (buffer_.size() >= buffer_bytes_) {
        sink_(buffer_);
        buffer_.clear();
    }
}

void RescueMgfWriter::finish() {
    if (!buffer_.empty()) sink_(buffer_);
    buffer_.clear();
}

} // namespace vombrelle::rescue_mgf
