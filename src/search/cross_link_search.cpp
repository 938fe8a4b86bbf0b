#include "search/cross_link_search.hpp"

#include "search/four_scan_groups.hpp"
#include "search/search_run.hpp"
#include "search/three_scan_groups.hpp"
#include "search/two_scan_groups.hpp"

namespace vombrelle {

CrossLinkScoreMap find_cross_links(SearchTables& tables, const SearchArguments& args, NamedCalls& calls) {
    search::SearchRun run(tables, args, calls);
    search::FourScanGroups four_scans(run);
    search::ThreeScanGroups three_scans(run);
    search::TwoScanGroups two_scans(run);
    return run.walk([&](const Ms3ScanGroup& group) {
        switch (group.size) {
            case GroupSize::Four: return four_scans.handle(group);
            case GroupSize::Three: return three_scans.handle(group);
            case GroupSize::Two: return two_scans.handle(group);
        }
        return false;
    });
}

} // namespace vombrelle
