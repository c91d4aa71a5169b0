#!/usr/bin/python
# -*- coding: utf-8 -*-
"""Ansible module: a Brellox configuration file brought to a desired state.

Runs on the managed host, where the brellox Python package and its library
are installed; ConfigFile.apply does the work in one locked, journaled
change. doc/ansible.md describes it.
"""

DOCUMENTATION = r"""
module: brellox_config
short_description: Bring a Brellox configuration file to a desired state
description:
  - Applies a desired state (JSON in the shape of C(brellox export), every
    part optional, records matched by name) to a Brellox configuration file,
    as C(brellox apply) does, in one change or none.
  - A second run with the same state changes nothing, not even the file's
    modification time.
  - A refusal (a new user without a password, a privilege of an unknown
    user, an option whose type differs) fails the task with the library's
    reason, and the file is left as it was.
version_added: "0.1.0"
author: Brellox developers
requirements:
  - the brellox Python package on the managed host, and the Brellox library
    it loads (BRELLOX_LIBRARY, beside the package, or the system's library
    path)
options:
  path:
    description:
      - The configuration file. Left out, the library's own
        C(Svr_Config.CFG), beside the loaded library.
    type: path
  encoding:
    description:
      - The code page of the file's texts; one that writes ASCII as itself.
    type: str
    default: gbk
  state:
    description:
      - The desired state, inline. Passwords given here are hidden in the
        module's output and logs (see notes).
      - Mutually exclusive with I(state_file); one of the two is required.
    type: dict
  state_file:
    description:
      - Path, on the managed host, of a JSON file holding the desired state.
      - Mutually exclusive with I(state).
    type: path
  prune:
    description:
      - Also remove the records of each table the state lists that the
        state lacks (users with their privileges). A table the state leaves
        out is never pruned.
    type: bool
    default: false
  keep_ids:
    description:
      - Add records under the IDs the state gives them, which must be above
        the IDs the file has issued.
    type: bool
    default: false
  allow_empty_password:
    description:
      - Let a user be added without a password, or given an empty one.
    type: bool
    default: false
  timeout:
    description:
      - Seconds to wait for a file another process keeps locked; 0 tries
        once. Left out, the library's 5 seconds.
    type: float
notes:
  - Supports check mode (nothing is written; C(changed) tells whether the
    file would change) and diff mode (one line per changed field; passwords
    are never shown).
  - I(state) is declared no_log, so the target's system log records no part
    of it. In the task's result only the passwords of the state (inline,
    or read from I(state_file)) are masked, wherever they appear; names and
    other values stay readable.
"""

EXAMPLES = r"""
- name: The server's users and connections are as the fleet wants them
  brellox_config:
    path: /var/lib/brellox/Svr_Config.CFG
    state:
      users:
        - name: alice
          password: "{{ vault_alice_password }}"
        - name: mallory
          state: absent
      connections:
        - name: pg
          info1: db.example.net
          info2: "5432"

- name: As in the golden export copied to the server, nothing else kept
  brellox_config:
    path: /var/lib/brellox/Svr_Config.CFG
    state_file: /etc/brellox/golden.json
    prune: true
"""

RETURN = r"""
changed:
  description: Whether the file changed (in check mode, whether it would).
  returned: always
  type: bool
changes:
  description:
    - One object per change, as C(brellox apply --json) prints them, in the
      order C(diff --by-name) lists them. A password change carries no
      values.
  returned: success
  type: list
  elements: dict
  sample:
    - {"change": "added", "record": "user 'bob'"}
    - {"change": "changed", "record": "connection 'pg'", "field": "info1",
       "from": "old.example.net", "to": "db.example.net"}
    - {"change": "changed", "record": "user 'alice'", "field": "password"}
config_file:
  description: The configuration file, or null for the library's own.
  returned: always
  type: str
result:
  description: How the library refused, in words (C(refused), C(busy),
    C(file missing)).
  returned: failure
  type: str
"""

import json
import traceback

from ansible.module_utils.basic import AnsibleModule, missing_required_lib

try:
    import brellox
except ImportError:
    brellox = None
    BRELLOX_IMPORT_ERROR = traceback.format_exc()

_NOT_SHOWN = "(not shown)"
_CHANGED = "(not shown, changed)"


def is_secret_field(field):
    """Whether a change's field names a password, whose values never show."""
    return field == "password" or field.endswith(".password")


def _password_texts(value, encoding):
    """The texts a password value gives away: a string, a number as the
    JSON reader would take it, a {"hex": ...} text with what its bytes read
    as in the file's code page. References ({"env": ...}, {"file": ...})
    name where a secret lies, and are no secret."""
    if isinstance(value, bool) or value is None:
        return set()
    if isinstance(value, (int, float)):
        return {str(value)}
    if isinstance(value, str):
        return {value} if value else set()
    if isinstance(value, dict) and isinstance(value.get("hex"), str):
        texts = {value["hex"]} if value["hex"] else set()
        try:
            texts.add(bytes.fromhex(value["hex"]).decode(encoding))
        except (ValueError, LookupError):
            pass
        texts.discard("")
        return texts
    return set()


def state_secrets(state, encoding="gbk"):
    """The passwords an inline state holds: the value of every key named
    "password", at any depth."""
    secrets = set()
    pending = [state]
    while pending:
        value = pending.pop()
        if isinstance(value, dict):
            for key, item in value.items():
                if key == "password":
                    secrets |= _password_texts(item, encoding)
                pending.append(item)
        elif isinstance(value, list):
            pending.extend(value)
    return secrets


