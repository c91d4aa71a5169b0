"""The Ansible module brellox_config as the package installs it: its pure
parts (the diff, what is masked), its documentation against its options,
and runs of the module file itself, as Ansible starts it on a host."""
import importlib.util
import json
import os
import subprocess
import sys

import pytest
import yaml
from ansible.module_utils.common.parameters import _list_no_log_values

import brellox.ansible


def _load_module():
    path = os.path.join(brellox.ansible.LIBRARY, "brellox_config.py")
    spec = importlib.util.spec_from_file_location("brellox_config", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


bc = _load_module()

PASSWORD_CHANGE = {"change": "changed", "record": "user 'alice'",
                   "field": "password"}
INFO_CHANGE = {"change": "changed", "record": "connection 'pg'",
               "field": "info1", "from": "db1", "to": "db2"}


def test_the_module_is_where_python_m_says():
    out = subprocess.run([sys.executable, "-m", "brellox.ansible"],
                         check=True, capture_output=True, text=True).stdout
    assert os.path.isfile(os.path.join(out.strip(), "brellox_config.py"))


def test_diff_has_a_line_per_change_on_its_side():
    changes = [{"change": "added", "record": "user 'bob'"},
               {"change": "removed", "record": "GDB 'old'"},
               INFO_CHANGE, PASSWORD_CHANGE,
               {"change": "changed", "record": "global option",
                "field": "value", "from": 4096, "to": 8192}]
    diff = bc.build_diff(changes, "/srv/x.CFG")
    before = diff["before"].splitlines()
    after = diff["after"].splitlines()
    assert "user 'bob'" in after and "user 'bob'" not in diff["before"]
    assert "GDB 'old'" in before and "GDB 'old'" not in diff["after"]
    assert "connection 'pg': info1 = \"db1\"" in before
    assert "connection 'pg': info1 = \"db2\"" in after
    assert "global option: value = 4096" in before
    assert "global option: value = 8192" in after
    # The password line differs on the two sides, so the diff shows it.
    password_lines = [(b, a) for b, a in zip(
        [l for l in before if "alice" in l], [l for l in after if "alice" in l])]
    assert len(password_lines) == 1 and password_lines[0][0] != password_lines[0][1]
    assert diff["before_header"] != diff["after_header"]
    assert "/srv/x.CFG" in diff["before_header"]


def test_diff_of_no_changes_is_empty_and_names_the_library_file():
    diff = bc.build_diff([], None, dry_run=True)
    assert diff["before"] == diff["after"] == ""
    assert "own" in diff["before_header"]
    assert "dry run" in diff["after_header"]


def test_a_null_value_is_shown_as_none():
    diff = bc.build_diff([{"change": "changed", "record": "connection 'pg'",
                           "field": "fill", "from": None, "to": "0a00"}], "f")
    assert "fill = (none)" in diff["before"]
    assert 'fill = "0a00"' in diff["after"]


@pytest.mark.parametrize("field", ["password", "users[0].password"])
def test_password_values_never_leave_the_module(field):
    leaky = {"change": "changed", "record": "user 'alice'", "field": field,
             "from": "old-s3cret", "to": "new-s3cret"}
    shown = bc.shown_changes([leaky, INFO_CHANGE])
    assert "from" not in shown[0] and "to" not in shown[0]
    assert shown[1] == INFO_CHANGE
    assert leaky["from"] == "old-s3cret"  # the report itself is not edited
    text = json.dumps(shown) + json.dumps(bc.build_diff(shown, "f")) + \
        json.dumps(bc.build_diff([leaky], "f"))
    assert "s3cret" not in text


def test_state_secrets_are_the_passwords_only():
    raw = "\u5bc6\u7801".encode("gbk")
    state = {"users": [
        {"name": "alice", "password": "al1ce-pw"},
        {"name": "bob", "password": {"hex": raw.hex()}},
        {"name": "carol", "password": {"env": "CAROL_PASSWORD"}},
        {"name": "dave", "password": {"file": "/etc/brellox/dave.pw"}},
        {"name": "erin", "password": 123456},
        {"name": "frank", "password": ""},
        {"name": "mallory", "state": "absent"}],
        "connections": [{"name": "pg", "info1": "db"}]}
    assert bc.state_secrets(state) == {"al1ce-pw", raw.hex(), "\u5bc6\u7801",
                                       "123456"}
    # In another code page the same bytes read otherwise.
    assert raw.decode("latin-1") in bc.state_secrets(state, "latin-1")


def test_state_text_secrets_include_a_repeated_key_and_survive_bad_json():
    text = ('{"users": [{"name": "a", "password": "first-pw",'
            ' "password": "second-pw"}]}')
    assert bc.state_text_secrets(text) == {"first-pw", "second-pw"}
    assert bc.state_text_secrets('{"users": [') == set()
    assert bc.state_text_secrets(json.dumps(
        {"users": [{"name": "a", "password": {"hex": "zz"}}]})) == {"zz"}


def test_leaf_texts_are_what_ansible_masks_for_a_no_log_dict():
    state = {"tempDir": "/tmp/x", "users": [
        {"name": "alice", "password": "pw", "id": 4}],
        "privileges": [{"user": "alice", "privID": 3, "value": 7.5}],
        "gdbs": [], "flag": True, "nothing": None, "empty": ""}
    masked = _list_no_log_values(bc.ARGUMENT_SPEC, {"state": state})
    assert masked and bc.leaf_texts(state) == masked


def test_the_documented_options_are_the_accepted_ones():
    documented = yaml.safe_load(bc.DOCUMENTATION)["options"]
    assert set(documented) == set(bc.ARGUMENT_SPEC)
    for name, spec in bc.ARGUMENT_SPEC.items():
        assert documented[name]["type"] == spec["type"], name
        assert documented[name].get("default") == spec.get("default"), name
    yaml.safe_load(bc.EXAMPLES)
    assert "changes" in yaml.safe_load(bc.RETURN)


# -- the module file run as Ansible runs it, against the built library -----
# (python/tests/ansible/brellox_config.yml runs it through ansible-playbook)

def _run(tmp_path, args, diff=False):
    args_file = tmp_path / "args.json"
    args_file.write_text(json.dumps({"ANSIBLE_MODULE_ARGS": dict(
        args, _ansible_diff=diff)}))
    process = subprocess.run(
        [sys.executable, os.path.join(brellox.ansible.LIBRARY,
                                      "brellox_config.py"), str(args_file)],
        capture_output=True, text=True)
    return process.returncode, process.stdout, json.loads(process.stdout)


def test_a_run_masks_the_passwords_and_nothing_else(config, tmp_path):
    state = {"users": [{"name": "alice", "password": "a-l0ng-s3cret"}],
             "connections": [{"name": "pg", "info1": "db.example.net"}]}
    rc, out, result = _run(tmp_path, {"path": config.path, "state": state},
                           diff=True)
    assert rc == 0 and result["changed"], out
    assert "a-l0ng-s3cret" not in out
    shown = result["invocation"]["module_args"]["state"]
    assert shown["users"][0]["name"] == "alice"
    assert shown["connections"][0]["info1"] == "db.example.net"
    assert {"change": "added", "record": "user 'alice'"} in result["changes"]
    assert "user 'alice'" in result["diff"]["after"]
    assert config.check_user("alice", "a-l0ng-s3cret")

