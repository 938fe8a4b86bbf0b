"""Permission rules as an unprivileged user meets them: the tests run as root, whom none applies to."""
import os
import pathlib
import pwd
import shutil
import tempfile

import pytest

pytestmark = pytest.mark.skipif(os.geteuid() != 0, reason="needs root to become another user")


def as_nobody(call):
    """The exit code of a child that makes `call` as the user nobody: 13 for a PermissionError."""
    pid = os.fork()
    if pid == 0:  # the child never returns into pytest
        code = 1
        try:
            nobody = pwd.getpwnam("nobody")
            os.setgroups([])
            os.setgid(nobody.pw_gid)
            os.setuid(nobody.pw_uid)
            call()
            code = 0
        except PermissionError:
            code = 13
        finally:
            os._exit(code)
    return os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])


def test_files_and_folders_without_permission_are_refused(mod):
    theirs = pathlib.Path(tempfile.mkdtemp())  # a folder nobody may only read, holding one nobody owns
    try:
        mine, uid = theirs / "mine", pwd.getpwnam("nobody").pw_uid
        mine.mkdir()
        read_only, secret = mine / "table.tsv", theirs / "x.mgf"
        for path, mode, owner in ((theirs, 0o755, -1), (mine, 0o755, uid), (read_only, 0o444, uid), (secret, 0o600, -1)):
            if not path.is_dir():
                path.write_text("old\n")
            os.chmod(path, mode)
            os.chown(path, owner, -1)
        assert as_nobody(lambda: mod.write_XL([], str(read_only))) == 13  # though nobody could rename over it
        assert as_nobody(lambda: mod.write_XL([], str(theirs / "new.tsv"))) == 13
        assert as_nobody(lambda: mod.read_ms_Mgf(str(secret))) == 13
        assert read_only.read_text() == "old\n" and os.listdir(mine) == ["table.tsv"]
        assert sorted(os.listdir(theirs)) == ["mine", "x.mgf"]
    finally:
        shutil.rmtree(theirs)
