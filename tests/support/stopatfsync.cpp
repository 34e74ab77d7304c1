// Preloaded into a tool: it stops itself (SIGSTOP) before every fsync(), that is with a
// temporary output written in full and not yet renamed into place, so a test can interrupt it
// at that moment without racing it.
#include <csignal>
#include <dlfcn.h>

extern "C" int fsync(int fd) {
    using Fsync = int (*)(int);
    static const auto real = reinterpret_cast<Fsync>(::dlsym(RTLD_NEXT, "fsync"));
    ::raise(SIGSTOP);
    return real(fd);
}
