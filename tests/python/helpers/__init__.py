"""Helpers shared by the module tests (and by the whole-call benchmarks in bench/), imported as
`from helpers.<name> import ...` (pytest puts tests/python on the path; a bench script adds it):

- outcome: `outcome(call)`, a call's result shape or its error's type and message, and
  `shape(obj)`, everything a consumer sees of a result (types, values, key order).
- psm: PSM export lines (`header`, `row`, `write`, `random_table`, `LINKER`, `UNIPROT`) and the
  plain three-walk reading to compare the readers against (`read_lines`, `file_lines`).
- readers: one small input per file-reading function and the call that reads it (`READERS`).
- rescue_fraction: synthetic fractions for the rescue spectrum generation (`make_fraction`,
  `write_fraction`, `mh`, `mz_of`, `PROTON`).
- scored_lines: cross-link records and scored result lines (`record`, `line`, `decoy`).

Real files from public repositories are in tests/data (the `realdata` fixture)."""
