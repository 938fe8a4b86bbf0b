// Grouping of the MS3 scans that share one MS2 precursor: one walk over the MS3 scan numbers in
// ascending order, forming four-, three- and two-scan groups and keeping the used scans. The
// rescue spectrum generation and the cross-link search group alike; they differ only in which
// groups use up their scans, which each says through its handler.
//
// Scans share a precursor when their header lists are equal as wholes. The grouping reads the
// MS3 table with its default-inserting lookups: a scan number the table lacks reads as a record
// without keys (a placeholder) whose "header" is the empty text, which equals only another empty
// text, never a list; once looked up, a placeholder is present for later membership tests.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/scan_table.hpp"

namespace vombrelle {

// Header lists reduced to small integers, so that equality of whole lists is one comparison.
// Class 0 is the empty text of a record without keys; lists (the empty list included) get
// classes from 1 on.
class HeaderClasses {
public:
    static constexpr std::uint32_t kNoHeaderKey = 0;
    static constexpr std::uint32_t kUnseen = 0xFFFFFFFFu;  // a list no interned record holds

    // The class of the record's header list, creating one for a list not seen before.
    std::uint32_t intern(const SpectrumRecord& record);
    // The class of the record's header list, or kUnseen when no interned record has that list.
    std::uint32_t find(const SpectrumRecord& record) const;

private:
    static void encode(const SpectrumRecord& record, std::string& out);
    std::unordered_map<std::string, std::uint32_t> ids_;
    mutable std::string scratch_;
};

// The MS3 table as the grouping reads it: the header class of every scan, with the table's own
// lookup rules (a lookup of an absent scan inserts a placeholder of class 0).
class Ms3HeaderTable {
public:
    Ms3HeaderTable(const SpectrumTable& ms3, HeaderClasses& classes);

    // The scan numbers of the file, ascending; placeholders inserted later never join it.
    const std::vector<std::int64_t>& visiting_order() const { return visiting_order_; }
    bool contains(std::int64_t scan) const { return classes_.count(scan) != 0; }
    // The class of `scan`, inserting a placeholder when it is absent.
    std::uint32_t lookup(std::int64_t scan) {
        if (auto it = classes_.find(scan); it != classes_.end()) return it->second;
        if (keep_placeholders_) classes_.emplace(scan, HeaderClasses::kNoHeaderKey);
        return HeaderClasses::kNoHeaderKey;
    }

private:
    std::unordered_map<std::int64_t, std::uint32_t> classes_;
    std::vector<std::int64_t> visiting_order_;
    // A placeholder equals only a record without keys. When the table has none (always, for a
    // table read from a file), no visited scan can group with a placeholder, and a membership
    // test that finds one is always followed by a failing header test: placeholders then change
    // nothing, and are not stored.
    bool keep_placeholders_ = false;
};

enum class GroupSize : std::uint8_t { Two = 2, Three = 3, Four = 4 };

// The MS3 scans of one MS2 precursor, ascending; the first is the visited scan.
struct Ms3ScanGroup {
    GroupSize size = GroupSize::Two;
    std::array<std::int64_t, 4> scans{};  // the first `count()` are used
    std::uint32_t header_class = 0;       // class of the first scan's header list

    std::size_t count() const { return static_cast<std::size_t>(size); }
    std::int64_t first() const { return scans[0]; }
};

// Called once per group formed. The answer says whether the group used up its scans: only then
// are they marked, and a later visit of one of them starts no group. A group that answers false
// leaves its scans free to form groups of their own (its later scans come up as visited scans).
using GroupHandler = std::function<bool(const Ms3ScanGroup&)>;

// Number of scan numbers the window examines from the visited scan on (the scan included).
inline constexpr std::int64_t kGroupWindow = 40;

void walk_scan_groups(Ms3HeaderTable& ms3, const GroupHandler& handle);

} // namespace vombrelle
