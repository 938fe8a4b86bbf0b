"""The text of a fraction's files, collected in scan order, and the manifest and driver arguments."""
import json
import os
import zipfile

from .chemistry import (ARM_NAME, ISOTOPE, LINKER_DEFICIT, LINKER_DM, LINKER_LONG, LINKER_MASS, LINKER_SHORT,
                        FDR_CUTOFF, MASS_DICT, MOD_DICT, PREC_TOL_PPM, mh_of, mz_of)
from .checks import noise_peaks
from .kinds import expect

FILES = {"ms1": "ms1.dta.zip", "ms2": "ms2.mgf", "ms3": "ms3.mgf", "msn1": "ms3_msn1.mgf",
         "deconv": "ms2_deconv.mgf", "psm_ms3": "psm_ms3.tsv", "psm_rescue": "psm_rescue.tsv",
         "uniprot": "uniprot.json", "driver": "driver.json", "manifest": "manifest.json"}
OUTPUTS = {"rescue_mgf": "rescue.mgf", "result": "result.tsv"}

PSM_COLUMNS = ["Checked", "Confidence", "Identifying Node", "PSM Ambiguity", "Annotated Sequence",
               "Modifications", "# Proteins", "Master Protein Accessions", "Protein Accessions",
               "Protein Descriptions", "# Missed Cleavages", "Charge", "Rank", "m/z [Da]", "MH+ [Da]",
               "Theo. MH+ [Da]", "DeltaM [ppm]", "Activation Type", "MS Order", "RT [min]", "First Scan",
               "Spectrum File", "XCorr", "Percolator q-Value", "Percolator PEP"]
QVALUE_COLUMNS = ("Percolator q-Value", "Percolator PEP")


def _title(fraction, scan, z):
    return '%s.%d.%d.%d File:"%s.raw", NativeID:"controllerType=0 controllerNumber=1 scan=%d"' % (
        fraction, scan, scan, z, fraction, scan)


def _peak_text(peaks):
    return "".join(["%.5f %.1f\n" % p for p in peaks])


def _block(title, pepmass, charge, scan, peak_text):
    return "BEGIN IONS\nTITLE=%s\nPEPMASS=%s %.1f\nCHARGE=%d+\nRTINSECONDS=%.2f\nSCANS=%d\n%sEND IONS\n" % (
        title, pepmass, 1e6, charge, scan * 0.25, scan, peak_text)


