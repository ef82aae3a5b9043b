"""Running the real chainer under Wine: prefixes, registry, configuration files."""
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("CHAINER_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BUILD_DIR = Path(os.environ.get("CHAINER_BUILD_DIR", SOURCE_DIR / "build"))
CHAINER_EXE = BUILD_DIR / "chainer.exe"
TOOLS_DIR = BUILD_DIR / "tools"
# The loader for the build under test: "wine" for the 32-bit build, Wine's
# 64-bit loader for the 64-bit one (CTest passes it; see scripts/wine-env.sh).
WINE = os.environ.get("CHAINER_WINE", "wine")
# True when the programs under test are 64-bit: nothing 32-bit can be run then.
X64 = os.environ.get("CHAINER_ARCH", "x86") == "x64"

BOM = b"\xff\xfe"


def encode_ini(text, bom=True, line_end="\r\n"):
    """A configuration as the chainer reads it: UTF-16LE, by default with the
    byte-order mark and CR LF line ends. text uses "\n" for line ends."""
    data = text.replace("\r\n", "\n").replace("\n", line_end).encode("utf-16-le")
    return (BOM if bom else b"") + data


def ini_text(sections):
    """sections: list of (name, list of (key, value)) in file order; duplicates allowed."""
    lines = []
    for name, entries in sections:
        lines.append(f"[{name}]")
        lines.extend(f"{key}={value}" for key, value in entries)
    return "\n".join(lines) + "\n"


class WinePrefix:
    """One Wine prefix with a persistent server; everything runs with WINEDEBUG=-all."""

    def __init__(self, path, arch="win64"):
        self.path = Path(path)
        self.arch = arch
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=str(self.path), WINEDEBUG="-all", WINEARCH=arch,
                        WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=":99", CHAINER_WINE=WINE)
        if WINE != "wine":
            self.env["WINELOADER"] = WINE
        self._ensure()

    def _ensure(self):
        script = (f'. "{SOURCE_DIR}/scripts/wine-env.sh"; chainer_ensure_display; '
                  f'chainer_ensure_prefix "{self.path}" {self.arch}')
        subprocess.run(["bash", "-c", script], env=self.env, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    # Our window helpers (answer_box, window_probe) write to a file, not a pipe:
    # the first program that looks for a window starts Wine's desktop process,
    # which inherits that program's handles and lives as long as any other
    # program of the prefix runs, so a pipe would stay open until then.
    def start_gui_tool(self, tool, *args):
        """Starts a helper; returns (process, output file) for finish_gui_tool."""
        out = tempfile.TemporaryFile()
        proc = subprocess.Popen([WINE, TOOLS_DIR / tool, *map(str, args)], env=self.env,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        return proc, out

    @staticmethod
    def finish_gui_tool(started, timeout=90):
        """Waits for a started helper: (exit code, its output with LF line ends)."""
        proc, out = started
        try:
            code = proc.wait(timeout=timeout)
        finally:
            proc.kill()
        out.seek(0)
        text = out.read().decode("utf-8", "replace").replace("\r", "")
        out.close()
        return code, text

    def run_gui_tool(self, tool, *args, timeout=90):
        return self.finish_gui_tool(self.start_gui_tool(tool, *args), timeout)

    @property
    def drive_c(self):
        return self.path / "drive_c"

    def to_windows(self, unix_path):
        """C:\\... for paths inside drive_c, Z:\\... for anything else."""
        p = Path(unix_path).resolve()
        try:
            rel = p.relative_to(self.drive_c.resolve())
            return "C:\\" + str(rel).replace("/", "\\") if str(rel) != "." else "C:\\"
        except ValueError:
            return "Z:" + str(p).replace("/", "\\")

    def to_unix(self, windows_path):
        drive, rest = windows_path[0].lower(), windows_path[3:].replace("\\", "/")
        if drive == "c":
            return self.drive_c / rest
        if drive == "z":
            return Path("/") / rest
        raise ValueError(windows_path)

    def wine(self, *args, timeout=120, check=False, input_bytes=None):
        return subprocess.run([WINE, *map(str, args)], env=self.env, timeout=timeout,
                              input=input_bytes, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, check=check)

    def run_exit_code(self, windows_exe, cwd=None, timeout=120, arguments=None):
        """Starts a Windows program (arguments: text appended to its command
        line), waits, and returns its full 32-bit signed exit code."""
        args = [TOOLS_DIR / "exitcode.exe", windows_exe]
        if cwd or arguments:
            args += [cwd or "-"] + ([arguments] if arguments else [])
        proc = self.wine(*args, timeout=timeout)
        out = proc.stdout.decode("ascii", "replace").strip().splitlines()
        if not out or not re.fullmatch(r"-?\d+", out[-1]):
            raise RuntimeError(f"no exit code from {windows_exe}: {proc.stdout!r} {proc.stderr!r}")
        return int(out[-1])

    # Registry, through Wine's own reg.exe (the real registry of the prefix).
    def reg_add(self, key, name, value, kind="REG_SZ", view64=True):
        args = ["reg", "add", key, "/f", "/t", kind, "/d", str(value)]
        args += ["/ve"] if name is None else ["/v", name]
        args += ["/reg:64" if view64 else "/reg:32"]
        self.wine(*args, check=True)

    def reg_delete(self, key, name=None, view64=True):
        args = ["reg", "delete", key, "/f"] + ([] if name is None else ["/v", name])
        args += ["/reg:64" if view64 else "/reg:32"]
        # reg.exe has been seen to leave a value in place on a loaded machine,
        # and a test that restores the registry must not leave it changed.
        for _ in range(3):
            self.wine(*args)
            if name is None or self.reg_query(key, name, view64) is None:
                return

    def reg_query(self, key, name=None, view64=True):
        """The value's data as reg.exe prints it, or None when key or value is missing."""
        args = ["reg", "query", key] + (["/ve"] if name is None else ["/v", name])
        args += ["/reg:64" if view64 else "/reg:32"]
        proc = self.wine(*args)
        if proc.returncode != 0:
            # reg.exe has been seen to fail a query of a value just written
            # on a loaded machine: one more look before calling it missing.
            proc = self.wine(*args)
            if proc.returncode != 0:
                return None
        for line in proc.stdout.decode("utf-8", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def key_exists(self, key, view64=True):
        return self.wine("reg", "query", key, "/reg:64" if view64 else "/reg:32").returncode == 0


class Installation:
    """A folder in the prefix holding a copy of the chainer and its configuration."""

    def __init__(self, prefix, folder, exe_name="setup.exe"):
        self.prefix = prefix
        self.dir = Path(folder)
        if self.dir.exists():
            shutil.rmtree(self.dir)
        self.dir.mkdir(parents=True)
        self.exe = self.dir / exe_name
        shutil.copyfile(CHAINER_EXE, self.exe)

    @property
    def win_exe(self):
        return self.prefix.to_windows(self.exe)

    @property
    def win_dir(self):
        return self.prefix.to_windows(self.dir)

    @property
    def ini(self):
        stem = self.exe.name.rsplit(".", 1)[0] if "." in self.exe.name else self.exe.name
        return self.dir / (stem + ".ini")

    def write_ini(self, content, bom=True, line_end="\r\n"):
        """content: text (with "\n" line ends), a list of sections, or raw bytes."""
        if isinstance(content, list):
            content = ini_text(content)
        data = content if isinstance(content, bytes) else encode_ini(content, bom, line_end)
        self.ini.write_bytes(data)
        return self.ini

    def run(self, timeout=120, arguments=None):
        return self.prefix.run_exit_code(self.win_exe, timeout=timeout, arguments=arguments)

    def start(self):
        """Starts the chainer without waiting; returns the Popen of the exit-code reporter."""
        return subprocess.Popen([WINE, TOOLS_DIR / "exitcode.exe", self.win_exe],
                                env=self.prefix.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)


def wait_for_file(path, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if Path(path).exists():
            return True
        time.sleep(0.05)
    return False


def files_under(root):
    """Every file below root, as relative POSIX paths (for "nothing written" checks)."""
    root = Path(root)
    return {str(p.relative_to(root)) for p in root.rglob("*") if p.is_file() or p.is_symlink()}


LOG_LINE = re.compile(r"^\d{4}-\d{2}-\d{2} \d{2}-\d{2}-\d{2}-(.*)$")


def log_events(path):
    """The texts of a log's time-stamped lines, in order (headers left out)."""
    text = Path(path).read_bytes().decode("utf-16-le").lstrip("\ufeff")
    events = []
    for line in text.split("\r\n"):
        match = LOG_LINE.match(line)
        if match:
            events.append(match.group(1))
    return events


SEAMS_EXE = BUILD_DIR / "tests" / "chainer_seams.exe"
TEST_DATA = BUILD_DIR / "test-data"


def stripped_seams(dest):
    """The test build without symbols, as the product is linked: a bundle goes
    after the image, where the unstripped build keeps its symbol table. The
    unwind section is renamed to the 8 characters the linker gives it, or
    strip keeps its long name in a string table after the image."""
    prefix = "x86_64-w64-mingw32-" if X64 else "i686-w64-mingw32-"
    subprocess.run([prefix + "objcopy", "--strip-all", "--rename-section",
                    ".eh_frame=.eh_fram", str(SEAMS_EXE), str(dest)], check=True)
    return dest
