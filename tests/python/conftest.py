import pathlib

import pytest

import Vombrelle1pt0_Submission as V


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