class Writer:
    """Collects the text of every file in scan order."""

    def __init__(self, rng, fraction, sizes, quote, qvalues):
        self.rng, self.fraction, self.sizes = rng, fraction, sizes
        self.quote, self.qvalues = quote, qvalues
        self.ms2, self.deconv, self.ms3, self.msn1, self.ms1 = [], [], [], [], []
        self.psm_ms3, self.psm_rescue = [], []

    def ms2_scan(self, scan, mz_text, z, peaks, fragments_mh=()):
        rng = self.rng
        title = _title(self.fraction, scan, z)
        self.ms2.append(_block(title, mz_text, z, scan, _peak_text(peaks)))
        deconv = noise_peaks(rng, self.sizes["deconv"], 200.0, 4000.0)
        deconv += [(m, rng.uniform(2e4, 9e5)) for m in fragments_mh]
        deconv.sort()
        self.deconv.append(_block(title, "%.5f" % mh_of(float(mz_text), z), 1, scan, _peak_text(deconv)))

    def ms3_scan(self, scan, parent_mz, parent_z, own_mz, own_z):
        peaks = _peak_text(noise_peaks(self.rng, self.sizes["ms3"], 100.0, 1500.0))
        title = _title(self.fraction, scan, own_z)
        self.ms3.append(_block(title, parent_mz, parent_z, scan, peaks))
        self.msn1.append(_block(title, own_mz, own_z, scan, peaks))

    def psm(self, table, psm, scan, mz, z, order):
        """One row; "m/z [Da]" and "MH+ [Da]" are the spectrum's precursor, as a search reports them."""
        pep, rng = psm.pep, self.rng
        theo = pep.frag(psm.arm)
        mh = mh_of(mz, z)
        xcorr = {"High": 3.0, "Medium": 2.0}.get(psm.confidence, 1.0) + rng.random()
        fields = ["False", psm.confidence, "Sequest HT (A4)", psm.ambiguity, pep.seq, pep.mods(psm.arm),
                  str(pep.accessions.count(";") + 1), pep.accessions.split(";")[0], pep.accessions,
                  pep.descriptions, "1", str(z), "1", "%.5f" % mz, "%.5f" % mh, "%.5f" % theo,
                  "%.2f" % ((mh - theo) / theo * 1e6), "CID", order, "%.4f" % (scan * 0.25 / 60), str(scan),
                  "%s.raw" % self.fraction if order == "MS3" else OUTPUTS["rescue_mgf"], "%.2f" % xcorr]
        with_q = self.qvalues[table]
        if with_q:
            fields += [repr(psm.q), "%.3g" % (psm.q * rng.uniform(0.5, 3.0))]
        rows = self.psm_ms3 if table == "ms3" else self.psm_rescue
        rows.append("\t".join(['"%s"' % f for f in fields] if self.quote[table] else fields))

    def psm_header(self, table):
        columns = [c for c in PSM_COLUMNS if self.qvalues[table] or c not in QVALUE_COLUMNS]
        return "\t".join(['"%s"' % c for c in columns] if self.quote[table] else columns)

    def ms1_scan(self, scan, precursors, n):
        """Envelopes of the cycle's precursors, noise kept off the m/z the isotope rescue looks for."""
        rng = self.rng
        own, avoid = [], []
        for g_mz, z, k, mode, g in precursors:
            if k:
                avoid.append(float(g_mz) + round(-float(k) / z, 5))
            if mode == "absent":
                continue
            mono = mz_of(mh_of(float(g_mz), z) - k * ISOTOPE, z)
            for i in range(min(k, 0), 5):
                if mode == "not_located" and i < k:
                    continue
                text = g_mz if i == k else "%.5f" % ((mono + i * ISOTOPE / z) * (1 + rng.uniform(-1.5, 1.5) * 1e-6))
                if g is not None and i == 0 and k:
                    g.mono_text = text
                own.append((float(text), text, g is not None and k != 0))
        kept = [(m, t) for m, t, mine in own if mine or not any(abs(m - f) / f * 1e6 <= 30 for f in avoid)]
        peaks = [(m, "%.5f" % m) for m, _ in noise_peaks(rng, n, 350.0, 1800.0, avoid, 30)] + kept
        peaks.sort()
        body = "".join(["%s %.1f\n" % (t, 1e4 + 1e6 * rng.random()) for _, t in peaks])
        self.ms1.append(("%s.%d.%d.0.dta" % (self.fraction, scan, scan), "0.00000 0\n" + body))


def manifest_of(built, settings, seed, params, noise_ms2, noise_ms3, ms1_scans):
    """The manifest: parameters, file names, the linker, counts per kind, and every group with its
    scans, roles, precursors, peptides and expected outcome."""
    groups, kinds = [], {}
    for n, g in enumerate(built):
        kinds[g.kind] = kinds.get(g.kind, 0) + 1
        groups.append({
            "id": n, "kind": g.kind, "label": g.label, "size": g.size, "decoy": g.decoy,
            "layout": "spread" if g.spread is not None else "consecutive",
            "ms1_scan": g.ms1_scan, "ms2_scan": g.ms2, "scans": [s.number for s in g.scans],
            "roles": [s.role() for s in g.scans],
            "own_precursors": ["%s %d" % (s.mz, s.hz) for s in g.scans],
            "precursor": {"mz": g.mz, "charge": g.z2, "header": g.header, "isotope_error": g.isotope},
            "peptide_a": g.a.seq, "proteins_a": g.a.accessions,
            "peptide_b": g.b.seq, "proteins_b": g.b.accessions,
            "expect": expect(g, settings)})
    return {"seed": seed, "params": params, "files": FILES, "outputs": OUTPUTS,
            "linker": {"linker_mass": LINKER_MASS, "linker_Long": LINKER_LONG, "linker_Short": LINKER_SHORT,
                       "linker_dm": LINKER_DM, "linker_deficit": LINKER_DEFICIT},
            "kinds": kinds, "ms1_scans": ms1_scans,
            "noise": {"ms2_scans": noise_ms2, "ms3_scans": noise_ms3}, "groups": groups}


