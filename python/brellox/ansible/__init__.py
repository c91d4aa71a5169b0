"""The Ansible module brellox_config, shipped with the package.

LIBRARY is the folder that holds it, for Ansible's module path on the
controller (ANSIBLE_LIBRARY, or library in ansible.cfg); `python -m
brellox.ansible` prints it. The managed hosts need the package (and the
library it loads) installed for the interpreter Ansible runs there.
"""

import os

LIBRARY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "library")
