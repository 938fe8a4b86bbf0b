#!/usr/bin/python3
"""Finds the cross-links of one or more fractions and writes the result table.

    /usr/bin/python3 examples/xl_driver.py FRACTION [FRACTION ...] [options]

For every fraction, in this order: the rescue MGF (the re-labelled MS3 spectra that a database
search turns into the rescue PSM table), the cross-link search, the precursor re-check. Then, over
all fractions together: one line per peptide pair, the decoy-based FDR cut and the result table.
Each step prints one line with its time; a summary follows.

A FRACTION is a fraction file, or a folder holding one named driver.json. A fraction file is a
JSON object holding the arguments of the module's calls by function and argument name, as
tools/make_fraction.py writes it (see examples/F1/driver.json after the example run):

    {"Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf": {"MS2_DeisoDeconv_file_path": ...},
     "find_XL_from_mgf": {"MS2_Rescue": "YES", "MS1_file_path": ..., "uniprot_dict": ..., ...},
     "filter_pep_pair": {"mass_dict": {...}, "mod_dict": {...}, "linker_mass": ...,
                         "prec_tol_ppm": ..., "fraction": "F1"},
     "filter_XL_FDR": {"FDR_cutoff": 5},
     "write_XL": {"file_path": "result.tsv"}}

File names in it are taken relative to the folder of the fraction file; "uniprot_dict" is the name
of a JSON file mapping protein accession to sequence (or that map itself). The options below
replace what the fraction files say. The result table and the FDR cut-off are shared by all
fractions: without --table or --fdr the fraction files must agree on them.

Standard library only: the script imports the module as any user script does, from where
`cmake --install` put it (or from PYTHONPATH).
"""
import argparse
import json
import math
import os
import signal
import sys
import threading
import time

MODULE = "Vombrelle1pt0_Submission"
RESCUE_MGF = "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"
SEARCH = "find_XL_from_mgf"
RECHECK = "filter_pep_pair"
FDR_CUT = "filter_XL_FDR"
TABLE = "write_XL"

# The arguments a fraction file gives, per function in the order of the positional call, each
# with the kind of value it must be (see check_value).
CALLS = {
    RESCUE_MGF: [("MS2_DeisoDeconv_file_path", "input"), ("MS2_file_path", "input"), ("MS3_file_path", "input"),
                 ("msn_1_MS3_path", "input"), ("spec_file", "output"), ("linker_dm", "mass"),
                 ("linker_deficit", "mass")],
    SEARCH: [("MS2_Rescue", "switch"), ("MS1_file_path", "input"), ("MS2_file_path", "input"),
             ("MS3_file_path", "input"), ("msn_1_MS3_path", "input"), ("PD_result_path", "input"),
             ("MS2_PD_result_path", "input"), ("uniprot_dict", "proteins"), ("linker_mass", "mass"),
             ("linker_Long", "mass"), ("linker_Short", "mass"), ("linker_dm", "mass"), ("linker_deficit", "mass"),
             ("linker_Long_name_SEQUEST", "name"), ("linker_Short_name_SEQUEST", "name")],
    RECHECK: [("mass_dict", "residues"), ("mod_dict", "atoms"), ("linker_mass", "mass"),
              ("prec_tol_ppm", "tolerance"), ("fraction", "label")],
    FDR_CUT: [("FDR_cutoff", "percent")],
    TABLE: [("file_path", "output")],
}

