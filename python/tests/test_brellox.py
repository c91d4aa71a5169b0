"""The package against the built library: round trips of every table, and
the exceptions that carry the library's result and reason."""
import errno
import json
import os
import shutil
import subprocess
import sys

import pytest

import brellox
from brellox import Connection, Gdb, Option, OptionType


def test_users_and_privileges_round_trip_in_the_file_code_page(config):
    ann = config.add_user("张三", "s3cret")
    bob = config.add_user("bob")
    assert (ann, bob) == (1, 2)
    assert config.user_ids() == [1, 2]
    assert config.user_count() == 2
    assert config.user_name(ann) == "张三"
    assert config.user_id("张三") == ann
    assert config.check_user("张三", "s3cret")
    assert not config.check_user("张三", "wrong")
    assert not config.check_user("nobody", "s3cret")
    assert config.check_user("bob", "")
    config.update_user(bob, "new")
    assert config.check_user("bob", "new")

    config.set_privilege(ann, 5, 3)
    assert config.get_privilege(ann, 5) == 3
    assert config.get_privilege(ann, 6) == 0

    config.delete_user(bob)
    assert config.user_ids() == [ann]
    with pytest.raises(brellox.NotFound) as caught:
        config.delete_user(bob)
    assert caught.value.result == brellox.Result.NOT_FOUND


def test_the_encoding_decides_the_bytes_stored(config, tmp_path):
    utf8 = brellox.ConfigFile(config.path, encoding="utf-8")
    uid = utf8.add_user("名")
    assert utf8.user_name(uid) == "名"
    with pytest.raises(brellox.NotFound):
        config.user_id("名")  # its GBK bytes are not the UTF-8 ones stored


def test_a_taken_name_raises_with_the_librarys_reason(config):
    config.add_user("张三")
    with pytest.raises(brellox.AlreadyExists) as caught:
        config.add_user("张三", "other")
    assert caught.value.result == brellox.Result.ALREADY_EXISTS
    assert caught.value.reason == "user '张三' already exists"
    assert "already exists" in str(caught.value)


def test_lists_grow_past_the_first_guess(config):
    ids = [config.add_user("user%d" % i) for i in range(40)]
    assert config.user_ids() == ids
    names = ["conn%d" % i for i in range(20)]
    for name in names:
        config.add_connection(Connection(name))
    assert [c.name for c in config.connections()][1:] == names


def test_connections_round_trip(config):
    before = config.connection_count()
    pg = Connection("pg", info1="db.example.org", info2="5432",
                    info4="x" * 64)
    pg.id = config.add_connection(pg)
    assert config.get_connection(pg.id) == pg
    assert pg in config.connections()
    assert pg.id in config.connection_ids()
    assert config.connection_exists("pg")
    assert not config.connection_exists("none")
    pg.info3 = "replica"
    config.update_connection(pg)
    assert config.get_connection(pg.id).info3 == "replica"
    with pytest.raises(brellox.AlreadyExists):
        config.add_connection(Connection("pg"))
    config.delete_connection(pg.id)
    assert config.connection_count() == before
    with pytest.raises(brellox.NotFound):
        config.get_connection(pg.id)


def test_gdbs_round_trip(config):
    world = Gdb("world", details=bytes([10, 11, 0, 12]))
    world.id = config.add_gdb(world)
    assert config.get_gdb(world.id) == world
    assert config.gdbs() == [world]
    assert config.gdb_ids() == [world.id]
    assert config.gdb_count() == 1
    assert config.gdb_exists("world")
    assert config.gdb_alias_name(world.id) == "world"
    assert config.gdb_id("world") == world.id
    world.details = b"\x01"
    config.update_gdb(world)
    assert config.get_gdb(world.id).details == b"\x01"
    config.delete_gdb(world.id)
    with pytest.raises(brellox.NotFound):
        config.gdb_id("world")


