#!/usr/bin/python
# -*- coding: utf-8 -*-
# An Ansible module over `tabrix apply`: it only describes the data source wanted and lets the
# client make the files match, so locking, atomic rewrites and unixODBC's rules stay in one place.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: tabrix_dsn
short_description: Keep an ODBC data source as declared, through the tabrix client
description:
  - Creates, updates or removes one unixODBC data source (DSN) by running C(tabrix apply) with
    the declared state on its standard input. The module never edits a file itself.
  - Only the keywords given are compared and changed; keywords the data source has and the task
    does not name are left alone.
  - The password travels on standard input only, never on a command line or through a file.
requirements:
  - The C(tabrix) client on the PATH of the managed machine.
options:
  state:
    description: Whether the data source should exist.
    type: str
    choices: [present, absent]
    default: present
  name:
    description: The data source name, as listed under C([ODBC Data Sources]).
    type: str
    required: true
  scope:
    description:
      - C(user) for the user file (C($ODBCINI), else C(~/.odbc.ini)), C(system) for
        C(odbc.ini) in unixODBC's system folder.
    type: str
    choices: [user, system]
    default: user
  driver:
    description:
      - The driver's description, as its section in C(odbcinst.ini) is named.
      - Required when I(state=present).
    type: str
  attributes:
    description:
      - Keyword to value, in the order they should be written to a new data source.
      - Text is written as it is. Unquoted YAML numbers and booleans (C(No) is C(false)) keep
        the stored spelling where it means the same (C(No), C(08)); a new one is written in
        decimal, C(true) and C(false) as C(1) and C(0).
      - Give the password with I(password), never here, so that it stays out of logs.
    type: dict
    default: {}
  password:
    description:
      - The password, stored as the C(PWD) keyword. Kept out of logs and output.
      - Left out, a stored password is kept as it is.
    type: str
  config_dir:
    description:
      - A folder holding C(odbcinst.ini), C(odbc.ini) and C(odbc.user.ini), used instead of
        unixODBC's own files (C(tabrix --config-dir)).
    type: path
notes:
  - Supports check mode (C(tabrix apply --check)) and diff mode, where each changed keyword
    is shown before and after, passwords masked.
"""

EXAMPLES = r"""
- name: The sales workbook for every user of the machine
  tabrix_dsn:
    name: Sales
    scope: system
    driver: Microsoft Excel Driver (*.xls)
    attributes:
      DBQ: /srv/data/Sales.xls
      DefaultDir: /srv/data
      ReadOnly: 1

- name: A user data source with its password from the vault
  tabrix_dsn:
    name: Finance
    driver: Microsoft Excel Driver (*.xls)
    attributes:
      DBQ: /srv/data/Finance.xls
    password: "{{ vault_finance_password }}"

- name: Gone from the machine
  tabrix_dsn:
    name: Archive
    scope: system
    state: absent
"""

RETURN = r"""
action:
  description: What was done, or in check mode what would be.
  returned: always
  type: str
  sample: created
changes:
  description: Each keyword changed, with its value before and after (null when absent).
  returned: always
  type: list
  elements: dict
  sample: [{"key": "ReadOnly", "before": "1", "after": "0"}]