# Options that replace one value of a fraction: (option, metavar, help, the arguments it sets).
FRACTION_OPTIONS = [
    ("--ms1", "ZIP", "MS1 scans, a zip archive of DTA files", [(SEARCH, "MS1_file_path")]),
    ("--ms2", "MGF", "MS2 scans", [(RESCUE_MGF, "MS2_file_path"), (SEARCH, "MS2_file_path")]),
    ("--ms3", "MGF", "MS3 scans labelled with their parent's precursor",
     [(RESCUE_MGF, "MS3_file_path"), (SEARCH, "MS3_file_path")]),
    ("--msn1", "MGF", "the same MS3 scans labelled with their own precursor",
     [(RESCUE_MGF, "msn_1_MS3_path"), (SEARCH, "msn_1_MS3_path")]),
    ("--deconv", "MGF", "deisotoped, charge-deconvoluted MS2 scans",
     [(RESCUE_MGF, "MS2_DeisoDeconv_file_path")]),
    ("--psm", "TSV", "PSM table of the MS3 scans' database search", [(SEARCH, "PD_result_path")]),
    ("--rescue-psm", "TSV", "PSM table of the rescue spectra's database search", [(SEARCH, "MS2_PD_result_path")]),
    ("--label", "TEXT", "fraction label, written in the table's Fraction column", [(RECHECK, "fraction")]),
    ("--rescue-mgf", "MGF", "where to write the rescue MGF", [(RESCUE_MGF, "spec_file")]),
]
SHARED_OPTIONS = [
    ("--uniprot", "JSON", "protein accession -> sequence map", [(SEARCH, "uniprot_dict")]),
    ("--ms2-rescue", "YES|NO", "rescue precursor mismatches from the rescue PSM table", [(SEARCH, "MS2_Rescue")]),
    ("--prec-tol-ppm", "PPM", "precursor re-check tolerance", [(RECHECK, "prec_tol_ppm")]),
]


class InputError(Exception):
    """A bad path or parameter, found before or while running; reported in one line."""


class StepError(Exception):
    """A call of the module failed on its input; reported in one line."""


class Terminated(KeyboardInterrupt):
    """SIGTERM, raised where Ctrl-C would raise KeyboardInterrupt, so that a call stops as it does
    for Ctrl-C: without leaving a half-written output file or its temporary behind."""


# ---------------------------------------------------------------------------------------------
# Fractions and their checks

class Fraction:
    """One fraction's arguments by function, checked, with file names made absolute."""

    def __init__(self, source):
        self.source = source          # the fraction file
        self.args = {}                # function -> argument -> value
        self.names = {}               # (function, argument) -> how a message names it
        self.proteins_file = None     # the protein map's file, when the map was given as one

    def name(self, call, arg):
        return self.names.get((call, arg), "%s: %s.%s" % (self.source, call, arg))

    @property
    def label(self):
        return "%s" % (self.args[RECHECK]["fraction"],)

    def positional(self, call):
        return [self.args[call][arg] for arg, _ in CALLS[call]]


def read_fraction_file(path):
    if os.path.isdir(path):
        path = os.path.join(path, "driver.json")
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except FileNotFoundError:
        raise InputError("%s: no such fraction file" % path)
    except (OSError, UnicodeDecodeError) as e:
        raise InputError("%s: cannot be read (%s)" % (path, one_line(e)))
    except ValueError as e:  # not JSON, or a number of more digits than an int is read from
        raise InputError("%s: not a JSON fraction file (%s)" % (path, one_line(e)))
    if not isinstance(data, dict):
        raise InputError("%s: not a fraction file (a JSON object of calls is expected)" % path)
    fraction = Fraction(path)
    folder = os.path.dirname(os.path.abspath(path))
    for call, params in CALLS.items():
        given = data.get(call)
        if not isinstance(given, dict):
            raise InputError("%s: %s is missing (an object of its arguments)" % (path, call))
        wanted = dict(params)
        for arg in given:
            if arg not in wanted:
                raise InputError("%s: %s.%s is no argument of the driver's call" % (path, call, arg))
        fraction.args[call] = {}
        for arg, kind in params:
            if arg not in given:
                raise InputError("%s: %s.%s is missing" % (path, call, arg))
            value = given[arg]
            if kind in ("input", "output", "proteins") and isinstance(value, str):
                value = os.path.join(folder, value)
            fraction.args[call][arg] = value
    for call in data:
        if call not in CALLS:
            raise InputError("%s: %s is no call of the driver" % (path, call))
    return fraction