def state_text_secrets(text, encoding="gbk"):
    """The passwords of a state given as JSON text, a key given twice
    included (the library refuses such a state, but its text may still
    reach the output). Text that does not parse yields what was read."""
    secrets = set()

    def pairs(items):
        for key, item in items:
            if key == "password":
                secrets.update(_password_texts(item, encoding))
        return dict(items)

    try:
        json.loads(text, object_pairs_hook=pairs)
    except ValueError:
        pass
    return secrets


def leaf_texts(value):
    """Every text Ansible's no_log takes from a value: non-empty strings,
    and numbers as text (booleans and nulls give none)."""
    texts = set()
    pending = [value]
    while pending:
        item = pending.pop()
        if isinstance(item, dict):
            pending.extend(item.values())
        elif isinstance(item, (list, tuple)):
            pending.extend(item)
        elif isinstance(item, str):
            if item:
                texts.add(item)
        elif isinstance(item, (int, float)) and not isinstance(item, bool):
            texts.add(str(item))
    return texts


def shown_changes(changes):
    """The change objects to return: copies, a secret field's values left
    out."""
    shown = []
    for change in changes:
        change = dict(change)
        if is_secret_field(change.get("field", "")):
            change.pop("from", None)
            change.pop("to", None)
        shown.append(change)
    return shown


def _value(value):
    return "(none)" if value is None else json.dumps(value, ensure_ascii=False)


def build_diff(changes, path, dry_run=False):
    """Ansible's diff of a run: before and after as lines, one per changed
    field or added or removed record, in the changes' order."""
    before, after = [], []
    for change in changes:
        record = change["record"]
        if change["change"] == "added":
            after.append(record)
        elif change["change"] == "removed":
            before.append(record)
        else:
            field = change.get("field", "")
            if is_secret_field(field) or "from" not in change:
                before.append("%s: %s %s" % (record, field, _NOT_SHOWN))
                after.append("%s: %s %s" % (record, field, _CHANGED))
            else:
                before.append("%s: %s = %s"
                              % (record, field, _value(change["from"])))
                after.append("%s: %s = %s"
                             % (record, field, _value(change["to"])))
    name = path if path is not None else "the library's own file"
    return {
        "before": "".join(line + "\n" for line in before),
        "after": "".join(line + "\n" for line in after),
        "before_header": "%s (before)" % name,
        "after_header": "%s (%s)" % (name, "would be, dry run" if dry_run
                                     else "after"),
    }


def result_name(result):
    """A library result in words, as the admin tool's --json names it."""
    return result.name.lower().replace("_", " ")


ARGUMENT_SPEC = dict(
    path=dict(type="path"),
    encoding=dict(type="str", default="gbk"),
    # no_log keeps the whole state out of the target's system log; the
    # values masked in the result are narrowed to its passwords below.
    state=dict(type="dict", no_log=True),
    state_file=dict(type="path"),
    prune=dict(type="bool", default=False),
    keep_ids=dict(type="bool", default=False),
    # A switch, not a secret.
    allow_empty_password=dict(type="bool", default=False, no_log=False),
    timeout=dict(type="float"),
)


def main():
    module = AnsibleModule(
        argument_spec=ARGUMENT_SPEC,
        mutually_exclusive=[("state", "state_file")],
        required_one_of=[("state", "state_file")],
        supports_check_mode=True,
    )
    params = module.params
    # Ansible masks every text of a no_log option wherever it appears,
    # which would hide the record names the changes report: only the
    # passwords stay masked.
    module.no_log_values.difference_update(leaf_texts(params["state"]))
    if params["state"] is not None:
        state = params["state"]
        module.no_log_values.update(
            state_secrets(state, params["encoding"]))
    else:
        try:
            with open(params["state_file"], "rb") as stream:
                state = stream.read().decode("utf-8")
        except (OSError, UnicodeDecodeError) as error:
            module.fail_json(msg="cannot read state_file %s: %s"
                             % (params["state_file"], error),
                             config_file=params["path"])
        module.no_log_values.update(
            state_text_secrets(state, params["encoding"]))

    if brellox is None:
        module.fail_json(msg=missing_required_lib("brellox"),
                         exception=BRELLOX_IMPORT_ERROR,
                         config_file=params["path"])

    try:
        config = brellox.ConfigFile(params["path"], params["encoding"],
                                    timeout=params["timeout"])
        report = config.apply(
            state, prune=params["prune"], dry_run=module.check_mode,
            keep_ids=params["keep_ids"],
            allow_empty_password=params["allow_empty_password"])
    except brellox.BrelloxError as error:
        module.fail_json(msg=error.reason, result=result_name(error.result),
                         config_file=params["path"])
    except (LookupError, OSError) as error:
        # An unknown code page, or no library to load.
        module.fail_json(msg=str(error), config_file=params["path"])

    changes = shown_changes(report["changes"])
    # A dry run changes nothing; it reports what a run would change.
    changed = bool(report["changed"] or (module.check_mode and changes))
    result = dict(changed=changed, changes=changes,
                  config_file=params["path"])
    if module._diff:
        result["diff"] = build_diff(changes, params["path"],
                                    dry_run=module.check_mode)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
