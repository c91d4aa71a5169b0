#!/usr/bin/env python3
"""Times the Python package's check_user at 10 and 10,000 users, asking for
the last user as c_interface_bench does, beside the C call it makes.

    BRELLOX_LIBRARY=build/release/libbrellox.so \\
      python3 bench/python_check_user.py build/release/tools/brellox/brellox

The files are made by the admin tool (init, then import of a backup holding
the users), in a temporary folder. Prints the median of several rounds of
timed calls, in microseconds per call.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import timeit

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python"))
import brellox  # noqa: E402
from brellox._library import library  # noqa: E402


def make_file(tool, folder, users):
    path = os.path.join(folder, "users%d.CFG" % users)
    backup = os.path.join(folder, "users%d.json" % users)
    subprocess.run([tool, "--config", path, "init"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run([tool, "--config", path, "export", "--with-passwords",
                    "-o", backup], check=True)
    with open(backup, encoding="utf-8") as f:
        data = json.load(f)
    data["users"] = [{"id": i, "name": "user%d" % i, "password": "pw%d" % i}
                     for i in range(1, users + 1)]
    data["lastUserID"] = users
    del data["capacity"]
    with open(backup, "w", encoding="utf-8") as f:
        json.dump(data, f)
    subprocess.run([tool, "--config", path, "import", "--force", backup],
                   check=True, stdout=subprocess.DEVNULL)
    return path


def median_micros(call, number=2000, rounds=7):
    times = timeit.repeat(call, number=number, repeat=rounds)
    return statistics.median(times) / number * 1e6


def main():
    tool = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        for users in (10, 10000):
            path = make_file(tool, folder, users)
            config = brellox.ConfigFile(path)
            name, password = "user%d" % users, "pw%d" % users
            assert config.check_user(name, password)
            c_path, c_name, c_password = (path.encode(), name.encode(),
                                          password.encode())
            check = library().brellox_check_user
            python_us = median_micros(
                lambda: config.check_user(name, password))
            ctypes_us = median_micros(
                lambda: check(c_path, c_name, c_password))
            print("check_user records:%-6d python %8.2f us  "
                  "bare ctypes call %8.2f us" % (users, python_us, ctypes_us))


if __name__ == "__main__":
    main()