def set_option(fraction, option, targets, value, kind):
    if kind in ("input", "output", "proteins"):
        value = os.path.abspath(value)
    for call, arg in targets:
        fraction.args[call][arg] = value
        fraction.names[(call, arg)] = option


# The module computes with ints of 64 bits and refuses a larger one where a call first uses it,
# perhaps after earlier calls have written their files.
INT_LIMIT = 2 ** 63


def too_large(value):
    return isinstance(value, int) and not isinstance(value, bool) and not -INT_LIMIT <= value < INT_LIMIT


def is_number(value):
    if isinstance(value, bool):
        return False
    if isinstance(value, int):
        return not too_large(value)
    return isinstance(value, float) and math.isfinite(value)


def load_proteins(path, name):
    try:
        with open(path, encoding="utf-8") as f:
            proteins = json.load(f)
    except FileNotFoundError:
        raise InputError("%s: no such file: %s" % (name, path))
    except (OSError, UnicodeDecodeError) as e:
        raise InputError("%s: %s cannot be read (%s)" % (name, path, one_line(e)))
    except ValueError as e:
        raise InputError("%s: %s is not JSON (%s)" % (name, path, one_line(e)))
    return proteins


def check_value(kind, value, name):
    """The value a call is given, or InputError naming the parameter."""
    def bad(what):
        raise InputError("%s: %s (got %s)" % (name, what, json.dumps(value)[:60]))

    if kind in ("mass", "tolerance", "percent") and too_large(value):
        bad("is an integer beyond 64 bits, which the module does not take")

    if kind == "input":
        if not isinstance(value, str):
            bad("must be a file name")
        if not os.path.exists(value):
            raise InputError("%s: no such file: %s" % (name, value))
        if os.path.isdir(value):
            raise InputError("%s: is a folder, not a file: %s" % (name, value))
        if not os.access(value, os.R_OK):
            raise InputError("%s: cannot be read: %s" % (name, value))
    elif kind == "output":
        if not isinstance(value, str):
            bad("must be a file name")
        folder = os.path.dirname(value)
        if not os.path.isdir(folder):
            raise InputError("%s: no such folder: %s" % (name, folder))
        if os.path.isdir(value):
            raise InputError("%s: is a folder, not a file: %s" % (name, value))
        if not os.access(folder, os.W_OK):
            raise InputError("%s: folder cannot be written: %s" % (name, folder))
    elif kind == "mass":
        if not is_number(value):
            bad("must be a number in Da")
    elif kind == "tolerance":
        if not is_number(value) or value < 0:
            bad("must be a number of ppm, 0 or more")
    elif kind == "percent":
        if not is_number(value) or not 0 <= value <= 100:
            bad("must be a percentage from 0 to 100")
    elif kind == "switch":
        if value not in ("YES", "NO"):
            bad('must be "YES" or "NO"')
    elif kind == "name":
        if not isinstance(value, str) or not value:
            bad("must be a modification name")
    elif kind == "label":
        # The label ends every record's key and fills the table's last column: a tab or line
        # break in it would shift or split the table's columns, an empty one drop the column.
        if isinstance(value, bool) or not isinstance(value, (str, int, float)):
            bad("must be a text or a number")
        text = "%s" % (value,)
        if not text.strip() or any(c in text for c in "\t\r\n"):
            bad("must be a non-empty text without tabs or line breaks")
    elif kind == "residues":
        if not isinstance(value, dict) or not value:
            bad("must be a map of residue letter to mass")
        for letter, mass in value.items():
            if len(letter) != 1 or not is_number(mass):
                raise InputError("%s: %s: each entry must be one letter and its mass in Da%s"
                                 % (name, json.dumps(letter), " (an int within 64 bits)" if too_large(mass) else ""))
    elif kind == "atoms":
        if not isinstance(value, dict):
            bad('must be a map holding "mm_H" and "mm_O"')
        for atom in ("mm_H", "mm_O"):
            if not is_number(value.get(atom)):
                raise InputError('%s: "%s" must be a mass in Da%s'
                                 % (name, atom, " (an int within 64 bits)" if too_large(value.get(atom)) else ""))
    elif kind == "proteins":
        if isinstance(value, str):
            value = load_proteins(value, name)
        if not isinstance(value, dict) or not all(isinstance(k, str) and isinstance(v, str) for k, v in value.items()):
            raise InputError("%s: must map protein accessions to sequences" % name)
    return value


