// Marking pooled memory that is not handed out, for AddressSanitizer.
//
// The clause arena and the watch-list pool keep freed blocks for reuse
// instead of returning them to the allocator, so the sanitizer would not
// notice a read through a stale pointer into one. Under the sanitizer,
// QUELT_POISON marks such a block unreadable until QUELT_UNPOISON hands it
// out again; in other builds both compile to nothing.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define QUELT_POOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUELT_POOL_ASAN 1
#endif
#endif

#ifdef QUELT_POOL_ASAN
#include <sanitizer/asan_interface.h>
#define QUELT_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define QUELT_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define QUELT_POISON(p, n) ((void)(p), (void)(n))
#define QUELT_UNPOISON(p, n) ((void)(p), (void)(n))
#endif
