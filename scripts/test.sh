#!/usr/bin/env bash
# Sets up, builds and runs every test suite: the Linux build, then the same
# tests under AddressSanitizer and UBSan, then the 64-bit and the 32-bit
# Windows builds under Wine (each in a private prefix that its first test
# creates), then the Python package's wheel and its Ansible module, lintian
# over the Debian packages, and a bounded fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --windows
export WINEDEBUG=-all

for preset in default asan windows windows32; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

# The Python package's wheel, installed without the network into a fresh
# virtual environment, against the Linux build. Debian's interpreter, whose
# pytest python3-pytest is.
echo "== python"
cmake --preset default
rm -rf build/default/python/dist build/python-venv
cmake --build --preset default --target python_wheel
/usr/bin/python3 -m venv --system-site-packages build/python-venv
build/python-venv/bin/pip install --quiet --no-index \
  build/default/python/dist/brellox-*.whl
BRELLOX_LIBRARY="$PWD/build/default/libbrellox.so" \
  build/python-venv/bin/python -m pytest -q python/tests
# The Ansible module the wheel ships, run by ansible-playbook on this
# machine with the virtual environment's interpreter: the playbook's
# assertions fail the run when the module does not behave.
BRELLOX_LIBRARY="$PWD/build/default/libbrellox.so" \
BRELLOX_TOOL="$PWD/build/default/tools/brellox/brellox" \
ANSIBLE_LIBRARY="$(build/python-venv/bin/python -m brellox.ansible)" \
ANSIBLE_LOCALHOST_WARNING=False ANSIBLE_NOCOLOR=True \
  ansible-playbook -i localhost, \
  -e ansible_python_interpreter="$PWD/build/python-venv/bin/python" \
  python/tests/ansible/brellox_config.yml

# The Debian packages of a build for the system prefix, as doc/packaging.md
# makes them: lintian must find no error in either.
echo "== lintian"
cmake -S . -B build/deb -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX=/usr -DBRELLOX_BUILD_TESTS=OFF \
  -DBRELLOX_BUILD_BENCHMARKS=OFF
cmake --build build/deb
rm -rf build/deb/packages
(cd build/deb && cpack -G DEB -B packages)
lintian --fail-on error build/deb/packages/*.deb

# A bounded fuzzing run from the committed corpus, the library instrumented.
echo "== fuzz"
cmake --preset fuzz
cmake --build --preset fuzz
mkdir -p build/fuzz/corpus
fuzz_tmp=/tmp
[[ -d /dev/shm ]] && fuzz_tmp=/dev/shm  # its many small files stay in memory
TMPDIR=$fuzz_tmp build/fuzz/tests/fuzz/config_fuzz build/fuzz/corpus fuzz/corpus \
  -max_total_time="${BRELLOX_FUZZ_SECONDS:-60}" -print_final_stats=1
# The desired state's reader and plan, from their own corpus.
mkdir -p build/fuzz/state_corpus
build/fuzz/tests/fuzz/state_fuzz build/fuzz/state_corpus fuzz/state_corpus \
  -max_total_time="${BRELLOX_FUZZ_SECONDS:-60}" -print_final_stats=1
