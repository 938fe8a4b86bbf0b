"""A plain, slow reading of PSM tables to compare the module against: three walks over the lines,
one table after the other, as the reader's contract describes them; and what any reader's result
or error shows, to compare readers by."""
import sys
from collections import defaultdict

NOT_TAB = "".join(c for c in map(chr, range(sys.maxunicode + 1)) if c.isspace() and c != "\t")
NEEDED = ["First Scan", "Confidence", "PSM Ambiguity", "Annotated Sequence", "Protein Accessions",
          "Protein Descriptions", "MH+ [Da]", "Modifications"]
FIXED_QVAL = {"High": 0.99, "Medium": 0.95, "Low": 0}


def rescale_qval(qval):
    old_min, old_max, new_min, new_max = 1, 0, 0, 1
    return ((qval - old_min) * (new_max - new_min)) / (old_max - old_min) + new_min


def file_lines(path):
    with open(path, encoding="utf-8") as f:
        return [line.replace('"', "") for line in f.readlines()]


def read_lines(pep_matches, uniprot_dict, linker_Long, linker_Short, long_name, short_name,
               rescale=rescale_qval):
    tables = tuple(defaultdict(lambda: defaultdict(str)) for _ in range(3))
    headers = pep_matches[0].strip(NOT_TAB).split("\t")
    scan_ind, conf_ind, ambig_ind, pepseq_ind, ptnid_ind, ptndesc_ind, pepmass_ind, mod_ind = (
        headers.index(name) for name in NEEDED)
    qval_ind = headers.index("Percolator q-Value") if "Percolator q-Value" in headers else None
    accepts = (lambda c: c == "High", lambda c: c != "Low", lambda c: True)
    for table, accept in zip(tables, accepts):
        for line in pep_matches:
            if not line.strip():
                continue
            tmp = line.strip(NOT_TAB).split("\t")
            conf = tmp[conf_ind]
            if conf == "Confidence" or not accept(conf):
                continue
            seq = tmp[pepseq_ind]
            if seq.count("k") == 0:
                continue
            if seq.count("k") == 1 and seq[-1] == "k":
                ids = [i.strip() for i in tmp[ptnid_ind].split(";")]
                proteins = [uniprot_dict[i] for i in ids if i in uniprot_dict]
                if not any(seq.upper() in p and p.index(seq.upper()) == len(p) - len(seq) for p in proteins):
                    continue
            entry = table[int(tmp[scan_ind])]
            if entry["pep_seq"] == "":
                entry["pep_seq"] = []
            entry["pep_seq"].append(seq)
            rec = entry[seq] = defaultdict(str, ptn_accesion=[tmp[ptnid_ind]], ptn_description=[tmp[ptndesc_ind]])
            if tmp[ambig_ind] != "Rejected" and entry["selected_pep"] == "":
                entry["selected_pep"] = [seq]
            mass = float(tmp[pepmass_ind])
            long_count, short_count = [tmp[mod_ind].count("(%s)" % name) for name in (long_name, short_name)]
            rec["pep_mass"] = (mass - long_count * linker_Long) - short_count * linker_Short
            rec["confidence"] = conf
            if qval_ind is not None:
                rec["qval"] = rescale(float(tmp[qval_ind]))
            elif conf in FIXED_QVAL:
                rec["qval"] = FIXED_QVAL[conf]
            else:
                raise ValueError("PSM confidence %r is none of 'High', 'Medium', 'Low' and the table "
                                 "has no 'Percolator q-Value' column" % conf)
    return tables


def shape(obj):
    """Everything a consumer can see of a result (any reader's): types, values, key order."""
    if isinstance(obj, dict):
        factory = getattr(obj, "default_factory", None)
        named = factory.__name__ if factory in (str, float) else "entry"
        return (type(obj).__name__ + ("" if factory is None else "(%s)" % named),
                [(shape(k), shape(v)) for k, v in obj.items()])
    if isinstance(obj, (list, tuple)):
        return (type(obj).__name__, [shape(x) for x in obj])
    if isinstance(obj, float):
        return ("float", repr(obj))
    return (type(obj).__name__, obj)


def outcome(call):
    """The result's shape, or the error's type and message."""
    try:
        return ("ok", shape(call()))
    except Exception as e:  # noqa: BLE001 - the error is what is compared
        return ("error", type(e).__name__, str(e))
