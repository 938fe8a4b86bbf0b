"""rescale_qval, and the PSM readers calling each other by name through the module namespace."""
import decimal
import fractions
import random

import pytest

from helpers import psm as ref
from helpers.outcome import outcome, shape
from helpers.psm import LINKER, UNIPROT, header, random_table, row, write


@pytest.mark.parametrize("qval, expected", [
    (0, 1.0), (0.01, 0.99), (1, 0.0), (1.2, 1 - 1.2), (-0.1, 1.1), (True, 0.0),
    (fractions.Fraction(1, 4), fractions.Fraction(3, 4)), (decimal.Decimal("0.01"), decimal.Decimal("0.99")),
    ("0.1", ("error", "TypeError", "unsupported operand type(s) for -: 'str' and 'int'")),
])
def test_rescale_qval_uses_the_hosts_arithmetic(mod, qval, expected):
    got = outcome(lambda: mod.rescale_qval(qval))
    assert got == (expected if isinstance(expected, tuple) else ("ok", shape(expected)))


def test_rebound_rescale_is_called_only_for_a_q_value_column_also_from_the_wrapper(mod, tmp_path):
    calls = []
    mod.rescale_qval = lambda q: calls.append(q) or ("scaled", q)
    mod.read_PD_PSM_results([header(), row()], {}, *LINKER)
    assert calls == []
    tables = mod.read_PD_PSM_results_tsv_wrapper(write(tmp_path, header(qval=True) + row(qval="0.5")), {}, *LINKER)
    assert calls == [0.5, 0.5, 0.5] and tables[0][10]["AkDEFR"]["qval"] == ("scaled", 0.5)


@pytest.mark.parametrize("seed", range(40))
def test_rebound_rescale_calls_match_three_walk_reading(mod, seed):
    lines = random_table(random.Random(seed), with_qval=True, faults=True)
    got, want = [], []
    logger = lambda log: lambda q: log.append(q) or -1 / q  # noqa: E731 - a q-value of 0 fails the call
    mod.rescale_qval = logger(got)
    args = (dict(UNIPROT), *LINKER)
    assert outcome(lambda: mod.read_PD_PSM_results(lines, *args)) == \
        outcome(lambda: ref.read_lines(lines, *args, rescale=logger(want)))
    assert got == want


def test_rescale_rebound_back_to_the_module_own_mid_read(mod):
    own = mod.rescale_qval
    mod.rescale_qval = lambda q: setattr(mod, "rescale_qval", own) or "first"
    high, med, _ = mod.read_PD_PSM_results([header(qval=True), row(qval="0.25"), row(scan="11", qval="0.5")], {}, *LINKER)
    assert high[10]["AkDEFR"]["qval"] == "first" and high[11]["AkDEFR"]["qval"] == 0.5
    assert med[10]["AkDEFR"]["qval"] == 0.75


def test_wrapper_hands_the_file_lines_to_a_rebound_reader(mod, tmp_path):
    seen, uniprot, result = [], {}, object()  # whatever it returns is returned unchanged
    mod.read_PD_PSM_results = lambda *args: seen.append(args) or result
    path = write(tmp_path, '"a"\t"b"\r\nc"d\rlast')
    assert mod.read_PD_PSM_results_tsv_wrapper(path, uniprot, *LINKER) is result
    (lines, got_uniprot, *linker), = seen
    assert lines == ["a\tb\n", "cd\n", "last"] and got_uniprot is uniprot and tuple(linker) == LINKER


def test_deleted_names_fail_only_when_called(mod, tmp_path):
    del mod.rescale_qval
    assert 10 in mod.read_PD_PSM_results([header(), row()], {}, *LINKER)[0]
    with pytest.raises(NameError, match="^name 'rescale_qval' is not defined$"):
        mod.read_PD_PSM_results([header(qval=True), row(qval="0.1")], {}, *LINKER)
    del mod.read_PD_PSM_results
    with pytest.raises(FileNotFoundError):  # the file is read before the call
        mod.read_PD_PSM_results_tsv_wrapper(str(tmp_path / "missing.txt"), {}, *LINKER)
    with pytest.raises(NameError, match="^name 'read_PD_PSM_results' is not defined$"):
        mod.read_PD_PSM_results_tsv_wrapper(write(tmp_path, header()), {}, *LINKER)


@pytest.mark.parametrize("lines, linker, error, message", [
    ([header(), row(), 7], LINKER, AttributeError, "'int' object has no attribute 'strip'"),
    ([header(), b"x"], LINKER, TypeError, "a bytes-like object is required, not 'str'"),
    ({}, LINKER, KeyError, "0"),
    # Linker arguments fail where a row uses them, after the row has been split.
    ([header(), row()], (None, 1.0, "L", "S"), TypeError, "unsupported operand type(s) for *: 'int' and 'NoneType'"),
    ([header(), row()], (1.0, "x", "L", "S"), TypeError, "unsupported operand type(s) for -: 'float' and 'str'"),
    ([header(), row()], (1.0, -2 ** 64, "L", "S"), OverflowError, "int too large to convert to a 64-bit integer"),
    ([header(), row()], (1.0, 1.0, ("a", "b"), "S"), TypeError, "not all arguments converted during string formatting"),
    ([header(), "\t".join(row().split("\t")[:7]) + "\n"], (1.0, 1.0, ("a", "b"), "S"), IndexError,
     "list index out of range"),
])
def test_unusable_arguments_fail_where_the_host_meets_them(mod, lines, linker, error, message):
    with pytest.raises(error) as e:
        mod.read_PD_PSM_results(lines, {}, *linker)
    assert str(e.value) == message
    # Any sequence of lines serves, and a row the tables refuse never touches the linker.
    assert mod.read_PD_PSM_results((header(), row(seq="PEPTIDER")), {}, *linker)[0] == {}
