"""Settings every test module shares."""

from hypothesis import settings

# Speed is measured by the benchmarks, not asserted by tests: on a busy
# machine an example's time says nothing about the code under test.
settings.register_profile("lumo", deadline=None)
settings.load_profile("lumo")
