"""Output paths that are no regular file, for write_XL and the rescue spectrum generation: written
in place as the interpreter's open(path, "w") writes them, never replaced by a regular file."""
import os
import pathlib
import socket
import stat
import subprocess
import sys

import pytest

import Vombrelle1pt0_Submission as V
from helpers.scored_lines import line

from helpers.rescue_fraction import make_fraction, write_fraction

RESCUE = "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"


@pytest.fixture(params=["write_XL", RESCUE])
def call(request, tmp_path):
    """The writer's name and arguments, with None where the output path goes, and what it writes."""
    if request.param == "write_XL":
        args = [[line(1.5), line(2, remarks="x y")], None]
    else:
        args = [*write_fraction(tmp_path, make_fraction(7, 3)), None, 31.97207, 18.01056]
    regular = tmp_path / "regular.out"
    run(request.param, args, str(regular))
    return request.param, args, regular.read_bytes()


def run(name, args, path):
    getattr(V, name)(*[path if a is None else a for a in args])


def test_a_fifo_through_a_link_is_written_for_its_reader(call, tmp_path):
    name, args, expected = call
    assert len(expected) > 200
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    (tmp_path / "link").symlink_to("fifo")
    # A reader of its own: this call holds the interpreter while it waits to open the FIFO.
    reader = subprocess.Popen([sys.executable, "-c", "import sys; sys.stdout.buffer.write(open(sys.argv[1], 'rb').read())",
                               str(fifo)], stdout=subprocess.PIPE)
    try:
        run(name, args, str(tmp_path / "link"))
        assert stat.S_ISFIFO(os.stat(fifo).st_mode)  # else the reader would wait for ever
        assert reader.communicate()[0] == expected
    finally:
        reader.kill()
    assert os.readlink(tmp_path / "link") == "fifo"
    assert not [n for n in os.listdir(tmp_path) if n.startswith(".")]  # no temporary


def test_a_device_node_stays_one(call, tmp_path):
    name, args, _ = call
    node = tmp_path / "null"
    try:
        os.mknod(node, stat.S_IFCHR | 0o666, os.makedev(1, 3))
        open(node, "w").close()  # a folder mounted nodev refuses it
    except PermissionError:
        pytest.skip("no device nodes here")
    run(name, args, str(node))
    st = os.stat(node)
    assert stat.S_ISCHR(st.st_mode) and st.st_rdev == os.makedev(1, 3)


def test_dev_stdout_through_a_pipe(call):
    name, args, expected = call
    script = "import ast, sys, Vombrelle1pt0_Submission as V\n" \
             "getattr(V, sys.argv[1])(*[sys.argv[3] if a is None else a for a in ast.literal_eval(sys.argv[2])])"
    env = dict(os.environ, PYTHONPATH=os.path.dirname(V.__file__))
    done = subprocess.run([sys.executable, "-c", script, name, repr(args), "/dev/stdout"], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    assert done.stderr == b"" and done.returncode == 0
    assert done.stdout == expected


def host_error(path):
    try:
        open(path, "w").close()
    except OSError as e:
        return type(e), str(e)
    return None


def test_a_socket_and_a_folder_fail_as_open_does(call, tmp_path):
    name, args, _ = call
    with socket.socket(socket.AF_UNIX) as sock:
        sock.bind(str(tmp_path / "socket"))
        for path in (str(tmp_path / "socket"), str(tmp_path)):
            expected = host_error(path)
            assert expected is not None
            with pytest.raises(OSError) as info:
                run(name, args, path)
            assert (type(info.value), str(info.value)) == expected
    assert stat.S_ISSOCK(os.lstat(tmp_path / "socket").st_mode)
