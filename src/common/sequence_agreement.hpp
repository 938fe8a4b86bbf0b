// How two MS3 scans of one peptide (its long and its short arm form) come to agree on the
// peptide's sequences. Sequences that differ only in letter case agree: a modified residue is
// written in lower case, and the two arm forms may carry the modification on different residues.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/psm.hpp"

namespace vombrelle {

using SequenceList = std::vector<std::string_view>;

// Equal lists agree as a whole (`out` takes the first); lists of nothing only when
// `empty_lists_agree`. Otherwise every pair (s1 of `first`, s2 of `second`) in order: equal texts
// add s1, texts equal in upper case add s1 then s2. Returns whether anything agreed; `out` must
// come in empty.
bool agree_on_sequences(const SequenceList& first, const SequenceList& second, SequenceList& out,
                        bool empty_lists_agree);

// The last resort on the scans' High and Medium sequences only. One side without any: the other
// side's. Both with some: the last agreeing pair in loop order ([t] for equal texts, [t1, t2] for
// texts equal in upper case) replaces `out`. Returns whether anything agreed.
bool agree_on_confident_sequences(const SequenceList& first, const SequenceList& second, SequenceList& out);

// The PSM of `sequence` in `scan`, read as the driver's lookup reads it: T[scan]["pep_seq"] without
// asking first (a scan the table lacks gets an empty entry), then the record when the sequence is
// listed there; nullptr when it is not.
const PsmRecord* read_psm(PsmMatchTable& table, std::int64_t scan, std::string_view sequence);

// The sequences of `sequences` (in order, repeats kept) whose PSM in `table` under `scan` has the
// confidence "High" or "Medium". The scan must be in the table.
void keep_confident(const PsmMatchTable& table, std::int64_t scan, const SequenceList& sequences, SequenceList& out);

} // namespace vombrelle
