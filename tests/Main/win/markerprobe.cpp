// Test helper: opens a shared block by name, as another program of the suite would, and prints its
// text (up to the first zero byte). Exit code 1 when the block cannot be opened.
//   tavicast-marker-probe <block name> [size]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <block name> [size]\n", argv[0]);
        return 2;
    }
    const size_t size = argc > 2 ? size_t(std::atol(argv[2])) : 1024;
    const std::string name = std::string("/") + argv[1];
    const int fd = shm_open(name.c_str(), O_RDONLY, 0);
    if (fd < 0) {
        std::perror("shm_open");
        return 1;
    }
    void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (view == MAP_FAILED) {
        std::perror("mmap");
        return 1;
    }
    const char* text = static_cast<const char*>(view);
    std::fwrite(text, 1, strnlen(text, size), stdout);
    std::fputc('\n', stdout);
    munmap(view, size);
    return 0;
}
