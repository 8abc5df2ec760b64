// The heap's setting, read by jemalloc before the program's first allocation: memory it maps
// is advised as transparent huge pages (the kernel's "madvise" mode honours that), its own
// bookkeeping too once it grows. MALLOC_CONF=thp:default in the environment, read after this,
// leaves the pages to the kernel's default again.
extern "C" {
// NOLINTNEXTLINE: the name jemalloc looks for.
const char* malloc_conf = "thp:always,metadata_thp:auto";
}
