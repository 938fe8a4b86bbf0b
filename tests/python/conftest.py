import json
import pathlib
import sys

import pytest

import Vombrelle1pt0_Submission as V

TOOLS = pathlib.Path(__file__).resolve().parents[2] / "tools"
sys.path.insert(0, str(TOOLS))
import make_fraction  # noqa: E402

# Peak counts that keep a generated fraction small and fast; every kind's peaks are still there.
TINY_PEAKS = dict(ms1_peaks=40, ms2_peaks=30, deconv_peaks=10, ms3_peaks=8)


@pytest.fixture
def mod():
    """The module; rebindings a test makes are undone after it."""
    saved = dict(vars(V))
    yield V
    namespace = vars(V)
    if list(namespace.items()) != list(saved.items()):
        # Restore bindings and their order (a deleted name re-added would go last).
        namespace.clear()
        namespace.update(saved)


@pytest.fixture(scope="session")
def realdata():
    """The folder of real files from public repositories (tests/data; its README names each source)."""
    return pathlib.Path(__file__).resolve().parents[1] / "data"


class Fraction:
    """A generated fraction: its folder, manifest and the driver's arguments by function."""

    def __init__(self, folder, manifest):
        self.folder = folder
        self.manifest = manifest

    def arguments(self, function="find_XL_from_mgf"):
        """A new dict of the function's arguments by name, paths resolved."""
        return make_fraction.driver_arguments(self.folder)[function]

    def groups(self, *kinds):
        return [g for g in self.manifest["groups"] if not kinds or g["kind"] in kinds]


@pytest.fixture(scope="session")
def fraction_factory(tmp_path_factory):
    """make(**params): a fraction from tools/make_fraction.py with small peak counts, made once per
    set of parameters (groups: a total or a dict kind -> count) for the whole session."""
    made = {}

    def make(**params):
        key = json.dumps(params, sort_keys=True)
        if key not in made:
            folder = tmp_path_factory.mktemp("fraction")
            made[key] = Fraction(folder, make_fraction.make_fraction(folder, **{**TINY_PEAKS, **params}))
        return made[key]
    return make