def _driver(fraction):
    """The driver's arguments by function, in its order of calls; file arguments are names in the folder."""
    f = FILES
    search = {"MS2_Rescue": "YES", "MS1_file_path": f["ms1"], "MS2_file_path": f["ms2"],
              "MS3_file_path": f["ms3"], "msn_1_MS3_path": f["msn1"], "PD_result_path": f["psm_ms3"],
              "MS2_PD_result_path": f["psm_rescue"], "uniprot_dict": f["uniprot"], "linker_mass": LINKER_MASS,
              "linker_Long": LINKER_LONG, "linker_Short": LINKER_SHORT, "linker_dm": LINKER_DM,
              "linker_deficit": LINKER_DEFICIT, "linker_Long_name_SEQUEST": ARM_NAME["long"],
              "linker_Short_name_SEQUEST": ARM_NAME["short"]}
    return {
        "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf": {
            "MS2_DeisoDeconv_file_path": f["deconv"], "MS2_file_path": f["ms2"], "MS3_file_path": f["ms3"],
            "msn_1_MS3_path": f["msn1"], "spec_file": OUTPUTS["rescue_mgf"], "linker_dm": LINKER_DM,
            "linker_deficit": LINKER_DEFICIT},
        "find_XL_from_mgf": search,
        "filter_pep_pair": {"mass_dict": MASS_DICT, "mod_dict": MOD_DICT, "linker_mass": LINKER_MASS,
                            "prec_tol_ppm": PREC_TOL_PPM, "fraction": fraction},
        "filter_XL_FDR": {"FDR_cutoff": FDR_CUTOFF},
        "write_XL": {"file_path": OUTPUTS["result"]}}


PATH_ARGUMENTS = {"MS2_DeisoDeconv_file_path", "MS2_file_path", "MS3_file_path", "msn_1_MS3_path", "spec_file",
                  "MS1_file_path", "PD_result_path", "MS2_PD_result_path", "file_path"}


def driver_arguments(folder):
    """driver.json with file names made paths inside `folder` and uniprot_dict loaded."""
    folder = os.path.abspath(folder)
    with open(os.path.join(folder, FILES["driver"]), encoding="utf-8") as f:
        args = json.load(f)
    for call in args.values():
        for name, value in call.items():
            if name in PATH_ARGUMENTS:
                call[name] = os.path.join(folder, value)
            elif name == "uniprot_dict":
                with open(os.path.join(folder, value), encoding="utf-8") as u:
                    call[name] = json.load(u)
    return args


def write_all(folder, writer, proteome, manifest, fraction):
    """Every file, whole; the zip members carry a fixed date so that a seed gives the same bytes."""
    os.makedirs(folder, exist_ok=True)
    texts = {"ms2": writer.ms2, "deconv": writer.deconv, "ms3": writer.ms3, "msn1": writer.msn1}
    for key, blocks in texts.items():
        _write(folder, key, "MASS=Monoisotopic\n" + "".join(blocks))
    _write(folder, "psm_ms3", "\n".join([writer.psm_header("ms3")] + writer.psm_ms3) + "\n")
    _write(folder, "psm_rescue", "\n".join([writer.psm_header("rescue")] + writer.psm_rescue) + "\n")
    _write(folder, "uniprot", json.dumps(proteome.uniprot(), indent=0) + "\n")
    _write(folder, "driver", json.dumps(_driver(fraction), indent=1) + "\n")
    _write(folder, "manifest", json.dumps(manifest, indent=1) + "\n")
    with zipfile.ZipFile(os.path.join(folder, FILES["ms1"]), "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in writer.ms1:
            info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, text)


def _write(folder, key, text):
    with open(os.path.join(folder, FILES[key]), "w", encoding="ascii", newline="") as f:
        f.write(text)

