"""What the benchmarks print alike. Each runs as `python bench/bench_x.py`,
which puts this folder first on the import path."""
import os

# Every ratio in a speed table reads this one way.
RATIOS = "ratio = the other's time / zelq's time: above 1 means zelq is faster"


def usable_cores():
    """The cores this process may run on (a taskset or cgroup limit shows
    here), not how many the machine has."""
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:  # no affinity call on this platform
        return os.cpu_count()
