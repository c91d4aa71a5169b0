"""Each test works on a fresh configuration file.

The library is copied, from BRELLOX_LIBRARY, into a folder of the session's
own, where it writes a new Svr_Config.CFG beside itself when it loads; that
file is the pristine one each test copies, and the library's own file (path
None) is exercised too without touching the build's.
"""
import os
import shutil

import pytest


@pytest.fixture(scope="session")
def pristine(tmp_path_factory):
    built = os.environ.get("BRELLOX_LIBRARY")
    if not built:
        pytest.fail("set BRELLOX_LIBRARY to the built library's path")
    folder = tmp_path_factory.mktemp("library")
    copy = folder / os.path.basename(built)
    shutil.copy(built, copy)
    os.environ["BRELLOX_LIBRARY"] = str(copy)
    import brellox._library
    brellox._library.library()
    own = folder / "Svr_Config.CFG"
    assert own.exists(), "the library wrote no file beside itself"
    saved = tmp_path_factory.mktemp("pristine") / "Svr_Config.CFG"
    shutil.copy(own, saved)
    return saved


@pytest.fixture
def config(pristine, tmp_path):
    import brellox
    path = tmp_path / "Svr_Config.CFG"
    shutil.copy(pristine, path)
    return brellox.ConfigFile(str(path))
