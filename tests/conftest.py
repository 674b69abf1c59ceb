import os

import pytest
from hypothesis import HealthCheck, settings

import zelq

settings.register_profile("default", deadline=None)
# Sanitizer builds run several times slower; fewer examples keep CI short.
settings.register_profile("sanitizer", deadline=None, max_examples=40,
                          suppress_health_check=[HealthCheck.too_slow])
settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE", "default"))


def pytest_sessionstart(session):
    expected = os.environ.get("ZELQ_EXPECT_MODULE_DIR")
    if expected and os.path.dirname(os.path.abspath(zelq.__file__)) != os.path.abspath(expected):
        raise pytest.UsageError(f"testing {zelq.__file__}, expected a build from {expected}")
