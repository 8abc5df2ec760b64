// The lod preparation steps: filled in by their change.