def test_global_option_and_groups_round_trip(config):
    assert config.option_count() == 1
    glob = config.get_option()
    assert glob.type == OptionType.INT32
    glob.value = 4096
    config.set_option(glob)
    assert config.get_options()[0].value == 4096

    group = [Option("tiles", OptionType.INT32, 256, "tile cache size"),
             Option("dir", OptionType.TEXT, "/srv/tiles"),
             Option("ratio", OptionType.DOUBLE, 0.5),
             Option("raw", OptionType.BLOCK, bytes(range(128)))]
    config.add_option_group("render", 1, group)
    assert config.option_count("render", 1) == 6
    stored = config.get_options("render", 1)
    assert stored[:4] == group
    assert stored[4] == Option("", 0, "", "")
    config.set_option(Option("tiles", OptionType.INT32, 512), 0, "render", 1)
    group[1].value = "/var/tiles"
    config.set_options(group[:2], "render", 1)
    assert config.get_option(0, "render", 1).value == 256
    assert config.get_option(1, "render", 1).value == "/var/tiles"
    with pytest.raises(brellox.AlreadyExists):
        config.add_option_group("render", 1, group)
    with pytest.raises(brellox.NotFound):
        config.get_options("render", 2)
    with pytest.raises(brellox.InvalidArgument):
        config.get_option(6, "render", 1)


def test_temp_dir_round_trips(config):
    config.set_temp_dir("/srv/tmp")
    assert config.get_temp_dir() == "/srv/tmp"
    with pytest.raises(brellox.InvalidArgument) as caught:
        config.set_temp_dir("d" * 128)
    assert isinstance(caught.value, ValueError)


def test_files_that_cannot_be_used(config, tmp_path):
    missing_path = str(tmp_path / "none" / "Svr_Config.CFG")
    missing = brellox.ConfigFile(missing_path)
    with pytest.raises(FileNotFoundError) as caught:
        missing.user_count()
    assert isinstance(caught.value, brellox.FileMissing)
    assert caught.value.errno == errno.ENOENT
    assert caught.value.filename == missing_path
    damaged = tmp_path / "damaged.CFG"
    damaged.write_bytes(open(config.path, "rb").read()[:100])
    with pytest.raises(brellox.Damaged) as caught:
        brellox.ConfigFile(str(damaged)).check_user("ann", "pw")
    assert "header" in caught.value.reason


def test_the_librarys_own_file_is_the_default(pristine):
    own = brellox.ConfigFile()
    assert own.user_count() == 0
    assert own.add_user("owner") == 1
    assert own.user_ids() == [1]



def test_a_library_beside_the_package_is_found_first(pristine, tmp_path):
    package = tmp_path / "brellox"
    shutil.copytree(os.path.dirname(brellox.__file__), package)
    shutil.copy(os.environ["BRELLOX_LIBRARY"], package / "libbrellox.so.0")
    environment = dict(os.environ)
    del environment["BRELLOX_LIBRARY"]
    subprocess.run([sys.executable, "-c",
                    "import brellox; brellox.ConfigFile().user_count()"],
                   cwd=tmp_path, env=environment, check=True)
    # The copy beside the package wrote its own file when it loaded.
    assert (package / "Svr_Config.CFG").exists()


@pytest.mark.parametrize("error, builtin, code", [
    (brellox.FileMissing, FileNotFoundError, errno.ENOENT),
    (brellox.PermissionDenied, PermissionError, errno.EACCES),
    (brellox.Busy, TimeoutError, errno.ETIMEDOUT),
])
def test_file_errors_are_the_oserrors_python_code_catches(error, builtin,
                                                          code):
    result = {brellox.FileMissing: brellox.Result.FILE_MISSING,
              brellox.PermissionDenied: brellox.Result.PERMISSION_DENIED,
              brellox.Busy: brellox.Result.BUSY}[error]
    raised = error(result, "why", "the.CFG")
    assert isinstance(raised, builtin) and isinstance(raised, OSError)
    assert isinstance(raised, brellox.BrelloxError)
    assert (raised.errno, raised.filename) == (code, "the.CFG")
    assert str(raised).endswith(": why")


NUL_ARGUMENTS = [
    ("password", lambda c: c.check_user("alice", "right\0x")),
    ("name", lambda c: c.check_user("ali\0ce", "right")),
    ("password", lambda c: c.add_user("bob", "abc\0T")),
    ("name", lambda c: c.add_user("b\0ob")),
    ("password", lambda c: c.update_user(1, "a\0")),
    ("name", lambda c: c.user_id("al\0")),
    ("directory", lambda c: c.set_temp_dir("/tmp\0/x")),
    ("connection info4", lambda c: c.add_connection(
        Connection("c", info4="host\0x"))),
    ("name", lambda c: c.connection_exists("c\0")),
    ("GDB name", lambda c: c.add_gdb(Gdb("g\0h"))),
    ("alias name", lambda c: c.gdb_id("g\0")),
    ("group name", lambda c: c.option_count("g\0", 1)),
    ("option value", lambda c: c.add_option_group("g", 1, [
        Option("o", OptionType.TEXT, "v\0w")])),
    ("option description", lambda c: c.add_option_group("g", 1, [
        Option("o", OptionType.INT32, 1, "d\0")])),
    ("state", lambda c: c.apply('{"tempDir": "/tmp\0"}')),
]


