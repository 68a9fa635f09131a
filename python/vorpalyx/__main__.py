"""Runs the `vorpalyx` command for ``python -m vorpalyx PHRASE``."""

import sys

from vorpalyx.cli import main

if __name__ == "__main__":
    sys.exit(main())
