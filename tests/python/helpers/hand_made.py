"""Hand-made fractions for find_XL_from_mgf: a few scans and PSMs written one by one into the files
the search reads, so that a test states its input in full and its expected record as a literal.

    f = HandMade(tmp_path)
    f.ms2(9, "600.5", 3, peaks=[600.25, 800.5])      # parent MS2 scan: PEPMASS text, charge, peak m/z
    f.ms3(10, parent=("600.5", 3), own=("600.25", 1)) # an MS3 scan: its parent's header, its own precursor
    f.psm(10, "PEPkA", 1000.5, "High", q=0.01)        # a PSM of the MS3 search ("rescue" for the other)
    f.ms1(5, [(599.83, 100.0)])                      # an MS1 scan of the DTA archive
    result = f.search(mod, MS2_Rescue="YES")

Texts are written as given; numbers as repr() writes them. PSM masses are "MH+ [Da]" with no
linker modification, so the reader's "pep_mass" is the mass given. The MS1 archive always has a
member (scan 1, no peaks) unless the test adds its own scans."""
import zipfile

from helpers.psm import header, row

PROTON = 1.007825
# Linker masses that keep hand-worked numbers short (Da).
LINKER = dict(linker_mass=100.0, linker_dm=30.0, linker_deficit=2.0, linker_Long=50.0, linker_Short=20.0,
              linker_Long_name_SEQUEST="LinkerLong", linker_Short_name_SEQUEST="LinkerShort")


def mh(mz, z):
    """MH+ of an m/z at charge z, in the search's order of operations."""
    return (float(mz) - PROTON) * z + PROTON


def mz(mass, z):
    return (mass - PROTON) / z + PROTON


def _text(value):
    return value if isinstance(value, str) else repr(value)


def _block(scan, pepmass, charge, peaks=(), title=None):
    lines = ["BEGIN IONS", "TITLE=%s" % (title or "t.%d.%d.2" % (scan, scan)),
             "PEPMASS=%s" % _text(pepmass), "CHARGE=%s+" % _text(charge), "SCANS=%d" % scan]
    lines += ["%s 1000.0" % _text(p) for p in peaks]
    return "\n".join(lines + ["END IONS", ""])


class HandMade:
    def __init__(self, folder, **linker):
        self.folder = folder
        self.linker = {**LINKER, **linker}
        self.ms2_blocks, self.ms3_blocks, self.msn1_blocks, self.deconv_blocks = [], [], [], []
        self.ms1_members = []
        self.psms = {"ms3": [], "rescue": []}
        self.uniprot = {}

    def ms2(self, scan, pepmass, charge, peaks=()):
        """A parent MS2 scan with its precursor (PEPMASS text, charge) and peaks at the given m/z."""
        self.ms2_blocks.append(_block(scan, pepmass, charge, peaks))
        return self

    def ms3(self, scan, parent, own):
        """An MS3 scan: `parent` (m/z, charge) labels it in the MS3 file, `own` in the msn-1 file
        (None leaves it out of the msn-1 file)."""
        self.ms3_blocks.append(_block(scan, *parent))
        if own is not None:
            self.msn1_blocks.append(_block(scan, *own))
        return self

    def msn1_bare(self, scan):
        """An msn-1 block that never gets a precursor (no PEPMASS line): the scan is in the msn-1
        table with an empty header list."""
        self.msn1_blocks.append("BEGIN IONS\nTITLE=t.%d.%d.2\nCHARGE=1+\nSCANS=%d\nEND IONS\n" % (scan, scan, scan))
        return self

    def ms1(self, scan, peaks, first_line="0.0 0"):
        """An MS1 scan of the DTA archive: (m/z, intensity) peaks, written as given."""
        body = "".join("%s %s\n" % (_text(m), _text(i)) for m, i in peaks)
        self.ms1_members.append(("f.%d.%d.0.dta" % (scan, scan), first_line + "\n" + body))
        return self

    def psm(self, scan, seq, mass, conf="High", q=None, ambig="Unambiguous", acc="P1", desc="d",
            table="ms3", mods=""):
        """A PSM row; q is the "Percolator q-Value" (then every row of that table needs one)."""
        self.psms[table].append(dict(scan=_text(scan), seq=seq, mass=_text(mass), conf=conf, ambig=ambig,
                                     acc=acc, desc=desc, mods=mods, qval=None if q is None else _text(q)))
        return self

    def write(self):
        """Writes the files; the search's file arguments by name."""
        paths = {}
        for key, blocks in (("MS2_file_path", self.ms2_blocks), ("MS3_file_path", self.ms3_blocks),
                            ("msn_1_MS3_path", self.msn1_blocks)):
            paths[key] = self.folder / (key + ".mgf")
            paths[key].write_text("".join(blocks))
        paths["MS1_file_path"] = self.folder / "ms1.zip"
        with zipfile.ZipFile(paths["MS1_file_path"], "w") as z:
            for name, data in self.ms1_members or [("f.1.1.0.dta", "0.0 0\n")]:
                z.writestr(name, data)
        for key, table in (("PD_result_path", "ms3"), ("MS2_PD_result_path", "rescue")):
            rows = self.psms[table]
            with_q = bool(rows) and rows[0]["qval"] is not None
            paths[key] = self.folder / ("%s.tsv" % table)
            paths[key].write_text(header(qval=with_q) + "".join(row(**r) for r in rows))
        return {k: str(v) for k, v in paths.items()}

    def arguments(self, MS2_Rescue="NO"):
        """find_XL_from_mgf's arguments by name, in its order."""
        paths = self.write()
        args = dict(MS2_Rescue=MS2_Rescue)
        for name in ("MS1_file_path", "MS2_file_path", "MS3_file_path", "msn_1_MS3_path", "PD_result_path",
                     "MS2_PD_result_path"):
            args[name] = paths[name]
        link = self.linker
        args.update(uniprot_dict=self.uniprot, linker_mass=link["linker_mass"], linker_Long=link["linker_Long"],
                    linker_Short=link["linker_Short"], linker_dm=link["linker_dm"],
                    linker_deficit=link["linker_deficit"],
                    linker_Long_name_SEQUEST=link["linker_Long_name_SEQUEST"],
                    linker_Short_name_SEQUEST=link["linker_Short_name_SEQUEST"])
        return args

    def search(self, mod, MS2_Rescue="NO", **changes):
        return mod.find_XL_from_mgf(**{**self.arguments(MS2_Rescue), **changes})
