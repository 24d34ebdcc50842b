"""Drives Termgate.exe on Wine: the display and the prefix, window_spy, one run of the wizard
with its steps, and what the wizard's own tool says about it. tools/run-wizard, bench/run and the
end-to-end tests all use it; it asserts nothing itself."""
