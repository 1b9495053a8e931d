#!/usr/bin/env bash
# Accuracy for cost of the squid axon's spike times: the fixed step against the
# error-controlled integrator (CVODE), and against NEURON's CVODE on the same
# membrane (bench/integration_accuracy.py says how).
#
#   bench/integration_accuracy.sh [--repeats N] [--goal-ms MS]
#
# Builds build/membrix-cli in Release first, as ./run.sh does. NEURON comes
# from Debian's python3-neuron, installed with apt-get only when it is missing.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/deps.sh

membrix_build_cli_for_comparison

# Debian's python, which sees Debian's NEURON whatever python comes first on PATH.
exec /usr/bin/python3 bench/integration_accuracy.py --cli build/membrix-cli "$@"
