"""Permission rules as an unprivileged user meets them: the tests run as root, whom none applies to."""
import os
import pwd
import shutil
import tempfile

import pytest

pytestmark = pytest.mark.skipif(os.geteuid() != 0, reason="needs root to become another user")


def as_nobody(call):
    """The name of the error `call` raises when the user nobody makes it, or "no error"."""
    nobody = pwd.getpwnam("nobody")
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:  # the child reports through the pipe and never returns into pytest
        try:
            os.setgroups([])
            os.setgid(nobody.pw_gid)
            os.setuid(nobody.pw_uid)
            call()
            outcome = "no error"
        except BaseException as e:  # noqa: BLE001 - reported to the parent
            outcome = type(e).__name__
        os.write(write_end, outcome.encode())
        os._exit(0)
    os.close(write_end)
    with os.fdopen(read_end, "rb") as f:
        outcome = f.read().decode()
    os.waitpid(pid, 0)
    return outcome


def test_files_and_folders_without_permission_are_refused(mod):
    theirs = tempfile.mkdtemp()  # a folder nobody may only read, holding one nobody owns
    try:
        os.chmod(theirs, 0o755)
        mine, uid = os.path.join(theirs, "mine"), pwd.getpwnam("nobody").pw_uid
        os.mkdir(mine)
        os.chown(mine, uid, -1)
        read_only, secret = os.path.join(mine, "table.tsv"), os.path.join(theirs, "x.mgf")
        for path, mode, owner in ((read_only, 0o444, uid), (secret, 0o600, -1)):
            with open(path, "w") as f:
                f.write("old\n")
            os.chmod(path, mode)
            os.chown(path, owner, -1)
        assert as_nobody(lambda: mod.write_XL([], read_only)) == "PermissionError"  # though nobody could rename over it
        assert as_nobody(lambda: mod.write_XL([], os.path.join(theirs, "new.tsv"))) == "PermissionError"
        assert as_nobody(lambda: mod.read_ms_Mgf(secret)) == "PermissionError"
        assert open(read_only).read() == "old\n" and os.listdir(mine) == ["table.tsv"]
        assert sorted(os.listdir(theirs)) == ["mine", "x.mgf"]
    finally:
        shutil.rmtree(theirs)