def check_fraction(fraction):
    for call, params in CALLS.items():
        for arg, kind in params:
            name = fraction.name(call, arg)
            value = fraction.args[call][arg]
            if kind == "proteins" and isinstance(value, str):
                fraction.proteins_file = (value, name)
            fraction.args[call][arg] = check_value(kind, value, name)


def same_file(a, b):
    return os.path.realpath(a) == os.path.realpath(b) or (
        os.path.exists(a) and os.path.exists(b) and os.path.samefile(a, b))


def check_outputs(fractions, table_path):
    """No output may replace a file the driver reads (an input of a call, a fraction file, a
    protein map), and no two outputs may be one file."""
    outputs = [(f.args[RESCUE_MGF]["spec_file"], f.name(RESCUE_MGF, "spec_file")) for f in fractions]
    outputs.append(table_path)
    inputs = [(f.args[call][arg], f.name(call, arg)) for f in fractions
              for call, params in CALLS.items() for arg, kind in params if kind == "input"]
    inputs += [(f.source, "a fraction file") for f in fractions]
    inputs += [f.proteins_file for f in fractions if f.proteins_file is not None]
    for i, (path, name) in enumerate(outputs):
        for other, other_name in inputs + outputs[:i]:
            if same_file(path, other):
                raise InputError("%s: %s is also %s" % (name, path, other_name))


def agreed(fractions, call, arg, option, value):
    """A value shared by all fractions: the option's, else the one the fraction files agree on."""
    if value is not None:
        return value, option
    values = {json.dumps(f.args[call][arg], sort_keys=True) for f in fractions}
    if len(values) > 1:
        raise InputError("the fraction files give different %s.%s: give %s" % (call, arg, option))
    return fractions[0].args[call][arg], fractions[0].name(call, arg)


def number_option(text):
    for convert in (int, float):
        try:
            return convert(text)
        except ValueError:
            pass
    raise argparse.ArgumentTypeError("not a number: %r" % text)


def one_line(error):
    return " ".join(str(error).split())


# ---------------------------------------------------------------------------------------------
# The run

def score_of(line):
    return float(line.split("\t", 1)[0])


def fdr_estimate(V, lines, passed, cutoff):
    """The estimate with which the FDR cut let its list pass, or None.

    The cut keeps the target lines of the longest leading part of the best-first list whose
    estimate is at or below the cut-off, and returns those lines, not the estimate. The lines of
    XL_recurrence_score are one per peptide pair, so that part holds exactly len(passed) target
    lines. Among the leading parts holding that many, the cut took the longest that passes: this
    looks for it from the longest down, asking the module for a few estimates instead of
    repeating the cut."""
    if not passed:
        return None
    ranked = sorted(lines, key=score_of, reverse=True)  # stable, as the cut sorts
    _, targets = V.FDR_XL_list(ranked)
    targets = set(targets)
    at = [i for i, line in enumerate(ranked) if line.strip() in targets]
    m = len(passed)
    if len(at) < m:
        return None
    longest = at[m] if m < len(at) else len(ranked)
    for k in range(longest, at[m - 1], -1):
        fdr, kept = V.FDR_XL_list(ranked[:k])
        if fdr <= cutoff and len(kept) == m:
            return fdr
    return None


def count_spectra(path):
    with open(path, "rb") as f:
        return sum(1 for line in f if line.startswith(b"BEGIN IONS"))


