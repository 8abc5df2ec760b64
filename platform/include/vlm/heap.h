// The heap between stages of a large job.
#pragma once

namespace vlm {

// Hands the memory the heap holds freed back to the system, so that a later stage's larger
// blocks are not laid beside pages kept for reuse that it cannot use. Does nothing where the
// heap is not jemalloc (the sanitizer and fuzzing builds).
void ReturnFreedMemory();

}  // namespace vlm
