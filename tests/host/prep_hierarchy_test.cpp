// The hierarchy preparation steps: filled in by their change.
