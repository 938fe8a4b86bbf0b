#include "common/scan_grouping.hpp"

#include "common/interruption.hpp"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace vombrelle {

namespace {

// key + d as the interpreter's unbounded integers see it: a sum beyond 64 bits names a scan no
// table holds.
std::optional<std::int64_t> offset(std::int64_t key, std::int64_t d) {
    std::int64_t out = 0;
    if (__builtin_add_overflow(key, d, &out)) return std::nullopt;
    return out;
}

} // namespace

void HeaderClasses::encode(const SpectrumRecord& record, std::string& out) {
    // Length-prefixed, so that no header text can make two different lists look alike.
    out.clear();
    for (const std::string& h : record.headers) {
        const std::uint64_t n = h.size();
        out.append(reinterpret_cast<const char*>(&n), sizeof n);
        out.append(h);
    }
}

std::uint32_t HeaderClasses::intern(const SpectrumRecord& record) {
    if (!record.has_keys()) return kNoHeaderKey;
    encode(record, scratch_);
    auto [it, inserted] = ids_.try_emplace(scratch_, static_cast<std::uint32_t>(ids_.size() + 1));
    return it->second;
}

std::uint32_t HeaderClasses::find(const SpectrumRecord& record) const {
    if (!record.has_keys()) return kNoHeaderKey;
    encode(record, scratch_);
    auto it = ids_.find(scratch_);
    return it == ids_.end() ? kUnseen : it->second;
}

Ms3HeaderTable::Ms3HeaderTable(const SpectrumTable& ms3, HeaderClasses& classes) {
    classes_.reserve(ms3.size() * 2);
    visiting_order_.reserve(ms3.size());
    for (const auto& [scan, record] : ms3) {
        const std::uint32_t cls = classes.intern(record);
        classes_.emplace(scan, cls);
        visiting_order_.push_back(scan);
        if (cls == HeaderClasses::kNoHeaderKey) keep_placeholders_ = true;
    }
    std::sort(visiting_order_.begin(), visiting_order_.end());
}

void walk_scan_groups(Ms3HeaderTable& ms3, const GroupHandler& handle) {
    std::unordered_set<std::int64_t> used;
    used.reserve(ms3.visiting_order().size());

    auto present = [&](std::optional<std::int64_t> s) { return s && ms3.contains(*s); };
    auto class_of = [&](std::optional<std::int64_t> s) {
        return s ? ms3.lookup(*s) : HeaderClasses::kNoHeaderKey;
    };

    for (const std::int64_t key : ms3.visiting_order()) {
        interruption_point();
        if (used.count(key) != 0) continue;
        const std::uint32_t key_class = ms3.lookup(key);

        Ms3ScanGroup group;
        group.header_class = key_class;
        std::size_t found = 0;

        // Four consecutive scans of the key's list: the window would find exactly these, so it
        // is skipped (and no placeholder is inserted).
        const auto s1 = offset(key, 1), s2 = offset(key, 2), s3 = offset(key, 3);
        if (present(s1) && present(s2) && present(s3) && ms3.lookup(*s1) == key_class &&
            ms3.lookup(*s2) == key_class && ms3.lookup(*s3) == key_class) {
            group.scans = {key, *s1, *s2, *s3};
            found = 4;
        } else {
            for (std::int64_t d = 0; d < kGroupWindow && found < 4; ++d) {
                const auto s = offset(key, d);
                if (s && ms3.lookup(*s) == key_class) group.scans[found++] = *s;
            }
        }

        if (found == 4) {
            group.size = GroupSize::Four;
            if (handle(group)) used.insert(group.scans.begin(), group.scans.end());
            continue;
        }
        if (found == 3) {
            group.size = GroupSize::Three;
            if (handle(group)) used.insert(group.scans.begin(), group.scans.begin() + 3);
            continue;
        }
        // One or two scans: a two-scan group of the key and the next scan, when that pair is
        // set off from both neighbours.
        if (!present(s1)) continue;
        if (class_of(s1) != key_class) continue;
        if (class_of(offset(key, -1)) == key_class) continue;
        if (class_of(s2) == key_class) continue;
        group.size = GroupSize::Two;
        group.scans = {key, *s1, 0, 0};
        if (handle(group)) {
            used.insert(key);
            used.insert(*s1);
        }
    }
}

} // namespace vombrelle
