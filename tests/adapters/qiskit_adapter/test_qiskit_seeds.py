"""A seed fixes every result: at any thread count, with or without an executor."""

import concurrent.futures
import multiprocessing
import os
import subprocess
import sys
from pathlib import Path

import pytest
from distributed import Client, LocalCluster
from seeded_runs import fingerprint

HERE = Path(__file__).parent


def fingerprint_in_fresh_process(seed, threads):
    env = dict(os.environ, OMP_NUM_THREADS=str(threads))
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [str(HERE), env.get("PYTHONPATH")]))
    out = subprocess.run([sys.executable, str(HERE / "seeded_runs.py"), str(seed)], env=env,
                         capture_output=True, text=True, timeout=300, check=True)
    return out.stdout.strip()


@pytest.fixture(scope="module")
def serial():
    return fingerprint(7)


@pytest.mark.parametrize("threads", [1, 2])
def test_thread_count_changes_nothing(serial, threads):
    assert fingerprint_in_fresh_process(7, threads) == serial


def test_process_pool_changes_nothing(serial):
    spawn = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(2, mp_context=spawn) as pool:
        assert fingerprint(7, pool) == serial


def test_dask_cluster_changes_nothing(serial):
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        assert fingerprint(7, client) == serial


def test_neighbouring_seeds_differ(serial):
    assert len({serial, fingerprint(6), fingerprint(8)}) == 3
