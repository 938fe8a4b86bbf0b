import os
import pathlib

import pytest

import Vombrelle1pt0_Submission as V


@pytest.fixture
def mod():
    """The module; rebindings a test makes are undone after it."""
    saved = dict(vars(V))
    yield V
    for name in list(vars(V)):
        if name not in saved:
            delattr(V, name)
    for name, value in saved.items():
        if getattr(V, name, None) is not value:
            setattr(V, name, value)


@pytest.fixture(scope="session")
def realdata():
    return pathlib.Path(os.environ.get("VOMBRELLE_REALDATA_DIR",
                                       pathlib.Path(__file__).resolve().parents[3] / "shared" / "realdata"))
