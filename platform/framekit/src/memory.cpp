#include <framekit/framekit.h>

#include <cstdlib>

void* fk_malloc(size_t size) { return std::malloc(size ? size : 1); }

void* fk_realloc(void* ptr, size_t size) { return std::realloc(ptr, size ? size : 1); }

void fk_free(void* ptr) { std::free(ptr); }
