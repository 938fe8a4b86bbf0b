// The DTA-zip reader: a zip archive of DTA spectra (one per member) read in place into a
// SpectrumTable in ascending scan order.
//
// Members are selected by name: the name must match ^.*[^0-9]([0-9]+)\.([0-9]+)\.0\.dta$ with the
// interpreter's regular-expression semantics ("$" also matches before one final "\n"); group 1 is
// the scan number. The archive is read as the interpreter's zip reader reads it (zip_archive.hpp):
// names decoded as it decodes them, taken in central-directory order with directory entries; a
// name held by two entries reads the last of them. Skipped names are reported, in archive order, before
// any member is read. Selected members are processed in ascending scan order (stable): each is
// strict ASCII, split at line feeds; its stripped first line is the header, every later non-blank
// line a peak line. Members with one scan number merge into one record.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/scan_table.hpp"
#include "readers/peak_map.hpp"

namespace vombrelle {

// Called once with the skipped names, in archive order, after selection and before any member
// is read (so they are reported even when a member later fails).
using SkippedNamesSink = std::function<void(const std::vector<std::string>&)>;

// Large archives are read by several threads at once (`threads` 0 chooses by the compressed size,
// 1 reads on the caller's thread alone): members are inflated and parsed a scan at a time, each
// thread with an archive handle of its own, and the table and the first error are those of the
// reading in scan order. Every thread is joined before the call returns.
SpectrumTable read_dta_zip(const std::string& path, const SkippedNamesSink& on_skipped, unsigned threads = 0);

// The same, collecting the skipped names into `skipped_names` (filled before any member is read,
// so it holds them also when the call throws).
SpectrumTable read_dta_zip(const std::string& path, std::vector<std::string>& skipped_names, unsigned threads = 0);

// read_dta_zip in its two steps, for a caller that must report the skipped names before it goes
// on (another read after this one, say) and read the members later.
class DtaZipReading {
public:
    // Opens the archive and chooses its members: `skipped` receives the others' names, in archive
    // order. Raises read_dta_zip's errors of the archive itself.
    DtaZipReading(const std::string& path, std::vector<std::string>& skipped);
    ~DtaZipReading();
    DtaZipReading(DtaZipReading&&) noexcept;
    DtaZipReading& operator=(DtaZipReading&&) noexcept;

    // Reads the chosen members, as read_dta_zip does.
    SpectrumTable read(unsigned threads = 0);

    // Or a batch of scans at a time, in ascending scan order, for a caller that takes the records
    // over while the rest is read: adds to `records` the next scans, at least `batch_bytes` of
    // compressed members' worth (or the rest), read as read() reads them. False once every scan
    // has been read. After an error nothing more is read.
    bool read_batch(SpectrumTable& records, std::uint64_t batch_bytes, unsigned threads = 0);

private:
    struct Archive;
    std::unique_ptr<Archive> archive_;
};

// The scan number of a member name, or nothing when the name does not match the pattern.
// Throws OverflowError for a scan number beyond 64 bits.
std::optional<std::int64_t> dta_scan_number(std::string_view name);

// Merges one member's bytes into `record`: the name and the stripped first line join its titles
// and headers when new, every later non-blank line is a peak stored through `peaks` (attached to
// the record's peaks). Errors carry "in file '<source>', line N".
void merge_dta_member(std::string_view bytes, const std::string& name, const std::string& source,
                      SpectrumRecord& record, PeakMapBuilder& peaks);

} // namespace vombrelle