class Run:
    """Calls the module in the driver's order and reports each step."""

    def __init__(self, V, out):
        self.V = V
        self.out = out

    def step(self, title, function, *args):
        start = time.perf_counter()
        try:
            result = getattr(self.V, function)(*args)
        except KeyboardInterrupt:
            raise
        except Exception as e:
            notes = "; ".join(getattr(e, "__notes__", ()))
            raise StepError("%s: %s: %s%s" % (title, type(e).__name__, one_line(e),
                                              " (%s)" % notes if notes else ""))
        return result, time.perf_counter() - start

    def report(self, title, seconds, detail):
        print("%-28s %8.3f s   %s" % (title, seconds, detail), file=self.out, flush=True)

    def __call__(self, fractions, fdr_cutoff, table_path):
        found, kept, merged, rescue = {}, {}, {}, {}
        for f in fractions:
            label = f.label
            spec_file = f.args[RESCUE_MGF]["spec_file"]
            _, t = self.step("%s rescue MGF" % label, RESCUE_MGF, *f.positional(RESCUE_MGF))
            rescue[label] = (spec_file, count_spectra(spec_file))
            self.report("%s rescue MGF" % label, t, "%d spectra written to %s" % (rescue[label][1], spec_file))

            records, t = self.step("%s search" % label, SEARCH, *f.positional(SEARCH))
            found[label] = len(records)
            self.report("%s search" % label, t, "%d cross-link records" % len(records))

            tagged, t = self.step("%s precursor re-check" % label, RECHECK, records, *f.positional(RECHECK))
            del records
            kept[label] = len(tagged)
            merged.update(tagged)  # the label ends every key, so fractions never collide
            self.report("%s precursor re-check" % label, t, "%d records kept" % len(tagged))

        lines, t = self.step("recurrence", "XL_recurrence_score", merged)
        self.report("recurrence", t, "%d peptide pairs" % len(lines))

        passed, t = self.step("FDR cut", FDR_CUT, lines, fdr_cutoff)
        estimate = fdr_estimate(self.V, lines, passed, fdr_cutoff)
        self.report("FDR cut", t, "%d lines at %s%%" % (len(passed), fdr_cutoff))

        _, t = self.step("result table", TABLE, passed, table_path)
        self.report("result table", t, table_path)
        return {"found": found, "kept": kept, "pairs": len(lines), "passed": len(passed),
                "estimate": estimate, "cutoff": fdr_cutoff, "table": table_path, "rescue": rescue}


def print_summary(s, out):
    def total(counts):
        text = "%d" % sum(counts.values())
        if len(counts) > 1:
            text += " (%s)" % ", ".join("%s %d" % kv for kv in counts.items())
        return text

    if s["estimate"] is not None:
        estimate = "estimated FDR %s%%" % s["estimate"]
    elif s["passed"]:
        estimate = "estimate not known"
    else:
        estimate = "no shortened list reached %s%%" % s["cutoff"]
    rows = [("records found", total(s["found"])),
            ("kept by the re-check", total(s["kept"])),
            ("peptide pairs", "%d" % s["pairs"]),
            ("passing the FDR cut", "%d lines at %s%% (%s)" % (s["passed"], s["cutoff"], estimate)),
            ("result table", s["table"])]
    rows += [("rescue MGF %s" % label, "%s (%d spectra)" % spec) for label, spec in s["rescue"].items()]
    print("\nSummary", file=out)
    for key, value in rows:
        print("  %-22s %s" % (key, value), file=out)


# ---------------------------------------------------------------------------------------------
# Command line

class Parser(argparse.ArgumentParser):
    def error(self, message):
        # One line, as every other error of the driver.
        self.exit(2, "%s: error: %s (see --help)\n" % (self.prog, one_line(message)))


