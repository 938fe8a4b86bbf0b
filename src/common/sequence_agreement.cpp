#include "common/sequence_agreement.hpp"

#include "common/host_text.hpp"

namespace vombrelle {

bool agree_on_sequences(const SequenceList& first, const SequenceList& second, SequenceList& out,
                        bool empty_lists_agree) {
    if ((empty_lists_agree || (!first.empty() && !second.empty())) && first == second) {
        out.assign(first.begin(), first.end());
        return true;
    }
    bool agreed = false;
    for (const std::string_view s1 : first) {
        for (const std::string_view s2 : second) {
            if (s1 == s2) {
                out.push_back(s1);
                agreed = true;
            } else if (same_upper(s1, s2)) {
                out.push_back(s1);
                out.push_back(s2);
                agreed = true;
            }
        }
    }
    return agreed;
}

bool agree_on_confident_sequences(const SequenceList& first, const SequenceList& second, SequenceList& out) {
    if (first.empty() && second.empty()) return false;
    if (first.empty() || second.empty()) {
        const SequenceList& only = first.empty() ? second : first;
        out.assign(only.begin(), only.end());
        return true;
    }
    bool agreed = false;
    for (const std::string_view t1 : first) {
        for (const std::string_view t2 : second) {
            if (t1 == t2) {
                out.assign({t1});
                agreed = true;
            } else if (same_upper(t1, t2)) {
                out.assign({t1, t2});
                agreed = true;
            }
        }
    }
    return agreed;
}

const PsmRecord* read_psm(PsmMatchTable& table, std::int64_t scan, std::string_view sequence) {
    PsmScanEntry& entry = table.read(scan);
    read_pep_seq(entry);
    return table.find_record(entry, sequence);
}

void keep_confident(const PsmMatchTable& table, std::int64_t scan, const SequenceList& sequences, SequenceList& out) {
    out.clear();
    if (sequences.empty()) return;
    const PsmScanEntry& entry = *table.find(scan);
    for (const std::string_view seq : sequences) {
        const PsmRecord* record = table.find_record(entry, seq);
        if (record == nullptr) continue;
        const std::string_view confidence = table.texts(record->row).confidence;
        if (confidence == "High" || confidence == "Medium") out.push_back(seq);
    }
}

} // namespace vombrelle
