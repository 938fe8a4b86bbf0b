"""Output paths that are no regular file, for write_XL and the rescue spectrum generation: written
in place as the interpreter's open(path, "w") writes them, never replaced by a regular file."""
import os
import stat
import subprocess
import sys

import pytest

import Vombrelle1pt0_Submission as V
from helpers.rescue_fraction import make_fraction, write_fraction
from helpers.scored_lines import line


@pytest.mark.parametrize("rescue", [False, True])
def test_a_fifo_through_a_link_is_written_for_its_reader(tmp_path, rescue):
    inputs = write_fraction(tmp_path, make_fraction(7, 3))

    def run(path):
        if rescue:
            V.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(*inputs, path, 31.97207, 18.01056)
        else:
            V.write_XL([line(1.5), line(2, remarks="x y")], path)

    run(str(tmp_path / "regular.out"))
    expected = (tmp_path / "regular.out").read_bytes()
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    (tmp_path / "link").symlink_to("fifo")
    # A reader of its own: this call holds the interpreter while it waits to open the FIFO.
    reader = subprocess.Popen([sys.executable, "-c", "import sys; sys.stdout.buffer.write(open(sys.argv[1], 'rb').read())",
                               str(fifo)], stdout=subprocess.PIPE)
    try:
        run(str(tmp_path / "link"))
        assert stat.S_ISFIFO(os.stat(fifo).st_mode)  # else the reader would wait for ever
        assert reader.communicate()[0] == expected
    finally:
        reader.kill()
    assert os.readlink(tmp_path / "link") == "fifo"
    assert not [n for n in os.listdir(tmp_path) if n.startswith(".")]  # no temporary


@pytest.mark.parametrize("rescue", [False, True])
def test_a_device_node_stays_one(tmp_path, rescue):
    node = tmp_path / "null"
    try:
        os.mknod(node, stat.S_IFCHR | 0o666, os.makedev(1, 3))
        open(node, "w").close()  # a folder mounted nodev refuses it
    except PermissionError:
        pytest.skip("no device nodes here")
    if rescue:
        inputs = write_fraction(tmp_path, make_fraction(7, 3))
        V.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(*inputs, str(node), 31.97207, 18.01056)
    else:
        V.write_XL([line(1.5)], str(node))
    st = os.stat(node)
    assert stat.S_ISCHR(st.st_mode) and st.st_rdev == os.makedev(1, 3)


@pytest.mark.parametrize("rescue", [False, True])
def test_dev_stdout_through_a_pipe_and_a_folder_as_open_does(tmp_path, rescue):
    if rescue:
        name, args = "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf", [
            *write_fraction(tmp_path, make_fraction(7, 3)), None, 31.97207, 18.01056]
    else:
        name, args = "write_XL", [[line(1.5), line(2, remarks="x y")], None]
    call = lambda path: getattr(V, name)(*[path if a is None else a for a in args])  # noqa: E731
    call(str(tmp_path / "regular.out"))
    script = "import ast, sys, Vombrelle1pt0_Submission as V\n" \
             "getattr(V, sys.argv[1])(*[sys.argv[3] if a is None else a for a in ast.literal_eval(sys.argv[2])])"
    env = dict(os.environ, PYTHONPATH=os.path.dirname(V.__file__))
    done = subprocess.run([sys.executable, "-c", script, name, repr(args), "/dev/stdout"], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    assert (done.stderr, done.returncode) == (b"", 0)
    assert done.stdout == (tmp_path / "regular.out").read_bytes()
    with pytest.raises(IsADirectoryError) as info:
        call(str(tmp_path))
    assert str(info.value) == "[Errno 21] Is a directory: '%s'" % tmp_path
