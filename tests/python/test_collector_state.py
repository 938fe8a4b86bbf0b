"""Functions that build large result tables pause the cyclic collector and leave it as found."""
import gc

import pytest

from helpers.readers import READERS


@pytest.mark.parametrize("enabled", [True, False])
@pytest.mark.parametrize("function, make, call", READERS)
def test_collector_state_is_restored(mod, tmp_path, function, make, call, enabled):
    make(tmp_path / "input")
    was = gc.isenabled()
    (gc.enable if enabled else gc.disable)()
    try:
        assert call(mod, str(tmp_path / "input")) and gc.isenabled() is enabled
    finally:
        (gc.enable if was else gc.disable)()
