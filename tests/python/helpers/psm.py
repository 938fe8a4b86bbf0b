"""PSM tables: builders of export lines, random exports, and a plain, slow reading to compare the
module against (three walks over the lines, one table after the other, as the reader's contract
describes them)."""
import sys
from collections import defaultdict

NOT_TAB = "".join(c for c in map(chr, range(sys.maxunicode + 1)) if c.isspace() and c != "\t")
# The columns the reader needs, in the order their absence is reported.
COLUMNS = ["First Scan", "Confidence", "PSM Ambiguity", "Annotated Sequence", "Protein Accessions",
           "Protein Descriptions", "MH+ [Da]", "Modifications"]
LINKER = (100.5, 50.25, "DSSO_long", "DSSO_short")  # long and short remnant masses (Da) and names
FIXED_QVAL = {"High": 0.99, "Medium": 0.95, "Low": 0}


def rescale_qval(qval):
    return ((qval - 1) * (1 - 0)) / (0 - 1) + 0


def file_lines(path):
    with open(path, encoding="utf-8") as f:
        return [line.replace('"', "") for line in f.readlines()]


def read_lines(pep_matches, uniprot_dict, linker_Long, linker_Short, long_name, short_name,
               rescale=rescale_qval):
    tables = tuple(defaultdict(lambda: defaultdict(str)) for _ in range(3))
    headers = pep_matches[0].strip(NOT_TAB).split("\t")
    scan_ind, conf_ind, ambig_ind, pepseq_ind, ptnid_ind, ptndesc_ind, pepmass_ind, mod_ind = (
        headers.index(name) for name in COLUMNS)
    qval_ind = headers.index("Percolator q-Value") if "Percolator q-Value" in headers else None
    accepts = (lambda c: c == "High", lambda c: c != "Low", lambda c: True)
    for table, accept in zip(tables, accepts):
        for line in pep_matches:
            if not line.strip():
                continue
            tmp = line.strip(NOT_TAB).split("\t")
            conf = tmp[conf_ind]
            if conf == "Confidence" or not accept(conf) or tmp[pepseq_ind].count("k") == 0:
                continue
            seq = tmp[pepseq_ind]
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


def row(scan="10", conf="High", ambig="Unambiguous", seq="AkDEFR", acc="P1", desc="d",
        mass="1000.5", mods="", qval=None):
    return "\t".join([scan, conf, ambig, seq, acc, desc, mass, mods] + ([qval] if qval is not None else [])) + "\n"


def header(qval=False):
    return "\t".join(COLUMNS + (["Percolator q-Value"] if qval else [])) + "\n"


def write(tmp_path, text, name="psms.txt"):
    """Writes text (UTF-8) or bytes to a file in tmp_path; returns its path as a str."""
    path = tmp_path / name
    path.write_bytes(text.encode() if isinstance(text, str) else text)
    return str(path)


# A random export's proteins and cell choices: sequences with and without marked lysines, some
# ending a protein, non-ASCII residues, accession lists with spaces and unknown accessions.
UNIPROT = {"P1": "MMMLVTDLTK", "P2": "GGKGGK", "P3": "MMÄLK", "P4": "AAAAKDEFKAAAAKDEFK", "P5": "MSSK"}
CELLS = {
    "PSM Ambiguity": ["Unambiguous", "Rejected", "Selected"],
    "Annotated Sequence": ["AkDEFR", "LVTDLTk", "PEPTIDEK", "AkDEFk", "GGkGGk", "MkR", "ÄLk", "ßk", "LVTDLTk"],
    "Protein Accessions": ["P1", "P2; P3", " P4 ", "P9", "P1;P9", "", "P5;P3"],
    "Protein Descriptions": ["d1", "", "desc two"],
    "Modifications": ["", "(DSSO_long)", "K1(DSSO_long); K2(DSSO_short)", "(DSSO_long)(DSSO_long)"],
    "Percolator q-Value": ["0.01", "1e-3", "0", "5.220569E-05"],
    "Extra": ["x", ""],
}


def random_table(rng, with_qval, faults):
    """Lines of a random export (header first): columns shuffled, sometimes a leading column, blank
    and repeated header lines, various line ends; with `faults`, bad cells and short rows."""
    names = COLUMNS + (["Percolator q-Value"] if with_qval else []) + ["Extra"]
    rng.shuffle(names)
    lead = rng.random() < 0.3
    lines = [("Lead\t" if lead else "") + "\t".join(names) + rng.choice(["\n", "\r\n", "\n"])]
    for _ in range(rng.randint(0, 40)):
        roll = rng.random()
        if roll < 0.06:  # a blank line or the header again
            lines.append(rng.choice(["\n", "  \n", ""]) if roll < 0.04 else lines[0])
            continue
        cells = {name: rng.choice(choices) for name, choices in CELLS.items()}
        cells["First Scan"] = str(rng.randint(1, 8))
        cells["Confidence"] = rng.choice(["High", "High", "Medium", "Low", "Low"] + (["Unsure"] if with_qval else []))
        cells["MH+ [Da]"] = repr(round(rng.uniform(500, 4000), rng.randint(0, 6)))
        if faults and rng.random() < 0.04:
            bad = rng.choice(["First Scan", "MH+ [Da]", "Percolator q-Value", "Confidence"])
            cells[bad] = rng.choice(["", "1.5", "abc", "Unsure"])
        fields = [cells[n] for n in names]
        if faults and rng.random() < 0.03:
            fields = fields[: rng.randint(1, len(fields))]
        # Lines lose every whitespace but the tab, so empty cells at either end keep their columns.
        lines.append(("\t" if lead else "") + "\t".join(fields) + rng.choice(["\n", "\r\n", "\t \u00a0\r\n", "\u2003\n"]))
    return lines
