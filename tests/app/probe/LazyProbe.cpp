// A program whose libraries are loaded on first call (qly_lazy_libraries), run by the tests:
//   qly_lazy_probe calls     the calls from eight threads at once; prints what it saw
//   qly_lazy_probe absent    calls a function of a library that cannot be loaded
#include <atomic>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <thread>
#include <vector>

extern "C" {
const char* ProbeCurlVersion();
bool ProbeCurlOption();
double ProbeSqliteTimes(double value, double factor);
bool ProbeQtNetwork();
const char* ProbeAbsent();

std::atomic<int> g_loaded{0};
// What the exception reporter exports: told of each library loaded.
void SivrelModulesLoaded()
{
    ++g_loaded;
}
}

namespace {

bool Loaded(const char* soname)
{
    void* handle = dlopen(soname, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "absent") == 0) {
        std::printf("before\n");
        std::fflush(stdout);
        std::printf("%s\n", ProbeAbsent());
        return 0;
    }
    std::printf("at start: curl %d sqlite %d network %d\n", Loaded("libcurl.so.4"), Loaded("libsqlite3.so.0"),
                Loaded("libQt6Network.so.6"));
    std::atomic<int> wrong{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            while (!go.load())
                ;
            if (ProbeSqliteTimes(1.5 + i, 2.0) != 2.0 * (1.5 + i))
                ++wrong;
            if (!ProbeCurlOption() || std::strncmp(ProbeCurlVersion(), "libcurl/", 8) != 0)
                ++wrong;
            if (!ProbeQtNetwork())
                ++wrong;
        });
    go = true;
    for (std::thread& t : threads)
        t.join();
    std::printf("wrong results %d\n", wrong.load());
    std::printf("after: curl %d sqlite %d network %d, reporter told %d times\n", Loaded("libcurl.so.4"),
                Loaded("libsqlite3.so.0"), Loaded("libQt6Network.so.6"), g_loaded.load());
    return 0;
}