@pytest.mark.parametrize("what, call", NUL_ARGUMENTS)
def test_a_nul_in_a_text_is_refused_naming_the_argument(config, what, call):
    config.add_user("alice", "right")
    before = open(config.path, "rb").read()
    with pytest.raises(ValueError) as caught:
        call(config)
    assert isinstance(caught.value, brellox.InvalidArgument)
    assert what + " holds a NUL" in str(caught.value)
    assert open(config.path, "rb").read() == before


def test_a_nul_in_the_path_is_refused(config):
    with pytest.raises(ValueError, match="path holds a NUL"):
        brellox.ConfigFile(config.path + "\0junk")


@pytest.mark.parametrize("encoding", ["utf-16", "utf-32", "utf-16-le",
                                      "utf-7", "cp037"])
def test_encodings_that_do_not_write_ascii_as_itself_are_refused(config,
                                                                 encoding):
    with pytest.raises(ValueError, match="encoding"):
        brellox.ConfigFile(config.path, encoding=encoding)


@pytest.mark.parametrize("encoding", ["gbk", "utf-8", "latin-1", "cp1252"])
def test_code_pages_that_keep_ascii_are_taken(config, encoding):
    assert brellox.ConfigFile(config.path, encoding=encoding).user_count() == 0


def test_a_text_that_does_not_decode_names_its_record_and_field(config):
    latin = brellox.ConfigFile(config.path, encoding="latin-1")
    latin.add_connection(Connection("ok"))
    cafe = latin.add_connection(Connection("caf\u00e9", info2="x"))
    utf8 = brellox.ConfigFile(config.path, encoding="utf-8")
    with pytest.raises(brellox.UndecodableText) as caught:
        utf8.connections()
    assert (caught.value.record,
            caught.value.field) == ("connection %d" % cafe, "name")
    assert caught.value.raw == b"caf\xe9"
    assert not isinstance(caught.value, UnicodeDecodeError)
    with pytest.raises(brellox.UndecodableText, match="name of user 1"):
        latin.add_user("J\u00fcrgen")
        utf8.user_name(1)


HOLD_LOCK = """
import fcntl, sys, time
with open(sys.argv[1], "r+b") as f:
    fcntl.lockf(f, fcntl.LOCK_EX, 2, 1 << 40)
    print("held", flush=True)
    time.sleep(float(sys.argv[2]))
"""


def _held(path, seconds):
    """Another process keeping the file locked for `seconds`."""
    holder = subprocess.Popen([sys.executable, "-c", HOLD_LOCK, path,
                               str(seconds)], stdout=subprocess.PIPE)
    assert holder.stdout.readline() == b"held\n"
    return holder


def test_the_busy_timeout_is_the_files_own(config):
    holder = _held(config.path, 0.5)
    try:
        with pytest.raises(TimeoutError) as caught:
            brellox.ConfigFile(config.path, timeout=0).user_count()
        assert isinstance(caught.value, brellox.Busy)
        assert brellox.ConfigFile(config.path, timeout=60).user_count() == 0
    finally:
        holder.wait()


def test_a_negative_timeout_is_refused(config):
    with pytest.raises(ValueError, match="timeout"):
        brellox.ConfigFile(config.path, timeout=-1)


# A state as a fleet keeps it: the password by reference, never inline.
FLEET = {
    "users": [{"name": "张三", "password": {"env": "BRELLOX_TEST_PASSWORD"}}],
    "privileges": [{"user": "张三", "privID": 5, "value": 2}],
    "connections": [{"name": "pg", "info1": "db.example.org"}],
}


