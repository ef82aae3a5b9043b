import os
import re
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent))
from winehelpers import BUILD_DIR, X64, Installation, WinePrefix  # noqa: E402


@pytest.fixture(scope="session")
def wine():
    """The 64-bit test prefix (WINEPREFIX from CTest): the 32-bit chainer under
    WOW64, or the 64-bit one natively."""
    return WinePrefix(os.environ.get("WINEPREFIX", BUILD_DIR / "wine" / "prefix64"), "win64")


@pytest.fixture(scope="session")
def wine32():
    """A 32-bit prefix, for what differs on 32-bit Windows."""
    if X64:
        # Wine makes a 32-bit prefix only with its 32-bit loader, and a 64-bit
        # program would not run on 32-bit Windows anyway.
        pytest.skip("32-bit Windows: not with the 64-bit build (no 32-bit Wine loader)")
    return WinePrefix(BUILD_DIR / "wine" / "e2e-32", "win32")


@pytest.fixture(scope="session", autouse=True)
def no_private_copy_left_behind(wine):
    """Every run starts from a copy of the program in a folder of its own under
    the temporary folder; whatever the run did, that folder must be gone."""
    yield
    left = sorted(p.name for p in wine.drive_c.glob("users/*/Temp/cr*"))
    assert left == [], f"private copies left behind: {left}"


def _folder_for(request):
    return re.sub(r"[^A-Za-z0-9_.-]+", "_", request.node.name)[:60]


@pytest.fixture
def install(wine, request):
    """A fresh C:\\tests\\<test name> folder with the chainer copied in as setup.exe;
    call install(exe_name=...) for another name or another folder."""
    made = []

    def make(exe_name="setup.exe", folder=None, prefix=None):
        p = prefix or wine
        where = Path(folder) if folder else p.drive_c / "tests" / _folder_for(request)
        inst = Installation(p, where, exe_name)
        made.append(inst)
        return inst

    return make