"""

from ansible.module_utils.basic import AnsibleModule

PASSWORD_KEYWORD = "PWD"


# The texts YAML 1.1 reads as booleans, as a file may spell them.
TRUE_TEXTS = ("1", "yes", "y", "true", "on")
FALSE_TEXTS = ("0", "no", "n", "false", "off")


def attribute_text(module, key, value, stored):
    # YAML gives unquoted numbers and booleans their own types (UserCommitSync: No is False);
    # the files hold text. What the file holds already and means the same stays as it is
    # spelt, so that a second run changes nothing; a new value is spelt 1/0 or in decimal.
    now = stored.get(key.lower())
    if isinstance(value, bool):
        if now is not None and now.strip().lower() in (TRUE_TEXTS if value else FALSE_TEXTS):
            return now
        return "1" if value else "0"
    if isinstance(value, int):
        try:
            if now is not None and int(now.strip(), 10) == value:
                return now
        except ValueError:
            pass
        return str(value)
    if isinstance(value, float):
        return str(value)
    if isinstance(value, str):
        return value
    module.fail_json(msg="attributes: %s: a text or a number is expected, not %s"
                     % (key, type(value).__name__))


def stored_values(module, tabrix):
    # The data source's values as the file holds them (passwords masked), folded by keyword;
    # empty when it does not exist or cannot be read, which apply then reports itself.
    p = module.params
    cmd = [tabrix, "export", p["name"], "--" + p["scope"], "--format", "json"]
    if p["config_dir"]:
        cmd += ["--config-dir", p["config_dir"]]
    rc, out, _ = module.run_command(cmd)
    if rc != 0:
        return {}
    try:
        values = {}
        for key, value in module.from_json(out)["dsns"][0]["attributes"]:
            values.setdefault(key.lower(), value)
        return values
    except (ValueError, KeyError, IndexError, TypeError):
        return {}


def desired_state(module, tabrix):
    p = module.params
    dsn = {"name": p["name"], "scope": p["scope"], "state": p["state"]}
    if p["state"] == "present":
        pairs = []
        attributes = p["attributes"] or {}
        typed = any(not isinstance(v, str) for v in attributes.values())
        stored = stored_values(module, tabrix) if typed else {}
        for key, value in attributes.items():
            if key.lower() in ("pwd", "password"):
                module.fail_json(msg="attributes: %s: give the password with the password "
                                 "option, which is kept out of logs" % key)
            if key.lower() == "driver":
                module.fail_json(msg="attributes: Driver: give the driver with the driver option")
            pairs.append([key, attribute_text(module, key, value, stored)])
        if p["password"] is not None:
            pairs.append([PASSWORD_KEYWORD, p["password"]])
        dsn["driver"] = p["driver"]
        dsn["attributes"] = pairs
    return {"dsns": [dsn]}


def shown(change, side):
    # A changed password is masked alike on both sides; say which side is which.
    value = change.get(side)
    if value is not None and value == change.get("after" if side == "before" else "before"):
        return "%s (%s)" % (value, "old" if side == "before" else "new")
    return value


def section_text(name, changes, side):
    lines = ["%s = %s" % (c["key"], shown(c, side)) for c in changes if c.get(side) is not None]
    return "[%s]\n%s" % (name, "".join(line + "\n" for line in lines))


def ansible_diff(module, dsn):
    # Only the keywords that change are known; they are shown as one section on each side.
    name = module.params["name"]
    changes = dsn.get("changes") or []
    action = dsn.get("action")
    before = "" if action == "created" else section_text(name, changes, "before")
    after = "" if action == "removed" else section_text(name, changes, "after")
    header = "%s data source %s" % (module.params["scope"], name)
    return {"before": before, "after": after,
            "before_header": header, "after_header": header}


def main():
    module = AnsibleModule(
        argument_spec=dict(
            state=dict(type="str", default="present", choices=["present", "absent"]),
            name=dict(type="str", required=True),
            scope=dict(type="str", default="user", choices=["user", "system"]),
            driver=dict(type="str"),
            attributes=dict(type="dict", default={}),
            password=dict(type="str", no_log=True),
            config_dir=dict(type="path"),
        ),
        required_if=[("state", "present", ["driver"])],
        supports_check_mode=True,
    )

    tabrix = module.get_bin_path("tabrix", required=True)
    cmd = [tabrix, "apply", "-", "--json"]
    if module.check_mode:
        cmd.append("--check")
    if module._diff:
        cmd.append("--diff")
    if module.params["config_dir"]:
        cmd += ["--config-dir", module.params["config_dir"]]

    state = module.jsonify(desired_state(module, tabrix))
    rc, out, err = module.run_command(cmd, data=state, binary_data=True)
    if rc != 0:
        module.fail_json(msg=err.strip() or "tabrix apply failed with exit code %d" % rc,
                         rc=rc, stdout=out, stderr=err, cmd=cmd)
    try:
        report = module.from_json(out)
        dsn = report["dsns"][0]
        changed = bool(report["changed"])
    except (ValueError, KeyError, IndexError, TypeError) as e:
        module.fail_json(msg="tabrix apply printed no report this module reads: %s" % e,
                         rc=rc, stdout=out, stderr=err, cmd=cmd)

    result = dict(changed=changed, action=dsn.get("action"), changes=dsn.get("changes") or [])
    if module._diff and changed:
        result["diff"] = ansible_diff(module, dsn)
    if err.strip():
        module.warn(err.strip())
    module.exit_json(**result)


if __name__ == "__main__":
    main()
