#!/usr/bin/env python3
"""Runs the language-file fuzzer for a bounded time on the seed corpus and fails on a finding.

  run_fuzzer.py FUZZER SEED_DIR WORK_DIR SECONDS

The seeds are copied into WORK_DIR, which the fuzzer grows. Two inputs too large to keep in the
repository, a line of 1 MiB and a file of 10 000 lines, are written beside it and run once each:
mutating inputs of that size would slow the search to a crawl, so it works on small ones.
"""

import shutil
import subprocess
import sys
from pathlib import Path


def main():
    fuzzer, seeds, work, seconds = sys.argv[1:5]
    corpus = Path(work) / "corpus"
    artifacts = Path(work) / "findings"
    shutil.rmtree(corpus, ignore_errors=True)
    artifacts.mkdir(parents=True, exist_ok=True)
    shutil.copytree(seeds, corpus)
    large = Path(work) / "large"
    large.mkdir(exist_ok=True)
    (large / "one-mib-line").write_bytes(b"\x00JP\r\n" + b"a" * (1 << 20) + b"\r\nb\r\n")
    (large / "ten-thousand-lines").write_bytes(
        b"\x01JP\r\n" + b"".join(b"line %d\r\n" % n for n in range(10000)))
    options = ["-timeout=10", "-rss_limit_mb=2048", f"-artifact_prefix={artifacts}/"]
    result = subprocess.run([fuzzer, *options, *sorted(map(str, large.iterdir()))], check=False)
    if result.returncode == 0:
        result = subprocess.run(
            [fuzzer, *options, f"-max_total_time={seconds}", "-print_final_stats=1",
             "-max_len=4096", str(corpus)],
            check=False)
    if result.returncode != 0:
        print(f"the fuzzer found a problem; the input is in {artifacts}", file=sys.stderr)
    return result.returncode


if __name__ == "__main__":
    sys.exit(main())
