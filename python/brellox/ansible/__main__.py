"""Prints the folder of the package's Ansible modules:
ANSIBLE_LIBRARY=$(python3 -m brellox.ansible) ansible-playbook ..."""

from brellox.ansible import LIBRARY

print(LIBRARY)
