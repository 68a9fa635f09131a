"""The source distribution, built from this checkout: it carries the licence
and leaves out the fuzz seeds, which only fuzz/run in a checkout uses."""

from __future__ import annotations

import pathlib
import subprocess
import sys
import tarfile

REPO_ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_sdist_carries_the_licence_and_no_fuzz_corpus(tmp_path):
    # The backend's own hook, without a build frontend or an isolated
    # environment: packing the sources takes about two seconds.
    subprocess.run(
        [sys.executable, "-c",
         "import sys, scikit_build_core.build as backend; "
         "backend.build_sdist(sys.argv[1])", str(tmp_path)],
        cwd=REPO_ROOT, check=True, capture_output=True)
    [sdist] = tmp_path.glob("vorpalyx-*.tar.gz")
    with tarfile.open(sdist) as archive:
        root = archive.getnames()[0].split("/")[0]
        names = {name.removeprefix(root + "/") for name in archive.getnames()}
        metadata = archive.extractfile(f"{root}/PKG-INFO").read().decode()
        licence = archive.extractfile(f"{root}/LICENSE").read().decode()

    assert "fuzz/differential_fuzzer.cc" in names
    assert [name for name in names if name.startswith("fuzz/corpus")] == []
    assert licence.startswith("MIT License\n\nCopyright (c) 2026 the vorpalyx "
                              "developers\n")
    assert "python/vorpalyx/data/english_words_LICENSE.txt" in names
    assert "python/vorpalyx/data/english_words_weights_LICENSE.txt" in names
    assert ("\nLicense-Expression: MIT AND CC-BY-SA-4.0\nLicense-File: LICENSE\n"
            in metadata)
