// Downloads one large body from the loopback test server three times in the same run: through Pullwire's
// URLDownload (1024-byte blocks, one notice and one event per block), and through a plain WinINet loop
// with 64 KiB reads and with the component's 1 KiB reads, each into a file. Prints the times and the
// component's ratio to each loop; against the 1 KiB loop the goal is at most 2.
// Usage: pullwire_bench.exe [MiB]   (default 64)
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/download/pullwire_client.h"
#include "tests/http/http_server.h"

using namespace pwtest;

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t;
}

// The same session flags and open flags as the component, read in blocks of the given size.
bool PlainWinInet(const std::string& url, const std::string& path, DWORD blockSize, size_t* bytes) {
    *bytes = 0;
    HINTERNET session = ::InternetOpenA("pullwire_bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session)
        return false;
    bool ok = false;
    HINTERNET request = ::InternetOpenUrlA(session, url.c_str(), nullptr, 0,
                                           INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_RELOAD |
                                               INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE,
                                           1);
    if (request) {
        fw::FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        static char buffer[64 * 1024];
        DWORD got = 0;
        ok = static_cast<bool>(file) && blockSize <= sizeof buffer;
        while (ok && (ok = ::InternetReadFile(request, buffer, blockSize, &got) != FALSE) && got) {
            DWORD written = 0;
            ok = ::WriteFile(file.Get(), buffer, got, &written, nullptr) && written == got;
            *bytes += got;
        }
        ::InternetCloseHandle(request);
    }
    ::InternetCloseHandle(session);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 64;
    const size_t size = mib * 1024 * 1024;
    RegisteredServer server;
    if (!server.Ok()) {
        std::fprintf(stderr, "cannot register %s\n", ModulePath().c_str());
        return 1;
    }
    testhttp::Server http;
    if (!http.Start()) {
        std::fprintf(stderr, "cannot start the loopback server\n");
        return 1;
    }
    testhttp::Reply reply;
    reply.body = PatternBytes(size);
    // Fresh paths: neither transfer may be answered from the cache that the other one filled.
    const std::string componentPath = UniquePath("bench-component");
    const std::string plainPath = UniquePath("bench-plain");
    const std::string smallPath = UniquePath("bench-plain-1k");
    http.Route(componentPath, reply);
    http.Route(plainPath, reply);
    http.Route(smallPath, reply);
    TempFolder temp;

    double component = 0;
    size_t events = 0;
    {
        Client client;
        if (FAILED(client.CreateResult())) {
            std::fprintf(stderr, "cannot create URLDownload: 0x%08lx\n",
                         static_cast<unsigned long>(client.CreateResult()));
            return 1;
        }
        const std::string target = temp.Path("component.bin");
        LARGE_INTEGER start = Now();
        if (client.Start(http.Url(componentPath), target) != S_OK || !client.WaitForFinish(600000)) {
            std::fprintf(stderr, "the component's download did not finish\n");
            return 1;
        }
        component = Seconds(start, Now());
        events = client.Sink().Events().size();
        const Event& finish = client.Sink().Events().back();
        if (finish.ints.empty() || finish.ints[0] != 1 || ReadFileBytes(target).size() != size) {
            std::fprintf(stderr, "the component's download failed\n");
            return 1;
        }
    }

    size_t bytes = 0;
    LARGE_INTEGER start = Now();
    if (!PlainWinInet(http.Url(plainPath), temp.Path("plain.bin"), 64 * 1024, &bytes) || bytes != size) {
        std::fprintf(stderr, "the plain WinINet download failed\n");
        return 1;
    }
    double plain = Seconds(start, Now());
    // The same loop in the component's block size: what the block size alone costs, without notices.
    start = Now();
    if (!PlainWinInet(http.Url(smallPath), temp.Path("plain-1k.bin"), 1024, &bytes) || bytes != size) {
        std::fprintf(stderr, "the plain WinINet download with 1 KiB reads failed\n");
        return 1;
    }
    double small = Seconds(start, Now());

    const double mb = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("body                         %zu MiB\n", mib);
    std::printf("URLDownload (1 KiB blocks)   %.2f s  %.1f MiB/s  %zu events\n", component, mb / component, events);
    std::printf("plain WinINet (64 KiB reads) %.2f s  %.1f MiB/s\n", plain, mb / plain);
    std::printf("plain WinINet (1 KiB reads)  %.2f s  %.1f MiB/s\n", small, mb / small);
    std::printf("ratio component / plain      %.2f (64 KiB reads)\n", component / plain);
    // The goal: the component's notices and events at most double the cost of the same 1 KiB reads.
    std::printf("ratio component / plain 1 KiB %.2f (goal <= 2.0)\n", component / small);
    // What one 1 KiB block costs through the component and as a bare read: the difference is the posted
    // notice and the event that each block brings.
    const double blocks = static_cast<double>(size) / 1024.0;
    std::printf("per block: component %.1f us, bare 1 KiB read %.1f us\n", component / blocks * 1e6,
                small / blocks * 1e6);
    return 0;
}
