"""What a run leaves behind: the files the configuration names, its own
configuration file, emptied folders, and the hand-over of the executable and
its folders to the package's PowerShell script (a stand-in records the call)."""
import shutil

import pytest

from winehelpers import TOOLS_DIR, X64, wait_for_file


@pytest.fixture
def powershell(wine):
    """The recorder in place of the system's powershell.exe: the one in the
    process's own System32, which is SysWOW64 for a 32-bit process."""
    system = "system32" if X64 else "syswow64"
    target = wine.drive_c / "windows" / system / "WindowsPowerShell" / "v1.0" / "powershell.exe"
    saved = target.with_name("powershell.exe.saved")
    shutil.copyfile(target, saved)
    shutil.copyfile(TOOLS_DIR / "record_args.exe", target)
    calls = target.with_name("powershell.exe.calls.txt")
    calls.unlink(missing_ok=True)
    yield calls
    shutil.move(saved, target)
    calls.unlink(missing_ok=True)


@pytest.fixture
def tree(wine, request):
    root = wine.drive_c / ("cleanup-" + request.node.name[:40].replace("[", "_").replace("]", ""))
    if root.exists():
        shutil.rmtree(root)
    yield root
    shutil.rmtree(root, ignore_errors=True)


def configure(inst, root, chainer_section):
    sections = [("GeneralOptions", [("Options", "q")]), ("PREREQUISITES", [])]
    if chainer_section is not None:
        sections.append(("PREREQ_CHAINER", chainer_section))
    inst.write_ini(sections)


def test_run_removes_what_it_was_given_and_hands_over_the_rest(wine, install, tree, powershell):
    inst = install(folder=tree / "A" / "B")
    win_root = wine.to_windows(tree)
    (tree / "A" / "data").mkdir()
    (tree / "A" / "data" / "x.txt").write_text("x")
    outside = wine.drive_c / "cleanup-outside.txt"
    outside.write_text("o")
    (inst.dir / "relative.txt").write_text("r")
    (tree / "cleanup.ps1").write_text("param($paths, $retry_count)\n")
    files = "\x01".join([win_root + r"\A\data\x.txt", wine.to_windows(outside), "relative.txt",
                         win_root + r"\missing.txt", ""])
    configure(inst, tree, [("CleanupFiles", files), ("CleanupFolders", win_root),
                           ("CleanupScript", win_root + r"\cleanup.ps1"),
                           ("LogFile", win_root + r"\run.log")])
    try:
        assert inst.run() == 0
        assert wait_for_file(powershell), "PowerShell was not started"
        folder, command = powershell.read_text("utf-8").splitlines()[0].split("|", 1)
        assert folder.rstrip("\\") == win_root
        assert " -NoProfile -NonInteractive -NoLogo -ExecutionPolicy RemoteSigned -Command " \
               "\"& '" in command
        copy_path, rest = command.split("\"& '", 1)[1].split("' ", 1)
        # B still holds relative.txt beside the executable, so it is not handed
        # over; A holds only B.
        assert rest == (f"-paths '{win_root}\\cleanup.ps1','{win_root}\\A\\B\\setup.exe',"
                        f"'{win_root}\\A' -retry_count 10\"")
        assert copy_path.endswith(".ps1") and "\\CV_" in copy_path
        copy = wine.to_unix(copy_path)
        assert copy.read_text() == "param($paths, $retry_count)\n"
        copy.unlink()
    finally:
        outside.unlink(missing_ok=True)
    assert not inst.ini.exists()
    assert not (tree / "A" / "data").exists()  # its only file was named: emptied and removed
    assert (inst.dir / "relative.txt").exists()  # relative items are ignored
    assert inst.exe.exists()  # the script's job


# Every character that ends a PowerShell single-quoted string.
POWERSHELL_QUOTES = "'\u2018\u2019\u201a\u201b"


def read_quoted_list(text):
    """Reads "'a','b'..." as PowerShell does: any of the quote characters ends
    a string, and a quote followed by another stands for the second one.
    Returns the strings and the text after the list."""
    items, i = [], 0
    while True:
        assert text[i] in POWERSHELL_QUOTES, text[i:]
        i, item = i + 1, ""
        while True:
            c, i = text[i], i + 1
            if c not in POWERSHELL_QUOTES:
                item += c
            elif i < len(text) and text[i] in POWERSHELL_QUOTES:
                item, i = item + text[i], i + 1
            else:
                break
        items.append(item)
        if text[i:i + 1] != ",":
            return items, text[i:]
        i += 1


def test_quote_characters_in_folder_names_stay_inside_the_strings(wine, install, tree,
                                                                   powershell):
    # One folder per quote character, each named to run a command if its
    # quote ended the string: the executable's chain hands all of them over.
    names = [f"x{q};Start-Process calc;#" for q in POWERSHELL_QUOTES]
    inst = install(folder=tree.joinpath(*names))
    win_root = wine.to_windows(tree)
    (tree / "cleanup.ps1").write_text("param($paths, $retry_count)\n")
    configure(inst, tree, [("CleanupFolders", win_root),
                           ("CleanupScript", win_root + r"\cleanup.ps1")])
    assert inst.run() == 0
    assert wait_for_file(powershell), "PowerShell was not started"
    command = powershell.read_text("utf-8").splitlines()[0].split("|", 1)[1]
    wine.to_unix(command.split("\"& '", 1)[1].split("' ", 1)[0]).unlink()
    paths, rest = read_quoted_list(command.split(" -paths ", 1)[1])
    folders = [win_root + "\\" + "\\".join(names[:n]) for n in range(len(names), 0, -1)]
    assert paths == [win_root + r"\cleanup.ps1", wine.to_windows(inst.exe)] + folders
    assert rest == " -retry_count 10\""


def test_without_the_chainer_section_nothing_is_removed(wine, install, tree, powershell):
    inst = install(folder=tree / "A")
    configure(inst, tree, None)
    assert inst.run() == 0
    assert inst.ini.exists()
    assert not wait_for_file(powershell, timeout=2)


def test_without_a_script_nothing_is_started(wine, install, tree, powershell):
    inst = install(folder=tree / "A")
    (tree / "named.txt").write_text("n")
    configure(inst, tree, [("CleanupFiles", wine.to_windows(tree / "named.txt")),
                           ("CleanupFolders", wine.to_windows(tree))])
    assert inst.run() == 0
    assert not inst.ini.exists()
    assert not (tree / "named.txt").exists()
    assert not wait_for_file(powershell, timeout=2)
