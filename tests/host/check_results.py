#!/usr/bin/env python3
# Checks result files (last-run.json, run-*.json) against the result format's JSON Schema.
# Usage: check_results.py <schema> <file>...; prints each violation, exits 1 when there is one.
import json
import sys

try:
    import jsonschema
except ImportError:
    print("the Python module jsonschema is missing: scripts/setup.sh installs python3-jsonschema")
    sys.exit(2)

schema_path, paths = sys.argv[1], sys.argv[2:]
with open(schema_path, encoding="utf-8") as schema_file:
    schema = json.load(schema_file)
jsonschema.Draft7Validator.check_schema(schema)
validator = jsonschema.Draft7Validator(schema)

violations = 0
for path in paths:
    with open(path, "rb") as result_file:
        raw = result_file.read()
    try:
        document = json.loads(raw.decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as error:
        print(f"{path}: not a JSON document in UTF-8: {error}")
        violations += 1
        continue
    for error in sorted(validator.iter_errors(document), key=lambda e: list(e.absolute_path)):
        where = "/".join(str(part) for part in error.absolute_path) or "(document)"
        print(f"{path}: {where}: {error.message}")
        violations += 1
sys.exit(1 if violations else 0)
