// The transform preparation steps: filled in by their change.