def test_apply_brings_the_file_to_the_state_once(config, monkeypatch):
    monkeypatch.setenv("BRELLOX_TEST_PASSWORD", "env-s3cret")
    report = config.apply(FLEET)
    assert report["changed"] is True and report["dryRun"] is False
    assert {(c["change"], c["record"]) for c in report["changes"]} == {
        ("added", "user '张三'"), ("added", "connection 'pg'"),
        ("added", "privilege (user '张三', privilege 5)")}
    assert "env-s3cret" not in str(report)
    assert config.check_user("张三", "env-s3cret")
    assert config.get_privilege(config.user_id("张三"), 5) == 2
    assert config.get_connection(config.connection_ids()[-1]).info1 == \
        "db.example.org"
    before = open(config.path, "rb").read()
    # The same state again, as dict or as text: nothing to change.
    for state in (FLEET, json.dumps(FLEET, ensure_ascii=False)):
        assert config.apply(state) == {"changed": False, "dryRun": False,
                                       "changes": []}
    assert open(config.path, "rb").read() == before
    monkeypatch.setenv("BRELLOX_TEST_PASSWORD", "other")
    report = config.apply(FLEET)
    assert report["changes"] == [{"change": "changed",
                                  "record": "user '张三'",
                                  "field": "password"}]
    assert config.check_user("张三", "other")


def test_apply_dry_run_tells_the_changes_and_writes_nothing(config):
    before = open(config.path, "rb").read()
    report = config.apply({"tempDir": "/srv/tmp",
                           "users": [{"name": "bob", "password": "pw"}]},
                          dry_run=True)
    assert report["changed"] is False and report["dryRun"] is True
    assert [c["record"] for c in report["changes"]] == ["header", "user 'bob'"]
    assert report["changes"][0]["to"] == "/srv/tmp"
    assert open(config.path, "rb").read() == before
    with pytest.raises(brellox.NotFound):
        config.user_id("bob")


def test_apply_refuses_a_new_user_without_a_password(config):
    before = open(config.path, "rb").read()
    with pytest.raises(brellox.Refused) as caught:
        config.apply({"users": [{"name": "bob"}]})
    assert caught.value.result == brellox.Result.REFUSED
    assert "new user 'bob' has no password" in caught.value.reason
    assert open(config.path, "rb").read() == before
    report = config.apply({"users": [{"name": "bob"}]},
                          allow_empty_password=True)
    assert report["changed"] is True
    assert config.check_user("bob", "")


def test_apply_removes_absent_records_and_prunes(config):
    ann = config.add_user("ann", "pw")
    config.add_user("bob", "pw")
    config.set_privilege(ann, 3, 1)
    report = config.apply({"users": [{"name": "ann", "state": "absent"}]})
    assert [(c["change"], c["record"]) for c in report["changes"]] == [
        ("removed", "user 'ann'"),
        ("removed", "privilege (user 'ann', privilege 3)")]
    assert config.user_ids() == [2]
    assert config.apply({"users": [{"name": "ann", "state": "absent"}]})[
        "changed"] is False
    # Pruned: the users the state lacks go; a table left out stays.
    config.add_connection(Connection("pg"))
    config.apply({"users": [{"name": "carl", "password": "x"}]}, prune=True)
    assert [config.user_name(i) for i in config.user_ids()] == ["carl"]
    assert config.connection_exists("pg")


def test_apply_keeps_ids_only_above_the_counter(config):
    config.apply({"users": [{"id": 7, "name": "ann", "password": "x"}]},
                 keep_ids=True)
    assert config.user_id("ann") == 7
    with pytest.raises(brellox.Refused, match="users\\[0\\]"):
        config.apply({"users": [{"id": 3, "name": "bob", "password": "x"}]},
                     keep_ids=True)


@pytest.mark.parametrize("state, reason", [
    ("{\"users\": [", "not valid JSON"),
    ({"users": [{"name": " ", "password": "x"}]}, "users[0].name: is blank"),
    ({"users": [{"name": "a", "password": {"env": "BRELLOX_UNSET_VARIABLE"}}]},
     "users[0].password (env 'BRELLOX_UNSET_VARIABLE'): is not set"),
    ({"optionGroups": [{"groupType": 1, "groupName": "g", "options": [],
                        "state": "absent"}]}, "cannot be removed"),
])
def test_apply_refusals_name_the_states_path(config, state, reason):
    before = open(config.path, "rb").read()
    with pytest.raises(brellox.Refused) as caught:
        config.apply(state)
    assert reason in caught.value.reason
    assert open(config.path, "rb").read() == before


def test_apply_takes_only_a_dict_or_text(config):
    with pytest.raises(brellox.InvalidArgument, match="dict or a JSON text"):
        config.apply([{"users": []}])
