/* Counting wrappers around glibc's allocator; see heap_counter.h. The wrappers
   cost one relaxed load while counting is off, so the other benchmarks run on
   the allocator as it is. */
#include <errno.h>
#include <malloc.h>
#include <stdatomic.h>
#include <stddef.h>

void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);

static atomic_int counting;
static atomic_llong live;
static atomic_llong peak;

static void Added(void* block) {
    if (block == NULL || !atomic_load_explicit(&counting, memory_order_relaxed)) return;
    long long size = (long long)malloc_usable_size(block);
    long long now = atomic_fetch_add_explicit(&live, size, memory_order_relaxed) + size;
    long long high = atomic_load_explicit(&peak, memory_order_relaxed);
    while (now > high &&
           !atomic_compare_exchange_weak_explicit(&peak, &high, now, memory_order_relaxed, memory_order_relaxed)) {
    }
}

static void Removed(void* block) {
    if (block == NULL || !atomic_load_explicit(&counting, memory_order_relaxed)) return;
    atomic_fetch_sub_explicit(&live, (long long)malloc_usable_size(block), memory_order_relaxed);
}

void vellum_heap_counting(int on) {
    atomic_store(&counting, 0);
    atomic_store(&live, 0);
    atomic_store(&peak, 0);
    atomic_store(&counting, on);
}

long long vellum_heap_live(void) { return atomic_load(&live); }
long long vellum_heap_peak(void) { return atomic_load(&peak); }

void* malloc(size_t size) {
    void* block = __libc_malloc(size);
    Added(block);
    return block;
}

void* calloc(size_t count, size_t size) {
    void* block = __libc_calloc(count, size);
    Added(block);
    return block;
}

void* realloc(void* block, size_t size) {
    if (block == NULL) return malloc(size);
    long long before = (long long)malloc_usable_size(block);
    void* moved = __libc_realloc(block, size);
    if (moved == NULL && size != 0) return NULL; /* the old block stays */
    if (atomic_load_explicit(&counting, memory_order_relaxed)) {
        atomic_fetch_sub_explicit(&live, before, memory_order_relaxed);
        Added(moved);
    }
    return moved;
}

void free(void* block) {
    Removed(block);
    __libc_free(block);
}

void* memalign(size_t alignment, size_t size) {
    void* block = __libc_memalign(alignment, size);
    Added(block);
    return block;
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, size_t alignment, size_t size) {
    void* block = __libc_memalign(alignment, size);
    if (block == NULL) return ENOMEM;
    Added(block);
    *out = block;
    return 0;
}