def parser():
    p = Parser(prog="xl_driver.py",
               description=__doc__.split("\n\n")[0] + " See the top of this script for the fraction file.",
               epilog="Example: xl_driver.py examples/F1 --fdr 1 --table F1_1pct.tsv")
    p.add_argument("fractions", nargs="+", metavar="FRACTION",
                   help="a fraction file (JSON, as tools/make_fraction.py writes driver.json) or its folder")
    one = p.add_argument_group("one fraction's files and label (only with a single FRACTION)")
    for option, metavar, text, _ in FRACTION_OPTIONS:
        one.add_argument(option, metavar=metavar, help=text)
    every = p.add_argument_group("for every fraction")
    for option, metavar, text, _ in SHARED_OPTIONS:
        kwargs = {"choices": ["YES", "NO"]} if option == "--ms2-rescue" else {}
        if option == "--prec-tol-ppm":
            kwargs = {"type": number_option}
        every.add_argument(option, metavar=metavar, help=text, **kwargs)
    every.add_argument("--fdr", type=number_option, metavar="PERCENT", help="FDR cut-off in percent")
    every.add_argument("--table", metavar="TSV", help="where to write the result table")
    return p


def option_dest(option):
    return option.lstrip("-").replace("-", "_")


def kind_of(call, arg):
    return dict(CALLS[call])[arg]


def prepare(a):
    """The checked fractions, the FDR cut-off and the table path."""
    fractions = [read_fraction_file(path) for path in a.fractions]
    for option, _, _, targets in FRACTION_OPTIONS:
        value = getattr(a, option_dest(option))
        if value is None:
            continue
        if len(fractions) > 1:
            raise InputError("%s: only with a single fraction; put it in each fraction file" % option)
        set_option(fractions[0], option, targets, value, kind_of(*targets[0]))
    for option, _, _, targets in SHARED_OPTIONS:
        value = getattr(a, option_dest(option))
        if value is not None:
            for f in fractions:
                set_option(f, option, targets, value, kind_of(*targets[0]))
    for f in fractions:
        check_fraction(f)
    labels = [f.label for f in fractions]
    for i, label in enumerate(labels):
        if label in labels[:i]:
            raise InputError("%s: the label %s is also that of %s" % (
                fractions[i].name(RECHECK, "fraction"), label, fractions[labels.index(label)].source))
    cutoff, name = agreed(fractions, FDR_CUT, "FDR_cutoff", "--fdr", a.fdr)
    cutoff = check_value("percent", cutoff, name)
    table, name = agreed(fractions, TABLE, "file_path", "--table",
                         None if a.table is None else os.path.abspath(a.table))
    table = check_value("output", table, name)
    check_outputs(fractions, (table, name))
    return fractions, cutoff, table


def import_module():
    try:
        import importlib
        return importlib.import_module(MODULE)
    except ImportError as e:
        raise InputError("cannot import %s (%s): install it with `cmake --install build`, or run with "
                         "PYTHONPATH=build" % (MODULE, one_line(e)))


def terminate(signum, frame):
    raise Terminated()


def main(argv=None, out=None):
    out = out or sys.stdout
    p = parser()
    a = p.parse_args(argv)
    # SIGTERM (a batch system's cancel, `kill`) would otherwise end the process where it stands,
    # in the middle of writing an output file. Only the main thread may set a handler.
    handles_sigterm = threading.current_thread() is threading.main_thread()
    if handles_sigterm:
        previous = signal.signal(signal.SIGTERM, terminate)
    try:
        fractions, cutoff, table = prepare(a)
        V = import_module()
        print("module %s" % V.__file__, file=out)
        summary = Run(V, out)(fractions, cutoff, table)
    except (InputError, StepError) as e:
        out.flush()
        print("%s: error: %s" % (p.prog, e), file=sys.stderr)
        return 2 if isinstance(e, InputError) else 1
    except Terminated:
        print("%s: terminated" % p.prog, file=sys.stderr)
        return 128 + signal.SIGTERM
    except KeyboardInterrupt:
        print("%s: interrupted" % p.prog, file=sys.stderr)
        return 130
    finally:
        if handles_sigterm:
            signal.signal(signal.SIGTERM, previous)
    print_summary(summary, out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
