// Binding of: read_ms_Mgf read_ms_DtaZip.
//
// Both read on a worker thread, without the interpreter lock, while the caller's thread turns what
// has been read so far into the host's objects, a batch at a time, freeing each batch as it goes:
// a call takes about the time of the slower of the two, and little more memory than the table it
// returns. (The conversion is the slower: the reading is hidden behind it.) The caller keeps the
// lock while it converts and while it waits briefly for the next batch; it gives the lock up only
// for a long wait (call_interruptions.hpp), so that a busy thread of the driver's costs it no more
// than such a wait.
#include <optional>
#include <string>
#include <vector>

#include "common/batch_pipe.hpp"
#include "common/interruption.hpp"
#include "module/binding.hpp"
#include "module/convert_scan_tables.hpp"
#include "module/named_reads.hpp"
#include "module/py_support.hpp"
#include "module/signatures.hpp"
#include "readers/dta_zip.hpp"
#include "readers/mgf.hpp"

namespace vombrelle::module {

namespace {

// Batch sizes: large enough to make the hand-over cheap, small enough that the batches in flight
// cost nothing next to the table. MGF: peaks (MgfScanPart::weight), half a megabyte of them;
// DTA: compressed bytes of members, a few hundred scans.
constexpr std::size_t kMgfBatchWeight = std::size_t(1) << 15;
constexpr std::uint64_t kDtaBatchBytes = std::uint64_t(1) << 18;

// Batches made by `make` on a worker thread and added to `table` on the caller's thread. The
// worker is stopped and joined also when a conversion fails or a signal handler raises; that wait
// gives the lock up as any other does: the worker may be blocked on the file, a FIFO whose writer
// is another thread of the caller.
template <class Batch>
py::object converted_while_read(typename BatchPipe<Batch>::Make make, SpectrumTableObject& table) {
    BatchPipe<Batch> pipe(std::move(make));
    Batch batch;
    while (pipe.next(batch)) {
        table.add(batch);
        interruption_point();
    }
    return table.table();
}

py::object read_mgf(const std::string& path) {
    std::optional<MgfPartReader> reader;  // opened on the worker: opening may block
    SpectrumTableObject table(/*default_inserting=*/true);
    return converted_while_read<std::vector<MgfScanPart>>(
        [&](std::vector<MgfScanPart>& batch) {
            if (!reader) reader.emplace(path, PeakStorage::Keep);
            return reader->read(batch, kMgfBatchWeight);
        },
        table);
}

py::object read_dta_zip(const std::string& path) {
    std::vector<std::string> skipped;
    std::optional<DtaZipReading> reading;
    released([&] { reading.emplace(path, skipped); });
    print_names(skipped);  // before any member is read, so also when one fails
    SpectrumTableObject table(/*default_inserting=*/false);
    return converted_while_read<SpectrumTable>(
        [&](SpectrumTable& batch) { return reading->read_batch(batch, kDtaBatchBytes); }, table);
}

} // namespace

void register_readers(py::module_& m) {
    define_function(m, signature("read_ms_Mgf"), [](Arguments& args) { return read_mgf(fs_path(args[0])); });
    define_function(m, signature("read_ms_DtaZip"),
                    [](Arguments& args) { return read_dta_zip(zip_path_from_py(args[0])); });
}

} // namespace vombrelle::module
