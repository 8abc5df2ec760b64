// The materials preparation steps: filled in by their change.
